// Speed of the RUN exchange against the simulated sensor.
//
// Reference measured in the same run: a bare client (no user interface, blocking reads on the
// line) doing the same request/answer exchange back to back against the same simulator. The
// figures are the program's rate as a ratio of that reference, and, for the paced line, also
// of the nominal line limit (72 bytes x 10 bits / 19200 baud = 37.5 ms per exchange).
// CPU use is the user-interface thread's own (getrusage RUSAGE_THREAD), as a share of one core
// over the same wall time; the simulator runs on a thread of its own and is not counted.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/app.h"
#include "support/testing.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "bench/program_on_sensor.h"
#include "sim/sensor_sim.h"
#include "bench/raw_line.h"

namespace {

double ThreadCpu() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Back-to-back measurement requests by a bare client for `seconds`; exchanges per second.
double BareClientRate(const std::string& device, double seconds) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return 0;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    std::array<uint8_t, 36> req{};
    req[1] = 0x55;
    req[3] = 8;
    std::array<uint8_t, 36> ans{};
    int n = 0;
    const double t0 = Timer();
    while (Timer() - t0 < seconds) {
        if (write(fd, req.data(), req.size()) != 36) break;
        if (!ReadExactly(fd, ans.data(), ans.size())) break;
        ++n;
    }
    const double rate = n / (Timer() - t0);
    close(fd);
    return rate;
}

struct RunFigures {
    double rate = 0;      // exchanges per second
    double cpuShare = 0;  // of one core
};

// RUN for `seconds`, stopped by a click on STOP.
RunFigures MeasureRun(sim::Simulator& s, double seconds) {
    s.ClearRequests();
    TestLeftClickLater(seconds, pHandle, PANEL_BTNStop);
    const double cpu0 = ThreadCpu();
    const double t0 = Timer();
    TestLeftClick(pHandle, PANEL_BTNRun);
    const double wall = Timer() - t0;
    const double cpu = ThreadCpu() - cpu0;
    RunFigures f;
    const auto reqs = s.Requests();
    if (reqs.size() >= 2) f.rate = double(reqs.size() - 1) / (reqs.back().time - reqs.front().time);
    f.cpuShare = cpu / wall;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (!StartHeadless(argc, argv)) return 1;
    const double kSeconds = argc > 1 ? atof(argv[1]) : 5.0;

    // ---- paced line (19200 baud) ----
    sim::Simulator paced("M01", true);
    if (!paced.Start()) return 1;
    const double pacedRef = BareClientRate(paced.DevicePath(), 2.0);
    setenv("KRYTA_COM1", paced.DevicePath().c_str(), 1);
    if (StartProgram() != 0) return 1;
    const RunFigures p = MeasureRun(paced, kSeconds);
    EndProgram();
    paced.Stop();
    const double lineLimit = 19200.0 / (72 * 10);
    std::printf("RUN, paced simulator (19200 baud), %.1f s:\n", kSeconds);
    std::printf("  bare-client reference      %8.1f exchanges/s\n", pacedRef);
    std::printf("  program                    %8.1f exchanges/s\n", p.rate);
    std::printf("  program / reference        %8.1f %%\n", 100 * p.rate / pacedRef);
    std::printf("  program / nominal line limit of %.2f/s  %5.1f %%  (target >= 98 %%)\n", lineLimit,
                100 * p.rate / lineLimit);
    std::printf("  CPU of the program's thread %7.1f %% of one core  (target <= 5 %% through a window;\n"
                "  bench_line_waits counts every thread and the wake-ups)\n", 100 * p.cpuShare);

    // ---- unpaced ----
    sim::Simulator fast("M01", false);
    if (!fast.Start()) return 1;
    const double fastRef = BareClientRate(fast.DevicePath(), 2.0);
    setenv("KRYTA_COM1", fast.DevicePath().c_str(), 1);
    if (StartProgram() != 0) return 1;
    const RunFigures u = MeasureRun(fast, kSeconds);
    EndProgram();
    fast.Stop();
    std::printf("RUN, unpaced simulator, graphs drawn every frame, %.1f s:\n", kSeconds);
    std::printf("  bare-client reference      %8.1f exchanges/s\n", fastRef);
    std::printf("  program                    %8.1f exchanges/s  (target >= 1000/s)\n", u.rate);
    std::printf("  program / reference        %8.1f %%\n", 100 * u.rate / fastRef);
    std::printf("  CPU of the program's thread %7.1f %% of one core\n", 100 * u.cpuShare);
    return 0;
}
