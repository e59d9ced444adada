// Serial-line figures of the run-time layer, each beside a reference measured in the same run:
//  (a) latency from 36 bytes written into a pseudo-terminal to the receive callback running in
//      a ProcessSystemEvents loop, against a plain poll() on the slave side;
//  (b) CPU used by a loop that polls a silent port through ProcessSystemEvents, against a busy
//      loop;
//  (c) CPU used by the idle event loop with the port open, and after the other end went away.
//
// Run: QT_QPA_PLATFORM=offscreen build/bin/bench_platform_serial

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/rs232.h"
#include "platform/userint.h"
#include "platform/utility.h"

namespace {

constexpr int kPort = 1;
constexpr int kSamples = 300;

double CpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

struct Pty {
    int master = -1, slave = -1;
    std::string name;
    bool Open() {
        char buf[256] = {};
        if (openpty(&master, &slave, buf, nullptr, nullptr) != 0) return false;
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        name = buf;
        return true;
    }
    void Close() {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
        master = slave = -1;
    }
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    return v[i];
}

// Writes 36 bytes into the master after a random short pause; the write time goes to `sent`.
void WriteLater(int master, std::atomic<double>& sent, unsigned seed) {
    std::mt19937 rng(seed);
    std::this_thread::sleep_for(std::chrono::microseconds(500 + rng() % 2500));
    unsigned char frame[36] = {0x00, 0xAA};
    sent.store(Timer());
    if (::write(master, frame, sizeof frame) != static_cast<ssize_t>(sizeof frame)) std::abort();
}

std::atomic<double> g_sent{0};
double g_seen = 0;
int g_callbacks = 0;

void OnReceive(int port, int, void*) {
    g_seen = Timer();
    ++g_callbacks;
    char buf[36];
    ComRd(port, buf, 36);
    FlushInQ(port);
}

void LatencyFigures(Pty& line) {
    // the layer: callback inside a ProcessSystemEvents loop
    std::vector<double> layer;
    for (int i = 0; i < kSamples; ++i) {
        const int before = g_callbacks;
        std::thread writer(WriteLater, line.master, std::ref(g_sent), 1000u + static_cast<unsigned>(i));
        const double limit = Timer() + 1.0;
        while (g_callbacks == before && Timer() < limit) ProcessSystemEvents();
        writer.join();
        if (g_callbacks != before) layer.push_back(g_seen - g_sent.load());
    }

    // the reference: a plain poll() on a raw pseudo-terminal's slave side
    Pty ref;
    if (!ref.Open()) std::abort();
    std::vector<double> plain;
    for (int i = 0; i < kSamples; ++i) {
        std::thread writer(WriteLater, ref.master, std::ref(g_sent), 1000u + static_cast<unsigned>(i));
        unsigned char buf[64];
        size_t got = 0;
        while (got < 36) {
            pollfd pfd{ref.slave, POLLIN, 0};
            if (::poll(&pfd, 1, 1000) <= 0) break;
            const ssize_t n = ::read(ref.slave, buf, sizeof buf);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        const double seen = Timer();
        writer.join();
        if (got >= 36) plain.push_back(seen - g_sent.load());
    }
    ref.Close();

    const double l50 = Percentile(layer, 0.5), l99 = Percentile(layer, 0.99);
    const double p50 = Percentile(plain, 0.5), p99 = Percentile(plain, 0.99);
    std::printf("(a) 36 bytes written -> receive callback (%zu of %d frames delivered)\n", layer.size(),
                kSamples);
    std::printf("    layer  median %.3f ms  p99 %.3f ms  max %.3f ms\n", l50 * 1e3, l99 * 1e3,
                Percentile(layer, 1.0) * 1e3);
    std::printf("    poll() median %.3f ms  p99 %.3f ms  (reference)\n", p50 * 1e3, p99 * 1e3);
    std::printf("    ratio layer/poll: median %.1f  p99 %.1f   target: layer below 2 ms\n",
                p50 > 0 ? l50 / p50 : 0.0, p99 > 0 ? l99 / p99 : 0.0);
}

void PollingLoopFigures() {
    // reference: a busy loop that only asks for the queue length
    double w0 = Timer(), c0 = CpuSeconds();
    long busyIterations = 0;
    while (Timer() - w0 < 1.0) {
        GetInQLen(kPort);
        ++busyIterations;
    }
    const double busy = (CpuSeconds() - c0) / (Timer() - w0);

    // the program's waiting loop on a silent port
    w0 = Timer();
    c0 = CpuSeconds();
    long calls = 0;
    while (Timer() - w0 < 2.0) {
        ProcessSystemEvents();
        GetInQLen(kPort);
        ++calls;
    }
    const double wall = Timer() - w0;
    const double loop = (CpuSeconds() - c0) / wall;
    std::printf("(b) loop of ProcessSystemEvents on a silent port, 2 s\n");
    std::printf("    CPU per wall second: loop %.4f, busy loop %.4f (reference)\n", loop, busy);
    std::printf("    ratio loop/busy %.4f (%.2f %% of one core)   target: below 5 %%\n",
                busy > 0 ? loop / busy : 0.0, loop * 100.0);
    std::printf("    calls per millisecond of wall time: %.2f (about 1 means each call waited ~1 ms)\n",
                static_cast<double>(calls) / (wall * 1e3));
}

double IdleEventLoopCpu(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    const double w0 = Timer(), c0 = CpuSeconds();
    loop.exec();
    return (CpuSeconds() - c0) / (Timer() - w0);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    Pty line;
    if (!line.Open()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return 1;
    }
    if (OpenComConfig(kPort, line.name, 19200, 0, 8, 1, 4096, 4096) != 0) {
        std::fprintf(stderr, "cannot open %s\n", line.name.c_str());
        return 1;
    }
    ::close(line.slave);  // the layer holds the slave side now
    line.slave = -1;
    SetComTime(kPort, 1.5);
    SetCTSMode(kPort, 0);
    InstallComCallback(kPort, LWRS_RECEIVE | LWRS_RXFLAG | LWRS_TXEMPTY, 36, 0x55, OnReceive, nullptr);

    LatencyFigures(line);
    PollingLoopFigures();

    // reference for (c): the same busy measure as in (b)
    double w0 = Timer(), c0 = CpuSeconds();
    while (Timer() - w0 < 0.5) GetInQLen(kPort);
    const double busy = (CpuSeconds() - c0) / (Timer() - w0);

    const double idleOpen = IdleEventLoopCpu(2.0);
    line.Close();  // the other end goes away
    const double idleDead = IdleEventLoopCpu(2.0);
    std::printf("(c) idle event loop, 2 s each (busy loop reference %.4f CPU per wall second)\n", busy);
    std::printf("    port open:        %.5f CPU per wall second, ratio to busy %.5f (%.3f %% of one core)\n",
                idleOpen, busy > 0 ? idleOpen / busy : 0.0, idleOpen * 100.0);
    std::printf("    other end closed: %.5f CPU per wall second, ratio to busy %.5f (%.3f %% of one core)\n",
                idleDead, busy > 0 ? idleDead / busy : 0.0, idleDead * 100.0);
    std::printf("    port still open after the other end closed: %s   target: both below 0.5 %%\n",
                IsComOpen(kPort) ? "yes" : "no");
    CloseCom(kPort);
    return 0;
}
