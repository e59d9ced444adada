// What the gateway costs: kryta-lt gateway with 1 and with 8 paced simulated sensors (19200 baud),
// every frame published to a mosquitto broker that this benchmark starts on a free port of
// 127.0.0.1, side by side in one run; then the resident memory of all its processes over a long
// run with 8 sensors.
//
// Rate: the measurement requests each simulator received a second, as a share of its line's limit
// (72 bytes x 10 bits / 19200 baud = 37.5 ms an exchange; target >= 98 %). CPU: user + system time
// of the gateway and every process it started (/proc/PID/stat), between the end of the connects and
// the end of the run, as a share of one core, per sensor (target <= 1.5 %). Published: the DDATA
// messages a subscriber received per frame the sensors answered in the same time.
// Usage: bench_gateway [SECONDS per run, default 20] [SECONDS of the memory run, default 60]
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/sensor_sim.h"
#include "support/processes.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Sleep(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

// The process and all it started, by their parent.
std::vector<int> Family(int root) {
    std::vector<int> all = {root};
    for (size_t k = 0; k < all.size(); ++k) {
        std::ifstream in("/proc/" + std::to_string(all[k]) + "/task/" + std::to_string(all[k]) + "/children");
        for (int c; in >> c;) all.push_back(c);
    }
    return all;
}

