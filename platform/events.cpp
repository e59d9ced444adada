// Event processing for the program's polling loops, on Qt Core alone.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "platform/events.h"
#include "platform/utility.h"

namespace {

// One deadline timer per nesting level: a callback that runs inside event processing may wait
// for events itself, and must not move the timer of the wait it interrupted. A timer runs on
// between the calls of one wait (the same deadline), so that a wait woken by every piece of an
// answer does not set its timer anew each time.
struct Deadline {
    QTimer* timer;
    double at;
};
Deadline& DeadlineTimer(size_t depth) {
    static std::vector<Deadline> timers;
    while (timers.size() <= depth) {
        auto* t = new QTimer();  // kept for the life of the program
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
        timers.push_back({t, -1});
    }
    return timers[depth];
}

size_t g_depth = 0;
unsigned long g_wakeups = 0;

}  // namespace

int ProcessSystemEvents() {
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        dispatcher && QCoreApplication::instance()) {
        ++g_depth;
        dispatcher->processEvents(QEventLoop::AllEvents);
        --g_depth;
    }
    return 0;
}

void WaitForEvent(double deadline) {
    const double remaining = deadline - Timer();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!QCoreApplication::instance() || !dispatcher) {
        if (remaining > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(remaining));
            ++g_wakeups;
        }
        return;
    }
    const size_t depth = g_depth++;
    if (remaining > 0) {
        // Sleep until the next event or the deadline (rounded up to the millisecond, so that the
        // deadline has passed when the timer wakes us); what is pending is handled at once.
        Deadline& d = DeadlineTimer(depth);
        if (!d.timer->isActive() || d.at != deadline) {
            d.timer->start(std::max(1, int(std::ceil(remaining * 1000.0))));
            d.at = deadline;
        }
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        ++g_wakeups;
    } else {
        dispatcher->processEvents(QEventLoop::AllEvents);
    }
    --g_depth;
}

unsigned long WaitWakeups() { return g_wakeups; }

void InitCoreRuntime(int argc, char** argv) {
    if (QCoreApplication::instance()) return;
    EnsureRuntimeDir();
    // Qt keeps references to argc and argv for the life of the application.
    static int s_argc = argc;
    new QCoreApplication(s_argc, argv);  // lives as long as the program
}

namespace {

int g_signalPipe[2] = {-1, -1};
void (*g_onInterruption)() = nullptr;

// When the first interruption came (monotonic nanoseconds; 0: none yet).
volatile sig_atomic_t g_firstSignalSeconds = 0;
volatile long g_firstSignalNanos = 0;

// A second interruption ends the program at once, unless it comes within half a second of the
// first: a sender that signals both the program and its process group (timeout, a service
// manager) delivers one request twice.
void OnSignal(int signo) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (g_firstSignalSeconds == 0 && g_firstSignalNanos == 0) {
        g_firstSignalSeconds = sig_atomic_t(now.tv_sec);
        g_firstSignalNanos = now.tv_nsec;
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
        return;
    }
    const double since = double(now.tv_sec - g_firstSignalSeconds) + double(now.tv_nsec - g_firstSignalNanos) / 1e9;
    if (since < 0.5) return;
    signal(signo, SIG_DFL);
    raise(signo);
}

}  // namespace

void OnInterruption(void (*fn)()) {
    g_onInterruption = fn;
    if (g_signalPipe[0] >= 0 || !QCoreApplication::instance()) return;
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    // The handler only writes a byte; the event loop hears it and calls fn outside the handler.
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char drain[16];
        while (::read(g_signalPipe[0], drain, sizeof drain) > 0) {
        }
        if (g_onInterruption) g_onInterruption();
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;  // a second signal ends the program at once (see OnSignal)
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) sigaction(signo, &sa, nullptr);
}
