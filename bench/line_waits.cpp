// What the program's waits on the sensor line cost: CPU and wake-ups while it exchanges frames
// and while it waits, against the paced simulated sensor (19200 baud) in the same process.
//
// Run it through a real window:
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/bench_line_waits [SECONDS]
// (without QT_QPA_PLATFORM it runs headless, offscreen).
//
// The program's figures are those of every thread of this process but the simulator's: CPU from
// the process's CPU clock minus the simulator thread's, wake-ups = voluntary context switches
// (getrusage RUSAGE_SELF, which keeps those of threads that have ended) minus the simulator
// thread's. References measured in the same run:
//   - the line's nominal pace: 36 bytes each way, 10 bits a byte at 19200 baud = 26.67 exchanges/s;
//   - a bare client (blocking reads, no user interface) doing the same exchange back to back on
//     the same line: its rate and its own wake-ups per exchange (one per piece of the answer);
//   - the program standing idle for the same time.
// Sections: RUN with the answer let out in pieces of 4 bytes (as a USB adapter does) and in one
// piece; the recorder waiting between samples; a GET waiting on a silent sensor; `kryta-lt
// measure` as a process of its own (its CPU and context switches from wait4).
// Nothing is asserted: the targets are printed beside the figures.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <QChartView>
#include <QEvent>

#include "app/app.h"
#include "files/files.h"
#include "platform/graph.h"
#include "platform/internal.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sensor/vars.h"
#include "support/testing.h"
#include "bench/program_on_sensor.h"
#include "bench/program_usage.h"
#include "sim/sensor_sim.h"
#include "bench/raw_line.h"

extern char** environ;

namespace {

constexpr double kLineRate = 19200.0 / (72 * 10);  // exchanges a second

// Which threads woke how often and used how much, per `per` (exchanges or seconds).
void PrintThreads(const Span& s, double per, const char* unit) {
    for (const auto& [tid, v] : s.b.threads) {
        const auto it = s.a.threads.find(tid);
        const double cpu = v.first - (it == s.a.threads.end() ? 0 : it->second.first);
        const long sw = v.second - (it == s.a.threads.end() ? 0 : it->second.second);
        if (sw == 0 && cpu < 1e-4) continue;
        std::printf("      thread %-16s %7.2f wake-ups/%s  %6.2f %% of a core\n",
                    (tid == getpid() ? "(user interface)" : ThreadName(tid).c_str()), sw / per, unit,
                    100 * cpu / s.wall);
    }
}

struct Bare {
    double rate = 0;
    double wakeups = 0;  // per exchange
};

// Back-to-back measurement exchanges by a bare client on a thread of its own.
Bare BareClient(const std::string& device, double seconds) {
    Bare b;
    std::thread([&] {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0) return;
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
        std::array<uint8_t, 36> req{}, ans{};
        req[1] = 0x55;
        req[3] = 8;
        rusage r0{}, r1{};
        getrusage(RUSAGE_THREAD, &r0);
        int n = 0;
        const double t0 = Timer();
        while (Timer() - t0 < seconds) {
            if (write(fd, req.data(), req.size()) != 36 || !ReadExactly(fd, ans.data(), ans.size())) break;
            ++n;
        }
        const double wall = Timer() - t0;
        getrusage(RUSAGE_THREAD, &r1);
        close(fd);
        if (n > 0) b.rate = n / wall, b.wakeups = double(r1.ru_nvcsw - r0.ru_nvcsw) / n;
    }).join();
    return b;
}

int Exchanges(const sim::Simulator& s, double* rate = nullptr, std::vector<double>* turns = nullptr) {
    std::vector<double> t;
    for (const auto& r : s.Requests())
        if (r.word(1) == 8) t.push_back(r.time);
    if (rate) *rate = t.size() > 1 ? double(t.size() - 1) / (t.back() - t.front()) : 0;
    // the line idle between an answer's last byte and the next request's first: the time between
    // two requests' arrivals less one exchange's 72 byte times
    if (turns)
        for (size_t i = 1; i < t.size(); ++i) turns->push_back(t[i] - t[i - 1] - 1 / kLineRate);
    return int(t.size());
}

void PressStop(void*) { TestLeftClick(pHandle, PANEL_BTNStop); }

