// Serial ports of the run-time layer against a pseudo-terminal: the test holds the master side,
// the layer opens the slave side like the sensor's serial line.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/rs232.h"
#include "platform/events.h"
#include "platform/utility.h"

namespace {

void EnsureApp() {
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char arg0[] = "test_platform_core";
        static char* argv[] = {arg0, nullptr};
        static QCoreApplication app(argc, argv);
    }
}

// The other end of a line: a pseudo-terminal whose slave side the layer opens.
struct Line {
    int master = -1;
    std::string slave;

    Line() {
        int slaveFd = -1;
        char name[256] = {};
        if (openpty(&master, &slaveFd, name, nullptr, nullptr) != 0) return;
        ::close(slaveFd);
        slave = name;
    }
    ~Line() { CloseMaster(); }
    void CloseMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    void Send(const std::vector<unsigned char>& bytes) const {
        ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads up to `want` bytes, giving up `seconds` after the last byte.
    std::vector<unsigned char> Receive(size_t want, double seconds = 1.0) const {
        std::vector<unsigned char> got;
        while (got.size() < want) {
            pollfd pfd{master, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(seconds * 1000)) <= 0) break;
            unsigned char chunk[4096];
            const ssize_t n = ::read(master, chunk, std::min(sizeof chunk, want - got.size()));
            if (n <= 0) break;
            got.insert(got.end(), chunk, chunk + n);
        }
        return got;
    }
};

std::vector<unsigned char> Pattern(size_t n, unsigned seed) {
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<unsigned char>((i * 7 + seed) & 0xFF);
    return v;
}

// Processes events for a while (the way the program's wait loops do).
void Pump(double seconds) {
    const double end = Timer() + seconds;
    while (Timer() < end) ProcessSystemEvents();
}

int OpenLine(int port, const Line& line) {
    return OpenComConfig(port, line.slave, 19200, 0, 8, 1, 4096, 4096);
}

// What a receive callback saw.
struct Calls {
    int count = 0;
    int lastPort = 0;
    int lastMask = 0;
    int readPerCall = 36;       // bytes the callback takes out of the queue
    int queueAtCall = -1;       // queue length seen by the last call
    std::vector<unsigned char> data;
    bool nestedPump = false;    // process events from inside the callback
};

void Record(int port, int mask, void* user) {
    auto* c = static_cast<Calls*>(user);
    ++c->count;
    c->lastPort = port;
    c->lastMask = mask;
    c->queueAtCall = GetInQLen(port);
    if (c->readPerCall > 0) {
        std::vector<char> buf(static_cast<size_t>(c->readPerCall));
        const int n = ComRd(port, buf.data(), c->readPerCall);
        c->data.insert(c->data.end(), buf.begin(), buf.begin() + n);
    }
    if (c->nestedPump)
        for (int i = 0; i < 20; ++i) ProcessSystemEvents();
}

class Rs232Test : public ::testing::Test {
protected:
    static constexpr int kPort = 11;
    Line line;

    void SetUp() override {
        EnsureApp();
        ASSERT_GE(line.master, 0);
        ASSERT_EQ(OpenLine(kPort, line), 0);
        ASSERT_EQ(SetComTime(kPort, 0.5), 0);
        ASSERT_TRUE(IsComOpen(kPort));
    }
    void TearDown() override { CloseCom(kPort); }
};

}  // namespace

TEST_F(Rs232Test, FrameWrittenArrivesOnTheOtherSideUnchanged) {
    const auto frame = Pattern(36, 0x55);
    EXPECT_EQ(ComWrt(kPort, reinterpret_cast<const char*>(frame.data()), 36), 36);
    // No event processing between the write and the read: the bytes must already be on the line.
    EXPECT_EQ(line.Receive(36), frame);
}

