// What publishing every frame costs: kryta-lt publish against kryta-lt measure on the same paced
// simulated sensor (19200 baud), side by side in one run, each as a process of its own.
//
// Each round runs `measure -n 0 --json` (output to /dev/null), then `publish` to a mosquitto
// broker that this benchmark starts on a free port of 127.0.0.1, for the same time, both ended by
// SIGINT. CPU is the process's own (user + system, every thread, from wait4) as a share of one
// core over its wall time; the rate is that of the measurement requests the simulator received.
// Printed: both figures, the difference in CPU (target: at most 1 % of a core) and each rate as a
// share of the line's limit (72 bytes x 10 bits / 19200 baud = 37.5 ms per exchange).
// Usage: bench_publish [SECONDS per run, default 8] [ROUNDS, default 2]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/sensor_sim.h"
#include "support/processes.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Figures {
    double cpu = 0;   // share of one core
    double rate = 0;  // measurement requests a second
    int code = -1;
};

// The program with `args` for `seconds`, then SIGINT.
Figures Run(sim::Simulator& sensor, std::vector<std::string> args, double seconds, const std::string& log) {
    sensor.ClearRequests();
    const double t0 = Now();
    const pid_t pid = Spawn(args, log);
    Figures f;
    if (pid < 0) return f;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    kill(pid, SIGINT);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    const double wall = Now() - t0;
    f.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    f.cpu = (double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + 1e-6 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec)) / wall;
    std::vector<double> t;
    for (const auto& r : sensor.Requests())
        if (r.word(1) == 8) t.push_back(r.time);  // measurement requests
    if (t.size() > 1) f.rate = double(t.size() - 1) / (t.back() - t.front());
    // the line settles before the next run: the answer to the last request, cut short, goes by
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 8.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
    const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    char tmpl[] = "/tmp/kryta-bench-publish-XXXXXX";
    const std::string dir = mkdtemp(tmpl);

    const auto [broker, port] = StartBroker(dir);
    sim::Simulator sensor("M01", true);
    if (broker < 0 || !sensor.Start()) {
        std::printf("cannot start the broker (mosquitto) or the simulator\n");
        return 1;
    }
    const std::string lt = bin + "/kryta-lt";
    const std::vector<std::string> measure = {lt, "-p", sensor.DevicePath(), "measure", "-n", "0", "--json"};
    const std::vector<std::string> publish = {lt, "-p", sensor.DevicePath(), "publish", "--broker",
                                              "127.0.0.1:" + std::to_string(port), "--topic", "bench/s1"};
    Figures m, p;
    int bad = 0;
    for (int r = 0; r < rounds; ++r) {
        const Figures fm = Run(sensor, measure, seconds, "/dev/null");
        const Figures fp = Run(sensor, publish, seconds, dir + "/publish.log");
        bad += fm.code != 0 || fp.code != 0;
        m.cpu += fm.cpu / rounds, m.rate += fm.rate / rounds;
        p.cpu += fp.cpu / rounds, p.rate += fp.rate / rounds;
    }
    kill(broker, SIGTERM);
    waitpid(broker, nullptr, 0);
    std::filesystem::remove_all(dir);
    const double line = 19200.0 / 720;
    std::printf("kryta-lt on the paced simulator (19200 baud), %d rounds of %.1f s each:\n", rounds, seconds);
    std::printf("                       CPU (%% of a core)   frames/s   of the line's %.2f/s\n", line);
    std::printf("  measure --json       %8.2f           %8.2f   %6.1f %%\n", 100 * m.cpu, m.rate, 100 * m.rate / line);
    std::printf("  publish (every frame)%8.2f           %8.2f   %6.1f %%\n", 100 * p.cpu, p.rate, 100 * p.rate / line);
    std::printf("  publish - measure    %+8.2f points of a core (target <= 1)\n", 100 * (p.cpu - m.cpu));
    std::printf("  publish / measure rate %6.1f %%\n", 100 * p.rate / m.rate);
    if (bad) std::printf("  %d round(s) where a program did not end with exit 0\n", bad);
    return bad ? 1 : 0;
}
