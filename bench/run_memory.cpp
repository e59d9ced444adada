// Memory of a long RUN against a simulated sensor in a process of its own, so that only the
// program's own memory is counted (the simulator keeps a log of every request it received).
//
// The program's resident memory is sampled while RUN goes on, unpaced, for the given seconds
// (default 600); the figures are ratios against the first sample, taken after a warm-up of 10 s,
// when the graphs, fonts and caches have been built.
//   bench_run_memory [seconds]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/program_on_sensor.h"
#include "platform/utility.h"

namespace {

double ResidentMiB() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Sample {
    double at, mib, heapMiB;
};
std::vector<Sample> samples;
double runStart = 0;

double HeapInUseMiB() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / (1024.0 * 1024.0);
}

void TakeSample(void*) { samples.push_back({Timer() - runStart, ResidentMiB(), HeapInUseMiB()}); }

// Starts kryta-sensor-sim (beside this program) unpaced; its device path, or "" on failure.
std::string StartSimulator(pid_t& pid) {
    int out[2];
    if (pipe(out) != 0) return "";
    const std::string prog = MakePathname(GetProjectDir(), "kryta-sensor-sim");
    pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(prog.c_str(), prog.c_str(), "--model", "M01", "--unpaced", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (poll(&p, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    if (!StartHeadless(argc, argv)) return 1;
    const double seconds = argc > 1 ? std::atof(argv[1]) : 600.0;
    pid_t sim = -1;
    const std::string device = StartSimulator(sim);
    if (device.empty()) return 1;
    setenv("KRYTA_COM1", device.c_str(), 1);
    if (StartProgram() != 0) return 1;

    const double warmUp = 10.0;
    const double step = seconds > 600 ? 60.0 : 10.0;
    for (double t = warmUp; t < seconds; t += step) TestRunLater(t, TakeSample, nullptr);
    TestRunLater(seconds - 0.5, TakeSample, nullptr);
    TestLeftClickLater(seconds, pHandle, PANEL_BTNStop);
    runStart = Timer();
    TestLeftClick(pHandle, PANEL_BTNRun);
    const double wall = Timer() - runStart;
    EndProgram();
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    if (samples.size() < 2) return 1;

    const Sample& first = samples.front();
    const Sample& last = samples.back();
    double peak = 0;
    for (const Sample& s : samples) peak = s.mib > peak ? s.mib : peak;
    std::printf("RUN, unpaced simulator in its own process, %.0f s:\n", wall);
    for (const Sample& s : samples)
        std::printf("  %7.0f s  resident %8.1f MiB  %6.3f x start   heap in use %8.1f MiB\n", s.at, s.mib,
                    s.mib / first.mib, s.heapMiB);
    std::printf("  start (after %.0f s)  %8.1f MiB\n", first.at, first.mib);
    std::printf("  end                  %8.1f MiB  (%.3f x start)\n", last.mib, last.mib / first.mib);
    std::printf("  peak                 %8.1f MiB  (%.3f x start)\n", peak, peak / first.mib);
    return 0;
}