// More than the driver takes at once: the rest follows through the port's queue, in order, and a
// write made while some is still queued goes behind it.
TEST_F(Rs232Test, AWriteBeyondTheDriversRoomArrivesWholeAndInOrder) {
    const auto big = Pattern(200 * 1024, 3), tail = Pattern(36, 9);
    ASSERT_EQ(ComWrt(kPort, reinterpret_cast<const char*>(big.data()), int(big.size())), int(big.size()));
    // the other side takes some, so that the driver has room again before the rest has left
    std::vector<unsigned char> got = line.Receive(8 * 1024, 0.2);
    ASSERT_FALSE(got.empty());
    ASSERT_EQ(ComWrt(kPort, reinterpret_cast<const char*>(tail.data()), 36), 36);
    while (got.size() < big.size() + tail.size()) {
        Pump(0.01);
        const auto part = line.Receive(big.size() + tail.size() - got.size(), 0.2);
        if (part.empty()) break;
        got.insert(got.end(), part.begin(), part.end());
    }
    auto want = big;
    want.insert(want.end(), tail.begin(), tail.end());
    EXPECT_TRUE(got == want) << got.size() << " bytes of " << want.size();
}

TEST_F(Rs232Test, ReceiveCallbackRunsOncePerNotifyCount) {
    Calls calls;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RECEIVE | LWRS_RXFLAG | LWRS_TXEMPTY, 36, 0x55, Record, &calls),
              0);

    // 35 bytes: not enough, no call.
    const auto frame = Pattern(36, 1);
    line.Send(std::vector<unsigned char>(frame.begin(), frame.begin() + 35));
    Pump(0.2);
    EXPECT_EQ(calls.count, 0);
    EXPECT_EQ(GetInQLen(kPort), 35);

    // One more byte completes the frame: exactly one call, with the receive event, on our port.
    line.Send({frame[35]});
    Pump(0.2);
    ASSERT_EQ(calls.count, 1);
    EXPECT_EQ(calls.lastPort, kPort);
    EXPECT_TRUE(calls.lastMask & LWRS_RECEIVE);
    EXPECT_EQ(calls.queueAtCall, 36);
    EXPECT_EQ(calls.data, frame);
    EXPECT_EQ(GetInQLen(kPort), 0);

    // Two frames in one burst: one call each, in order.
    calls = Calls{};
    auto two = Pattern(72, 9);
    line.Send(two);
    Pump(0.2);
    EXPECT_EQ(calls.count, 2);
    EXPECT_EQ(calls.data, two);

    // A callback that takes nothing is not called again and again for the same bytes.
    ASSERT_EQ(FlushInQ(kPort), 0);
    calls = Calls{};
    calls.readPerCall = 0;
    line.Send(Pattern(40, 5));
    Pump(0.2);
    EXPECT_EQ(calls.count, 1);

    // Removed (event mask 0): no more calls.
    ASSERT_EQ(FlushInQ(kPort), 0);
    ASSERT_EQ(InstallComCallback(kPort, 0, 36, 0x55, nullptr, nullptr), 0);
    calls = Calls{};
    line.Send(Pattern(36, 6));
    Pump(0.2);
    EXPECT_EQ(calls.count, 0);
    EXPECT_EQ(GetInQLen(kPort), 36);
}

// A wake count keeps the bytes in the driver until that many have come: the event processing is
// not woken (nor the queue filled) by the pieces before; 1 takes what the driver holds at once.
TEST_F(Rs232Test, AWakeCountHoldsThePiecesUntilAllHaveCome) {
    EXPECT_EQ(SetComWakeCount(kPort, 0), kComInvalidParameter);
    EXPECT_EQ(SetComWakeCount(kPort, 256), kComInvalidParameter);
    EXPECT_EQ(SetComWakeCount(kPort + 1, 36), kComPortNotOpen);
    ASSERT_EQ(SetComWakeCount(kPort, 36), 0);
    const auto frame = Pattern(36, 3);
    line.Send(std::vector<unsigned char>(frame.begin(), frame.begin() + 20));
    Pump(0.1);
    EXPECT_EQ(GetInQLen(kPort), 0);
    line.Send(std::vector<unsigned char>(frame.begin() + 20, frame.end()));
    Pump(0.1);
    ASSERT_EQ(GetInQLen(kPort), 36);
    std::array<char, 36> buf{};
    ASSERT_EQ(ComRd(kPort, buf.data(), 36), 36);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), reinterpret_cast<unsigned char*>(buf.data())));

    // fewer than the count, then back to every byte: they are in the queue without waiting
    line.Send(Pattern(10, 4));
    Pump(0.1);
    EXPECT_EQ(GetInQLen(kPort), 0);
    ASSERT_EQ(SetComWakeCount(kPort, 1), 0);
    EXPECT_EQ(GetInQLen(kPort), 10);
    ASSERT_EQ(FlushInQ(kPort), 0);
    line.Send(Pattern(1, 5));
    Pump(0.1);
    EXPECT_EQ(GetInQLen(kPort), 1);
}

