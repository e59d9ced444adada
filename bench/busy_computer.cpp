// What a busy computer costs kryta-lt on the paced simulated sensor (19200 baud): the same runs
// of `measure` and `publish` on a quiet machine, beside three busy processes (ahead of kryta-lt
// where this benchmark may raise them), and beside them while kryta-lt itself is stopped for 50
// to 150 ms about every half second, as a panel computer that also runs a line's HMI does to it.
//
// measure: `measure -n FRAMES --json`; the frames it printed and those it says were lost.
// publish: `publish` to a mosquitto that this benchmark starts on 127.0.0.1, for as long as the
// measure run took, ended by SIGINT; the frames and losses its summary line gives.
// Printed for each: frames lost (target 0), and the rate of measurement requests as a share of the
// quiet run's and of the line's limit (72 bytes x 10 bits / 19200 baud = 37.5 ms per exchange);
// for the stopped runs also the rate while kryta-lt was not stopped (nothing is exchanged while it
// is).
// Usage: bench_busy_computer [FRAMES, default 900]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/sensor_sim.h"
#include "support/processes.h"

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Three processes that only spin, raised ahead of ours where the system lets us.
std::vector<pid_t> StartBusy() {
    std::vector<pid_t> busy;
    for (int i = 0; i < 3; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            setpriority(PRIO_PROCESS, 0, -5);
            for (;;) std::atomic_signal_fence(std::memory_order_seq_cst);
        }
        if (pid > 0) busy.push_back(pid);
    }
    return busy;
}

void StopAll(std::vector<pid_t>& pids) {
    for (pid_t p : pids) kill(p, SIGKILL);
    for (pid_t p : pids) waitpid(p, nullptr, 0);
    pids.clear();
}

struct Figures {
    long frames = 0, lost = 0;
    double rate = 0, seconds = 0;
    int code = -1;
    long stops = 0;
    double stopped = 0;  // seconds kryta-lt was stopped
};