// CPU seconds (user + system) and resident kilobytes of the processes.
void Usage(const std::vector<int>& pids, double& cpu, long& rssKb) {
    cpu = 0, rssKb = 0;
    const double tick = double(sysconf(_SC_CLK_TCK));
    for (int p : pids) {
        std::ifstream stat("/proc/" + std::to_string(p) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const auto close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(text.substr(close + 2));
        std::string field;
        for (int i = 3; i <= 13; ++i) rest >> field;
        unsigned long long ut = 0, st = 0;
        rest >> ut >> st;
        cpu += double(ut + st) / tick;
        std::ifstream status("/proc/" + std::to_string(p) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmRSS:", 0) == 0) rssKb += std::atol(line.c_str() + 6);
    }
}

struct Figures {
    double cpu = 0;                 // share of one core, all processes
    std::vector<double> rates;      // measurement requests a second, per sensor
    double published = 0;           // DDATA received per frame answered
    std::vector<long> rss;          // kilobytes, sampled
    int processes = 0;
    int code = -1;
};

long Lines(const std::string& file) {
    std::ifstream in(file);
    long n = 0;
    for (std::string l; std::getline(in, l);) n += l.find("/DDATA/") != std::string::npos;
    return n;
}

Figures Run(std::vector<std::unique_ptr<sim::Simulator>>& sensors, size_t n, double seconds, const std::string& lt,
            int port, const std::string& dir, double sampleEvery = 0) {
    std::string ports;
    for (size_t k = 0; k < n; ++k) ports += (k ? "," : "") + sensors[k]->DevicePath();
    const std::string sub = dir + "/sub-" + std::to_string(n) + ".log";
    const pid_t subscriber = Spawn({"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-t", "spBv1.0/#", "-F", "%t"}, sub);
    Sleep(0.3);
    const pid_t gw = Spawn({lt, "gateway", "--broker", "127.0.0.1:" + std::to_string(port), "--node", "bench", "--ports", ports,
                            "--state-dir", dir}, dir + "/gateway-" + std::to_string(n) + ".log");
    Figures f;
    Sleep(3.0);  // connected, births out
    for (size_t k = 0; k < n; ++k) sensors[k]->ClearRequests();
    const long ddata0 = Lines(sub);
    double cpu0 = 0, cpu1 = 0;
    long rss = 0;
    std::vector<int> family = Family(gw);
    f.processes = int(family.size());
    Usage(family, cpu0, rss);
    const double t0 = Now();
    if (sampleEvery > 0) {
        for (double next = t0; Now() < t0 + seconds; next += sampleEvery) {
            Sleep(std::max(0.0, next - Now()));
            Usage(Family(gw), cpu1, rss);
            f.rss.push_back(rss);
        }
    } else {
        Sleep(seconds);
    }
    Usage(family, cpu1, rss);
    const double wall = Now() - t0;
    const long ddata = Lines(sub) - ddata0;
    kill(gw, SIGTERM);
    f.code = Exit(gw);
    kill(subscriber, SIGTERM);
    Exit(subscriber);
    f.cpu = (cpu1 - cpu0) / wall;
    long frames = 0;
    for (size_t k = 0; k < n; ++k) {
        long measured = 0;
        for (const auto& r : sensors[k]->Requests()) measured += r.word(1) == 8;
        frames += measured;
        f.rates.push_back(double(measured) / wall);
    }
    f.published = frames ? double(ddata) / double(frames) : 0;
    Sleep(0.5);  // the lines settle before the next run
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    const double memorySeconds = argc > 2 ? std::atof(argv[2]) : 60.0;
    const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    char tmpl[] = "/tmp/kryta-bench-gateway-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const auto [broker, port] = StartBroker(dir);
    std::vector<std::unique_ptr<sim::Simulator>> sensors;
    for (int k = 0; k < 8; ++k) {
        sensors.push_back(std::make_unique<sim::Simulator>(k % 2 ? "M19" : "M01", true));
        if (!sensors.back()->Start()) return std::printf("cannot start the simulator\n"), 1;
    }
    if (broker < 0) return std::printf("cannot start the broker (mosquitto)\n"), 1;
    const std::string lt = bin + "/kryta-lt";
    const double line = 19200.0 / 720;

    const Figures one = Run(sensors, 1, seconds, lt, port, dir);
    const Figures eight = Run(sensors, 8, seconds, lt, port, dir);
    std::printf("kryta-lt gateway on paced simulated sensors (19200 baud, the line's limit %.2f frames/s), %.0f s each:\n", line, seconds);
    std::printf("                         1 sensor     8 sensors\n");
    auto minRate = [&](const Figures& f) {
        double m = 1e9;
        for (double r : f.rates) m = std::min(m, r);
        return m;
    };
    auto meanRate = [&](const Figures& f) {
        double s = 0;
        for (double r : f.rates) s += r;
        return s / double(f.rates.size());
    };
    std::printf("  processes              %8d     %8d\n", one.processes, eight.processes);
    std::printf("  rate, slowest sensor   %7.1f %%    %7.1f %%   of the line's (target >= 98 %%)\n", 100 * minRate(one) / line,
                100 * minRate(eight) / line);
    std::printf("  rate, mean             %7.1f %%    %7.1f %%\n", 100 * meanRate(one) / line, 100 * meanRate(eight) / line);
    std::printf("  DDATA per frame        %8.3f     %8.3f\n", one.published, eight.published);
    std::printf("  CPU, all processes     %7.2f %%    %7.2f %%   of a core\n", 100 * one.cpu, 100 * eight.cpu);
    std::printf("  CPU per sensor         %7.2f %%    %7.2f %%   (target <= 1.5 %%)\n", 100 * one.cpu, 100 * eight.cpu / 8);
    int bad = (one.code != 0) + (eight.code != 0);

    if (memorySeconds > 0) {
        const Figures m = Run(sensors, 8, memorySeconds, lt, port, dir, std::max(1.0, memorySeconds / 20));
        bad += m.code != 0;
        long lo = m.rss.empty() ? 0 : m.rss.front(), hi = lo;
        for (long r : m.rss) lo = std::min(lo, r), hi = std::max(hi, r);
        std::printf("resident memory of all processes, 8 sensors, %.0f s (%zu samples):\n", memorySeconds, m.rss.size());
        std::printf("  first %ld kB, last %ld kB, lowest %ld kB, highest %ld kB: last/first %.3f\n", m.rss.empty() ? 0 : m.rss.front(),
                    m.rss.empty() ? 0 : m.rss.back(), lo, hi, m.rss.empty() ? 0 : double(m.rss.back()) / double(m.rss.front()));
        std::printf("  CPU per sensor %.2f %% of a core, slowest sensor %.1f %% of the line's rate\n", 100 * m.cpu / 8,
                    100 * minRate(m) / line);
    }
    kill(broker, SIGTERM);
    waitpid(broker, nullptr, 0);
    std::filesystem::remove_all(dir);
    if (bad) std::printf("  %d run(s) where the gateway did not end with exit 0\n", bad);
    return bad ? 1 : 0;
}