TEST_F(Rs232Test, CallbackOnlyFromEventProcessing) {
    // Bytes wait in the queue before the callback is installed: the callback runs at the next
    // event processing, not inside InstallComCallback.
    line.Send(Pattern(36, 2));
    Pump(0.2);
    ASSERT_EQ(GetInQLen(kPort), 36);
    Calls calls;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RECEIVE, 36, 0x55, Record, &calls), 0);
    EXPECT_EQ(calls.count, 0);
    ProcessSystemEvents();
    ProcessSystemEvents();
    EXPECT_EQ(calls.count, 1);

    // Data that arrives while ComRd waits is not handed to the callback inside ComRd.
    calls = Calls{};
    ASSERT_EQ(SetComTime(kPort, 0.3), 0);
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        line.Send(Pattern(50, 8));
    });
    std::array<char, 10> buf{};
    const int n = ComRd(kPort, buf.data(), 10);
    late.join();
    EXPECT_EQ(n, 10);
    EXPECT_EQ(calls.count, 0);
    Delay(0.05);  // all 50 bytes are on the line now
    EXPECT_EQ(ComRd(kPort, buf.data(), 0), 0);
    EXPECT_EQ(calls.count, 0);
    // ... it is delivered at the next event processing instead.
    Pump(0.1);
    EXPECT_EQ(calls.count, 1);

    // A callback that processes events itself is not entered a second time meanwhile; the frame
    // that arrived during it gets its own call afterwards.
    ASSERT_EQ(FlushInQ(kPort), 0);
    calls = Calls{};
    calls.nestedPump = true;
    line.Send(Pattern(36, 10));
    Pump(0.1);
    ASSERT_EQ(calls.count, 1);
    line.Send(Pattern(36, 11));
    Pump(0.2);
    EXPECT_EQ(calls.count, 2);
}

