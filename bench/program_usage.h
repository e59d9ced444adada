// The program's own use of the machine in a benchmark process that also holds the simulated
// sensor: CPU from the process's CPU clock and wake-ups (voluntary context switches, from getrusage
// RUSAGE_SELF, which keeps those of threads that have ended), both minus the simulator's threads.
#pragma once

#include <dirent.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "platform/utility.h"

// The waits' own count of their wake-ups, where the program keeps one.
unsigned long WaitWakeups() __attribute__((weak));

inline std::set<int> Tasks() {
    std::set<int> t;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') t.insert(std::atoi(e->d_name));
        closedir(d);
    }
    return t;
}

inline double ThreadCpu(int tid) {
    timespec ts{};
    const clockid_t clock = clockid_t((~unsigned(tid)) << 3 | 6);  // the thread's scheduler clock
    if (clock_gettime(clock, &ts) != 0) return 0;
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

inline long ThreadSwitches(int tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::atol(line.c_str() + 24);
    return 0;
}

inline std::string ThreadName(int tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/comm");
    std::string s;
    std::getline(in, s);
    return s;
}

// The program's CPU seconds and voluntary context switches so far: the process minus the
// simulator's threads.
struct Usage {
    double wall = 0, cpu = 0;
    long switches = 0, uiSwitches = 0;
    unsigned long waits = 0;
    std::map<int, std::pair<double, long>> threads;  // tid: cpu, switches
};

inline std::set<int> g_simThreads;  // the simulator's, found by StartCounted

inline Usage Now() {
    Usage u;
    u.wall = Timer();
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    u.cpu = double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    u.switches = ru.ru_nvcsw;
    for (int t : g_simThreads) {
        u.cpu -= ThreadCpu(t);
        u.switches -= ThreadSwitches(t);
    }
    u.uiSwitches = ThreadSwitches(getpid());
    u.waits = WaitWakeups ? WaitWakeups() : 0;
    for (int t : Tasks())
        if (!g_simThreads.count(t)) u.threads[t] = {ThreadCpu(t), ThreadSwitches(t)};
    return u;
}

struct Span {
    double wall, cpu;
    long switches, uiSwitches;
    unsigned long waits;
    Usage a, b;
};

inline Span Between(const Usage& a, const Usage& b) {
    return {b.wall - a.wall, b.cpu - a.cpu, b.switches - a.switches, b.uiSwitches - a.uiSwitches,
            b.waits - a.waits, a, b};
}

// Starts the simulator and notes its threads, which the figures above leave out.
template <typename Sim>
inline bool StartCounted(Sim& sensor) {
    const std::set<int> before = Tasks();
    if (!sensor.Start()) return false;
    for (int t : Tasks())
        if (!before.count(t)) g_simThreads.insert(t);
    return true;
}