void IdleFor(double seconds) {
    // the program waiting for the operator, as between its events
    TestRunLater(seconds, [](void*) { QuitUserInterface(0); }, nullptr);
    RunUserInterface();
}

// Paints of the widgets that show a frame: the two graphs' views and the numeric displays.
struct PaintCounter : QObject {
    std::map<QObject*, long> paints;
    explicit PaintCounter(const std::vector<QWidget*>& shown) {
        for (QWidget* w : shown) {
            paints[w] = 0;
            w->installEventFilter(this);
        }
    }
    ~PaintCounter() override {
        for (auto& [w, n] : paints) w->removeEventFilter(this);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        // a widget's paint, or the window's: one repaint of all that changed, and its hand-over
        if (e->type() == QEvent::Paint || (e->type() == QEvent::UpdateRequest && o->isWidgetType() &&
                                           static_cast<QWidget*>(o)->isWindow()))
            ++paints[o];
        return false;
    }
    long of(QWidget* w) { return paints[w]; }
};

QWidget* GraphView(int control) {
    return kryta::GraphFromWidget(kryta::ControlWidget(pHandle, control))->chartView()->viewport();
}

void RunSection(sim::Simulator& sensor, int pieces, double seconds, const Bare& bare) {
    sensor.SetPieceBytes(pieces);
    sensor.ClearRequests();
    TestRunLater(seconds, PressStop, nullptr);
    QWidget* bar = GraphView(PANEL_GRAPHVideoBar);
    QWidget* roll = GraphView(PANEL_GRAPHRaw);
    QWidget* mvalue = kryta::ControlWidget(pHandle, PANEL_NUMMvalue);
    QWidget* window = mvalue->window();
    PaintCounter painted({bar, roll, mvalue, window});
    const Usage a = Now();
    TestLeftClick(pHandle, PANEL_BTNRun);
    const Usage b = Now();
    double rate = 0;
    std::vector<double> turns;
    const int n = Exchanges(sensor, &rate, &turns);
    const Span s = Between(a, b);
    std::sort(turns.begin(), turns.end());
    std::printf("RUN, answers in pieces of %d bytes, %.1f s, %d exchanges:\n", pieces, s.wall, n);
    std::printf("  rate %.2f/s = %.1f %% of the line's %.2f/s; bare client %.2f/s = %.1f %%; the program %.1f %% of "
                "the bare client's rate (target >= 99 %%)\n",
                rate, 100 * rate / kLineRate, kLineRate, bare.rate, 100 * bare.rate / kLineRate,
                bare.rate > 0 ? 100 * rate / bare.rate : 0.0);
    if (!turns.empty()) {
        double sum = 0;
        for (double d : turns) sum += d;
        std::printf("  line idle between an answer and the next request: mean %.2f ms, median %.2f ms, "
                    "95th percentile %.2f ms, largest %.2f ms (target: mean <= 0.4 ms)\n", 1e3 * sum / double(turns.size()),
                    1e3 * turns[turns.size() / 2], 1e3 * turns[turns.size() * 95 / 100], 1e3 * turns.back());
    }
    std::printf("  CPU %.2f %% of a core, every frame drawn (target <= 3 %%)\n", 100 * s.cpu / s.wall);
    std::printf("  wake-ups %.2f per exchange (target <= 15); bare client %.2f; user-interface thread %.2f",
                double(s.switches) / n, bare.wakeups, double(s.uiSwitches) / n);
    if (WaitWakeups) std::printf("; the waits' own count %.2f", double(s.waits) / n);
    std::printf("\n");
    std::printf("  paints per exchange: edge graph %.2f, roll chart %.2f, M-VALUE display %.2f; the window's "
                "repaints %.2f\n", double(painted.of(bar)) / n, double(painted.of(roll)) / n,
                double(painted.of(mvalue)) / n, double(painted.of(window)) / n);
    PrintThreads(s, n, "exchange");
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    if (!StartHeadless(argc, argv)) return 1;
    std::printf("window system: %s\n", getenv("QT_QPA_PLATFORM"));
    sim::Simulator sensor("M01", true);
    if (!StartCounted(sensor)) return 1;
    sensor.SetPieceBytes(4);
    const Bare bare4 = BareClient(sensor.DevicePath(), 3.0);
    sensor.SetPieceBytes(36);
    const Bare bare36 = BareClient(sensor.DevicePath(), 3.0);
    setenv("KRYTA_COM1", sensor.DevicePath().c_str(), 1);
    if (StartProgram() != 0) return 1;

    // ---- the idle program: the floor ----
    {
        IdleFor(1.0);  // the window has settled after its start
        const Usage a = Now();
        IdleFor(5.0);
        const Span s = Between(a, Now());
        std::printf("idle program, %.1f s: CPU %.3f %% of a core, %.1f wake-ups/s\n", s.wall, 100 * s.cpu / s.wall,
                    s.switches / s.wall);
    }

    RunSection(sensor, 4, seconds, bare4);
    RunSection(sensor, 36, seconds, bare36);
    sensor.SetPieceBytes(4);

    // ---- the recorder between samples: 4 samples 2 s apart ----
    TestLeftClick(pHandle, PANEL_TOGGBTN_Recorder);
    char tmpl[] = "/tmp/kryta-bench-waits-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    {
        rec_fname = dir + "/rec.dat";
        SetCtrlVal(pRec, RECORD_NUMsample, 4);
        SetCtrlVal(pRec, RECORD_NUMinctime, 2.0);
        sensor.ClearRequests();
        const Usage a = Now();
        TestLeftClick(pRec, RECORD_CBTNStartRecord);
        const Span s = Between(a, Now());
        std::printf("recorder, 4 samples 2 s apart (%d exchanges), %.1f s:\n", Exchanges(sensor), s.wall);
        std::printf("  CPU %.3f %% of a core (target <= 0.5 %%), %.1f wake-ups/s\n", 100 * s.cpu / s.wall,
                    s.switches / s.wall);
        PrintThreads(s, s.wall, "s");
    }

    // ---- a GET waiting on a silent sensor, three times ----
    {
        sensor.SetFault({sim::Fault::Silent});
        sensor.ClearRequests();
        const Usage a = Now();
        for (int i = 0; i < 3; ++i) TestLeftClick(pHandle, PANEL_BTNGet);
        const Span s = Between(a, Now());
        sensor.ClearFaults();
        std::printf("GET on a silent sensor, 3 times (%zu requests), %.1f s:\n", sensor.Requests().size(), s.wall);
        std::printf("  CPU %.3f %% of a core (target <= 0.5 %%), %.1f wake-ups/s; status \"%s\"\n",
                    100 * s.cpu / s.wall, s.switches / s.wall, TestCtrlText(pHandle, PANEL_STRStatus).c_str());
        PrintThreads(s, s.wall, "s");
    }
    EndProgram();

    // ---- kryta-lt measure, a process of its own ----
    {
        std::this_thread::sleep_for(std::chrono::seconds(1));  // the line settles
        const std::string lt =
            std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/kryta-lt";
        std::vector<std::string> args = {lt, "-p", sensor.DevicePath(), "measure", "-n", "0", "--json"};
        std::vector<char*> av;
        for (auto& s : args) av.push_back(s.data());
        av.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, (dir + "/measure.err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        sensor.ClearRequests();
        const double t0 = Timer();
        pid_t pid = -1;
        if (posix_spawn(&pid, av[0], &fa, nullptr, av.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        if (pid > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
            kill(pid, SIGINT);
            int status = 0;
            rusage ru{};
            wait4(pid, &status, 0, &ru);
            const double wall = Timer() - t0;
            const double cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                               1e-6 * double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
            double rate = 0;
            const int n = Exchanges(sensor, &rate);
            std::printf("kryta-lt measure -n 0 --json, answers in pieces of 4 bytes, %.1f s, %d exchanges, exit %d:\n",
                        wall, n, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            std::printf("  rate %.2f/s = %.1f %% of the line (target >= 98 %%); CPU %.2f %% of a core (target <= 1 %%)\n",
                        rate, 100 * rate / kLineRate, 100 * cpu / wall);
            std::printf("  context switches %.2f per exchange, %.1f a second (voluntary %ld, involuntary %ld)\n",
                        double(ru.ru_nvcsw) / std::max(n, 1), ru.ru_nvcsw / wall, ru.ru_nvcsw, ru.ru_nivcsw);
        }
    }
    sensor.Stop();
    std::filesystem::remove_all(dir);
    return 0;
}