TEST_F(Rs232Test, QueueLengthAndFlushes) {
    EXPECT_EQ(GetInQLen(kPort), 0);
    line.Send(Pattern(20, 1));
    Pump(0.1);
    EXPECT_EQ(GetInQLen(kPort), 20);
    line.Send(Pattern(15, 1));
    Pump(0.1);
    EXPECT_EQ(GetInQLen(kPort), 35);

    // FlushInQ empties the queue; bytes sent afterwards are received normally.
    EXPECT_EQ(FlushInQ(kPort), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    Pump(0.1);
    EXPECT_EQ(GetInQLen(kPort), 0);
    const auto after = Pattern(12, 77);
    line.Send(after);
    Pump(0.1);
    std::array<char, 12> buf{};
    ASSERT_EQ(ComRd(kPort, buf.data(), 12), 12);
    EXPECT_EQ(std::vector<unsigned char>(buf.begin(), buf.end()), after);

    // FlushOutQ drops what has not left yet: with nobody reading the other end, a large write
    // stays partly queued, and after the flush the other end gets less than was written.
    const auto big = Pattern(256 * 1024, 1);
    EXPECT_EQ(ComWrt(kPort, reinterpret_cast<const char*>(big.data()), static_cast<int>(big.size())),
              static_cast<int>(big.size()));
    EXPECT_EQ(FlushOutQ(kPort), 0);
    size_t arrived = 0;
    for (;;) {
        Pump(0.02);
        const auto part = line.Receive(big.size(), 0.1);
        if (part.empty()) break;
        arrived += part.size();
    }
    EXPECT_LT(arrived, big.size());
}

TEST_F(Rs232Test, InputQueueHoldsAtMostItsSizeAndLosesNothing) {
    ASSERT_EQ(OpenComConfig(kPort, line.slave, 19200, 0, 8, 1, 100, 100), 0);
    ASSERT_EQ(SetComTime(kPort, 0.05), 0);
    const auto data = Pattern(250, 3);
    line.Send(data);
    Pump(0.2);
    EXPECT_EQ(GetInQLen(kPort), 100);
    // Taking bytes out lets the rest in, up to the queue size again.
    std::vector<unsigned char> got;
    std::array<char, 36> buf{};
    ASSERT_EQ(ComRd(kPort, buf.data(), 36), 36);
    got.insert(got.end(), buf.begin(), buf.end());
    Pump(0.1);
    EXPECT_EQ(GetInQLen(kPort), 100);
    for (int i = 0; i < 10 && got.size() < data.size(); ++i) {
        const int n = ComRd(kPort, buf.data(), 36);
        got.insert(got.end(), buf.begin(), buf.begin() + n);
        Pump(0.05);
        EXPECT_LE(GetInQLen(kPort), 100);
    }
    EXPECT_EQ(got, data);
}

TEST_F(Rs232Test, ComRdNeverReadsPastCountAndWaitsForTheRest) {
    line.Send(Pattern(50, 5));
    Pump(0.1);
    std::array<char, 32> buf;
    buf.fill('#');
    EXPECT_EQ(ComRd(kPort, buf.data(), 20), 20);
    for (size_t i = 20; i < buf.size(); ++i) EXPECT_EQ(buf[i], '#') << "byte " << i;
    EXPECT_EQ(GetInQLen(kPort), 30);
    EXPECT_EQ(ComRd(kPort, buf.data(), 0), 0);
    EXPECT_EQ(GetInQLen(kPort), 30);

    // Fewer bytes than asked: what is there, after the time-out.
    ASSERT_EQ(SetComTime(kPort, 0.3), 0);
    double t0 = Timer();
    EXPECT_EQ(ComRd(kPort, buf.data(), 32), 30);
    EXPECT_GE(Timer() - t0, 0.25);

    // The rest arrives within the time-out: it is waited for.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        line.Send(Pattern(16, 6));
    });
    t0 = Timer();
    EXPECT_EQ(ComRd(kPort, buf.data(), 16), 16);
    late.join();
    EXPECT_LT(Timer() - t0, 0.29);

    // Arriving after the time-out: not taken by this read.
    std::thread tooLate([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(450));
        line.Send(Pattern(8, 7));
    });
    EXPECT_EQ(ComRd(kPort, buf.data(), 8), 0);
    tooLate.join();
    Pump(0.1);
    EXPECT_EQ(GetInQLen(kPort), 8);
}

TEST_F(Rs232Test, ClosingTheOtherEndClosesThePort) {
    Calls calls;
    ASSERT_EQ(InstallComCallback(kPort, LWRS_RECEIVE, 36, 0x55, Record, &calls), 0);
    line.CloseMaster();
    const double end = Timer() + 1.0;
    while (IsComOpen(kPort) && Timer() < end) ProcessSystemEvents();
    EXPECT_FALSE(IsComOpen(kPort));
    const char frame[36] = {0x00, 0x55};
    EXPECT_EQ(ComWrt(kPort, frame, 36), 0);
    std::array<char, 36> buf{};
    EXPECT_EQ(ComRd(kPort, buf.data(), 36), 0);
    EXPECT_EQ(GetInQLen(kPort), 0);
    EXPECT_EQ(calls.count, 0);
    EXPECT_EQ(FlushInQ(kPort), kComPortNotOpen);
    EXPECT_EQ(CloseCom(kPort), 0);
    EXPECT_EQ(CloseCom(kPort), 0);

    // The port number can be opened again on a fresh line.
    Line other;
    ASSERT_EQ(OpenLine(kPort, other), 0);
    EXPECT_EQ(ComWrt(kPort, frame, 36), 36);
    EXPECT_EQ(other.Receive(36).size(), 36u);
}