// Runs `args` until it ends (or, after `seconds` > 0, until SIGINT ends it), stopping it now and
// then when `holdUps`.
Figures Run(sim::Simulator& sensor, const std::vector<std::string>& args, const std::string& out, bool holdUps,
            double seconds) {
    sensor.ClearRequests();
    Figures f;
    const double t0 = Now();
    const pid_t pid = Spawn(args, out);
    if (pid < 0) return f;
    std::mt19937 rng(35);
    auto ms = [&](int lo, int hi) { return std::chrono::milliseconds(std::uniform_int_distribution<int>(lo, hi)(rng)); };
    siginfo_t ended{};
    bool interrupted = false;
    for (;;) {
        std::this_thread::sleep_for(ms(300, 700));
        ended.si_pid = 0;
        if (waitid(P_PID, id_t(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 || ended.si_pid == pid) break;
        if (seconds > 0 && !interrupted && Now() - t0 >= seconds) {
            kill(pid, SIGINT);
            interrupted = true;
            continue;
        }
        if (!holdUps || interrupted) continue;
        const double stoppedAt = Now();
        kill(pid, SIGSTOP);
        std::this_thread::sleep_for(ms(50, 150));
        kill(pid, SIGCONT);
        f.stopped += Now() - stoppedAt;
        ++f.stops;
    }
    f.code = Exit(pid);
    f.seconds = Now() - t0;
    std::vector<double> t;
    for (const auto& r : sensor.Requests())
        if (r.word(1) == 8) t.push_back(r.time);
    if (t.size() > 1) f.rate = double(t.size() - 1) / (t.back() - t.front());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the line settles before the next run
    return f;
}

// measure: the JSON lines printed, and the frames it says were lost.
void CountMeasure(const std::string& log, Figures& f) {
    const std::string text = Slurp(log);
    const std::regex lost("(\\d+) frames? lost");
    for (auto m = std::sregex_iterator(text.begin(), text.end(), lost); m != std::sregex_iterator(); ++m)
        f.lost += std::stol((*m)[1]);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) f.frames += line.rfind("{", 0) == 0;
}

// publish: its summary line.
void CountPublish(const std::string& log, Figures& f) {
    const std::string text = Slurp(log);
    const auto at = text.rfind("kryta-lt: ");
    unsigned long long measured = 0, lost = 0;
    if (at != std::string::npos &&
        std::sscanf(text.c_str() + at, "kryta-lt: %llu frames measured, %llu lost", &measured, &lost) == 2) {
        f.frames = long(measured);
        f.lost = long(lost);
    } else {
        f.lost = -1;
    }
}

void Print(const char* what, const char* name, const Figures& f, const Figures& quiet) {
    const double line = 19200.0 / 720;
    const double running = 1 - f.stopped / f.seconds;  // the share of the run it was not stopped
    std::printf("  %-8s %-13s %5ld frames, %3ld lost, %6.2f frames/s = %5.1f %% of the line, %5.1f %% of the quiet run",
                what, name, f.frames, f.lost, f.rate, 100 * f.rate / line, 100 * f.rate / quiet.rate);
    if (f.stops > 0)
        std::printf(";\n%29s stopped %4.1f %% of the time in %ld stops: %5.1f %% of the quiet run while running", "",
                    100 * (1 - running), f.stops, 100 * f.rate / quiet.rate / running);
    std::printf("%s\n", f.code == 0 ? "" : ("; exit " + std::to_string(f.code)).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::atol(argv[1]) : 900;
    const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
    char tmpl[] = "/tmp/kryta-bench-busy-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const auto [broker, port] = StartBroker(dir);
    sim::Simulator sensor("M01", true);
    if (broker < 0 || !sensor.Start()) {
        std::printf("cannot start the broker (mosquitto) or the simulator\n");
        return 1;
    }
    const std::string lt = bin + "/kryta-lt";
    const std::vector<std::string> measure = {lt, "-p", sensor.DevicePath(), "measure", "-n", std::to_string(frames), "--json"};
    const std::vector<std::string> publish = {lt, "-p", sensor.DevicePath(), "publish", "--broker",
                                              "127.0.0.1:" + std::to_string(port), "--topic", "bench/s1"};
    Figures mq = Run(sensor, measure, dir + "/mq.log", false, 0);
    CountMeasure(dir + "/mq.log", mq);
    Figures pq = Run(sensor, publish, dir + "/pq.log", false, mq.seconds);
    CountPublish(dir + "/pq.log", pq);
    std::vector<pid_t> busy = StartBusy();
    Figures mb = Run(sensor, measure, dir + "/mb.log", false, 0);
    CountMeasure(dir + "/mb.log", mb);
    Figures pb = Run(sensor, publish, dir + "/pb.log", false, mq.seconds);
    CountPublish(dir + "/pb.log", pb);
    Figures ms = Run(sensor, measure, dir + "/ms.log", true, 0);
    CountMeasure(dir + "/ms.log", ms);
    Figures ps = Run(sensor, publish, dir + "/ps.log", true, mq.seconds);
    CountPublish(dir + "/ps.log", ps);
    StopAll(busy);
    kill(broker, SIGTERM);
    waitpid(broker, nullptr, 0);
    std::printf("kryta-lt on the paced simulator (19200 baud): quiet; beside three busy processes; and beside\n"
                "them while stopped for 50-150 ms every 0.3-0.7 s (target: 0 lost; the rate kept while it runs):\n");
    Print("measure", "quiet", mq, mq);
    Print("measure", "busy", mb, mq);
    Print("measure", "busy, stopped", ms, mq);
    Print("publish", "quiet", pq, pq);
    Print("publish", "busy", pb, pq);
    Print("publish", "busy, stopped", ps, pq);
    bool bad = false;
    for (const Figures* f : {&mq, &mb, &ms, &pq, &pb, &ps}) bad = bad || f->lost != 0 || f->code != 0;
    for (const Figures* f : {&mq, &mb, &ms}) bad = bad || f->frames != frames;
    if (bad) std::printf("  logs kept in %s\n", dir.c_str());
    else std::filesystem::remove_all(dir);
    return bad ? 1 : 0;
}
