// A plain POSIX serial client for the simulator tests: opens the device in raw mode, writes
// requests and reads answers with poll and a deadline.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Clock = std::chrono::steady_clock;

inline double Since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

inline std::array<uint8_t, 36> Request(uint16_t command, uint16_t argument,
                                       const std::array<uint16_t, 15>& words = {}) {
    std::array<uint8_t, 36> b{};
    const uint16_t head[3] = {0x0055, command, argument};
    for (int i = 0; i < 3; ++i) {
        b[2 * i] = uint8_t(head[i] >> 8);
        b[2 * i + 1] = uint8_t(head[i]);
    }
    for (int i = 0; i < 15; ++i) {
        b[6 + 2 * i] = uint8_t(words[i] >> 8);
        b[7 + 2 * i] = uint8_t(words[i]);
    }
    return b;
}

// Big-endian word i of a byte sequence.
inline uint16_t Word(const std::vector<uint8_t>& b, size_t i) {
    if (2 * i + 1 >= b.size()) return 0xDEAD;
    return uint16_t(b[2 * i] << 8 | b[2 * i + 1]);
}

class Line {
public:
    explicit Line(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return;
        termios t{};
        ::tcgetattr(fd_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd_, TCSANOW, &t);
    }
    ~Line() {
        if (fd_ >= 0) ::close(fd_);
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool ok() const { return fd_ >= 0; }
    bool hungUp() const { return hungUp_; }

    bool Write(const uint8_t* data, size_t n) {
        ::tcflush(fd_, TCIFLUSH);
        sent_ = Clock::now();  // before the write: a pause of this thread can only lengthen
        size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(fd_, data + done, n - done);
            if (w > 0) done += size_t(w);
            else if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
        }
        return true;
    }
    bool Send(uint16_t command, uint16_t argument, const std::array<uint16_t, 15>& words = {}) {
        const auto b = Request(command, argument, words);
        return Write(b.data(), b.size());
    }
    Clock::time_point sentAt() const { return sent_; }

    // Reads until n bytes have come or `timeout` seconds have passed since the call. Each
    // arrival (seconds after the last write, bytes so far) goes into `arrivals`.
    std::vector<uint8_t> Read(size_t n, double timeout,
                              std::vector<std::pair<double, size_t>>* arrivals = nullptr) {
        std::vector<uint8_t> got;
        const auto start = Clock::now();
        while (got.size() < n) {
            const double left = timeout - Since(start);
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            const int r = ::poll(&p, 1, int(left * 1000) + 1);
            if (r <= 0) continue;
            if (p.revents & POLLIN) {
                uint8_t buf[8192];
                const ssize_t k = ::read(fd_, buf, std::min(sizeof buf, n - got.size()));
                if (k > 0) {
                    got.insert(got.end(), buf, buf + k);
                    if (arrivals)
                        arrivals->push_back({std::chrono::duration<double>(Clock::now() - sent_).count(),
                                             got.size()});
                    continue;
                }
                if (k < 0 && errno == EIO) { hungUp_ = true; break; }
            }
            if (p.revents & (POLLHUP | POLLERR)) { hungUp_ = true; break; }
        }
        return got;
    }
    // Everything that comes until the line has been quiet for `quiet` seconds.
    std::vector<uint8_t> ReadUntilQuiet(double quiet, double limit = 5.0) {
        std::vector<uint8_t> got;
        const auto start = Clock::now();
        while (Since(start) < limit && !hungUp_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, int(quiet * 1000)) <= 0) break;
            uint8_t buf[8192];
            const ssize_t k = ::read(fd_, buf, sizeof buf);
            if (k > 0) got.insert(got.end(), buf, buf + k);
            else if (k < 0 && errno == EIO) hungUp_ = true;
            else if (p.revents & (POLLHUP | POLLERR)) hungUp_ = true;
        }
        return got;
    }
    // One request, one answer of n bytes.
    std::vector<uint8_t> Ask(uint16_t command, uint16_t argument,
                             const std::array<uint16_t, 15>& words = {}, size_t n = 36,
                             double timeout = 1.0) {
        if (!Send(command, argument, words)) return {};
        return Read(n, timeout);
    }

private:
    int fd_ = -1;
    bool hungUp_ = false;
    Clock::time_point sent_ = Clock::now();
};

}  // namespace simtest