TEST_F(Rs232Test, ReopeningAPortNumberClosesTheOldLine) {
    Line second;
    ASSERT_EQ(OpenLine(kPort, second), 0);
    EXPECT_TRUE(IsComOpen(kPort));
    const char msg[4] = {'A', 'B', 'C', 'D'};
    EXPECT_EQ(ComWrt(kPort, msg, 4), 4);
    EXPECT_EQ(second.Receive(4).size(), 4u);
    EXPECT_TRUE(line.Receive(4, 0.1).empty());
    // The old device is free again: another port number can open it.
    ASSERT_EQ(OpenLine(kPort + 1, line), 0);
    EXPECT_EQ(ComWrt(kPort + 1, msg, 4), 4);
    EXPECT_EQ(line.Receive(4).size(), 4u);
    CloseCom(kPort + 1);
}

TEST(Rs232Open, ResultsAndPortMapping) {
    EnsureApp();
    // Port numbers start at 1.
    EXPECT_EQ(OpenComConfig(0, "", 19200, 0, 8, 1, 4096, 4096), kComInvalidPort);
    EXPECT_EQ(OpenComConfig(-3, "", 19200, 0, 8, 1, 4096, 4096), kComInvalidPort);
    EXPECT_EQ(ComDeviceName(0), "");

    // A port named by KRYTA_COM<n> whose device does not exist.
    setenv("KRYTA_COM37", "/dev/kryta-no-such-device", 1);
    EXPECT_EQ(ComDeviceName(37), "/dev/kryta-no-such-device");
    EXPECT_EQ(OpenComConfig(37, "", 19200, 0, 8, 1, 4096, 4096), kComNoSerialPort);
    EXPECT_EQ(ComOpenErrorDetail(37), "/dev/kryta-no-such-device: No such file or directory");
    EXPECT_EQ(ComDeviceAbout(37), "not present");
    EXPECT_FALSE(IsComOpen(37));
    EXPECT_EQ(ComWrt(37, "x", 1), 0);

    // A port number beyond the machine's serial devices.
    unsetenv("KRYTA_COM999");
    EXPECT_EQ(ComDeviceName(999), "");
    EXPECT_EQ(OpenComConfig(999, "", 19200, 0, 8, 1, 4096, 4096), kComNoSerialPort);
    EXPECT_EQ(ComOpenErrorDetail(999), "no device for port 999");

    // KRYTA_COM<n> points the port at a pseudo-terminal: the bytes reach it.
    Line line;
    ASSERT_GE(line.master, 0);
    setenv("KRYTA_COM37", line.slave.c_str(), 1);
    EXPECT_EQ(ComDeviceName(37), line.slave);
    ASSERT_EQ(OpenComConfig(37, "", 19200, 0, 8, 1, 4096, 4096), 0);
    EXPECT_EQ(ComOpenErrorDetail(37), "");  // a good open forgets the last failure
    EXPECT_EQ(ComDeviceAbout(37), "");      // the system knows nothing of a pseudo-terminal
    EXPECT_EQ(ComWrt(37, "\x00\x55", 2), 2);
    EXPECT_EQ(line.Receive(2), (std::vector<unsigned char>{0x00, 0x55}));
    EXPECT_EQ(SetCTSMode(37, 0), 0);
    CloseCom(37);
    unsetenv("KRYTA_COM37");

    // Settings no serial line can have.
    EXPECT_EQ(OpenComConfig(38, line.slave, 19200, 0, 9, 1, 4096, 4096), kComInvalidParameter);
    EXPECT_EQ(OpenComConfig(38, line.slave, 19200, 7, 8, 1, 4096, 4096), kComInvalidParameter);
    EXPECT_EQ(OpenComConfig(38, line.slave, 0, 0, 8, 1, 4096, 4096), kComInvalidParameter);
    EXPECT_EQ(OpenComConfig(38, line.slave, 19200, 0, 8, 3, 4096, 4096), kComInvalidParameter);
    EXPECT_FALSE(IsComOpen(38));

    // A file that is no serial device cannot be opened as a port.
    char path[] = "/tmp/kryta-not-a-tty-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(OpenComConfig(38, path, 19200, 0, 8, 1, 4096, 4096), kComCannotOpen);
    EXPECT_EQ(ComOpenErrorDetail(38).rfind(std::string(path) + ": ", 0), 0u) << ComOpenErrorDetail(38);
    EXPECT_GT(ComOpenErrorDetail(38).size(), std::string(path).size() + 2) << "the system's reason";
    EXPECT_FALSE(IsComOpen(38));
    ::unlink(path);

    // A device that another port holds is busy.
    ASSERT_EQ(OpenComConfig(37, line.slave, 19200, 0, 8, 1, 4096, 4096), 0);
    EXPECT_EQ(OpenComConfig(38, line.slave, 19200, 0, 8, 1, 4096, 4096), kComCannotOpen);
    EXPECT_EQ(ComOpenErrorDetail(38), line.slave + " is already open as port 37");
    EXPECT_FALSE(IsComOpen(38));
    EXPECT_TRUE(IsComOpen(37));
    CloseCom(37);

    // A port that is not open.
    EXPECT_EQ(SetComTime(38, 1.5), kComPortNotOpen);
    EXPECT_EQ(InstallComCallback(38, LWRS_RECEIVE, 36, 0x55, Record, nullptr), kComPortNotOpen);
}

// Another program (tests/platform/open_port.cpp) opens the device: "<result> <detail>".
std::string OtherProgramOpens(const std::string& device) {
    const std::string command = "'" + MakePathname(GetProjectDir(), "test_open_port") + "' '" + device + "'";
    FILE* other = ::popen(command.c_str(), "r");
    char said[512] = {};
    if (!other || !std::fgets(said, sizeof said, other)) said[0] = 0;
    if (other) ::pclose(other);
    return std::string(said, std::strcspn(said, "\n"));
}

// One program per device, by any name of it and for root too: a second program is refused with
// the plain reason, naming the first, and opens once the first has let go.
TEST(Rs232Open, OneProgramPerDeviceByAnyOfItsNames) {
    EnsureApp();
    Line line;
    ASSERT_GE(line.master, 0);
    const std::string link = "/tmp/kryta-sensor-link-" + std::to_string(::getpid());
    ASSERT_EQ(::symlink(line.slave.c_str(), link.c_str()), 0);
    ASSERT_EQ(OpenComConfig(40, line.slave, 19200, 0, 8, 1, 4096, 4096), 0);
    std::string self;
    std::getline(std::ifstream("/proc/self/comm"), self);
    const std::string who = " is in use by " + self + " (pid " + std::to_string(getpid()) + ")";
    EXPECT_EQ(OtherProgramOpens(link), "-7 " + link + who);
    EXPECT_EQ(OtherProgramOpens(line.slave), "-7 " + line.slave + who);
    CloseCom(40);
    EXPECT_EQ(OtherProgramOpens(link), "0 ");
    ::unlink(link.c_str());
}

// Another program, `sleep`, with `fd` as its standard input (-1: none), once it runs as itself.
pid_t Sleeper(int fd) {
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fd >= 0 ? fd : ::open("/dev/null", O_RDONLY), 0);
        close_range(3, ~0U, 0);  // not the line's master side: that would make it the line's far end
        execlp("sleep", "sleep", "60", nullptr);
        _exit(127);
    }
    std::string name;
    for (int i = 0; i < 200 && name != "sleep\n"; ++i, Delay(0.01)) {
        std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
        std::getline(comm, name, '\0');
    }
    return pid;
}

void End(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A device that another process holds open, whose UUCP lock file is being written, or that is
// the kernel's console is not opened: nothing written, its settings as they were, the holder
// named. An open holds the lock file while the port is open; one left behind is taken over.
TEST(Rs232Open, ADeviceInOtherHandsIsLeftAlone) {
    EnsureApp();
    Line line;
    ASSERT_GE(line.master, 0);
    const int fd = ::open(line.slave.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    cfsetspeed(&t, B9600);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    const pid_t holder = Sleeper(fd);
    EXPECT_EQ(OpenLine(41, line), kComCannotOpen);
    const std::string who = "sleep (pid " + std::to_string(holder) + ")";
    EXPECT_EQ(ComOpenErrorDetail(41), line.slave + " is in use by " + who);
    EXPECT_EQ(ComDeviceHeldBy(41), who);
    EXPECT_TRUE(line.Receive(1, 0.2).empty());
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    End(holder);
    ::close(fd);

    if (::access("/var/lock/", W_OK) != 0) GTEST_SKIP() << "/var/lock cannot be written here";
    std::string lock = "/var/lock/LCK.." + line.slave.substr(5);
    std::replace(lock.begin() + 10, lock.end(), '/', '_');
    std::ofstream(lock).flush();  // being written by its maker
    EXPECT_EQ(OpenLine(41, line), kComCannotOpen);
    EXPECT_EQ(ComDeviceHeldBy(41), "another program (its lock file " + lock + ")");
    // left behind, its number now another process's, which does not have the device open
    const pid_t other = Sleeper(-1);
    std::ofstream(lock) << std::string(10 - std::to_string(other).size(), ' ') << other << "\n";
    ASSERT_EQ(OpenLine(41, line), 0) << ComOpenErrorDetail(41);
    End(other);
    EXPECT_EQ(ComDeviceHeldBy(41), "");
    std::ifstream taken(lock);
    long pid = 0;
    EXPECT_TRUE(taken >> pid && pid == getpid()) << lock;
    CloseCom(41);
    struct stat st {};
    EXPECT_NE(::stat(lock.c_str(), &st), 0) << lock << " stays after the close";

    std::istringstream consoles([] {
        std::ifstream in("/proc/consoles");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }());
    for (std::string name, rest; consoles >> name && std::getline(consoles, rest);) {
        const std::string device = "/dev/" + name;
        if (::stat(device.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) continue;
        EXPECT_EQ(OpenComConfig(42, device, 19200, 0, 8, 1, 4096, 4096), kComCannotOpen) << device;
        EXPECT_NE(ComDeviceHeldBy(42), "") << device;
        return;
    }
}

// Low latency is asked of a driver that has the setting and given back at the close; a
// pseudo-terminal has no such setting, and its open neither fails nor changes anything.
TEST(Rs232Open, LowLatencyWhereTheDriverHasIt) {
    EnsureApp();
    Line line;
    ASSERT_GE(line.master, 0);
    ASSERT_EQ(OpenComConfig(39, line.slave, 19200, 0, 8, 1, 4096, 4096), 0);
    EXPECT_EQ(LowLatencyOf(39), -1);
    EXPECT_EQ(ComWrt(39, "\x00\x55", 2), 2);
    EXPECT_EQ(line.Receive(2), (std::vector<unsigned char>{0x00, 0x55}));
    CloseCom(39);
    EXPECT_EQ(LowLatencyOf(39), -1);

    // A real adapter, named by the person running the tests (never a port of the machine by
    // chance: it may be the console).
    const char* device = std::getenv("KRYTA_TEST_SERIAL_DEVICE");
    if (!device || !*device) GTEST_SKIP() << "set KRYTA_TEST_SERIAL_DEVICE to a USB serial adapter to check it";
    const int fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << device;
    serial_struct before {};
    ASSERT_EQ(::ioctl(fd, TIOCGSERIAL, &before), 0) << "the driver of " << device << " has no such setting";
    ASSERT_EQ(OpenComConfig(39, device, 19200, 0, 8, 1, 4096, 4096), 0) << ComOpenErrorDetail(39);
    EXPECT_EQ(LowLatencyOf(39), 1);
    CloseCom(39);
    serial_struct after {};
    ASSERT_EQ(::ioctl(fd, TIOCGSERIAL, &after), 0);
    ::close(fd);
    EXPECT_EQ(after.flags & ASYNC_LOW_LATENCY, before.flags & ASYNC_LOW_LATENCY);
}
