// Event processing for the program's polling loops, on Qt Core alone.

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/events.h"

namespace {

// One wake-up timer per nesting level: a callback that runs inside event processing may wait
// for events itself, and must not stop the timer of the wait it interrupted.
QTimer* WakeTimer(size_t depth) {
    static std::vector<QTimer*> timers;
    while (timers.size() <= depth) {
        auto* t = new QTimer();  // kept for the life of the program
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(1);
        timers.push_back(t);
    }
    return timers[depth];
}

size_t g_depth = 0;

}  // namespace

int ProcessSystemEvents() {
    QCoreApplication* app = QCoreApplication::instance();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!app || !dispatcher) {
        // No event loop to wait on: behave like a short wait so that loops do not spin.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    }
    const size_t depth = g_depth++;
    // Whatever is pending first, without blocking.
    const bool handled = dispatcher->processEvents(QEventLoop::AllEvents);
    if (!handled) {
        // Nothing was pending: sleep until the next event, at most about a millisecond.
        QTimer* wake = WakeTimer(depth);
        wake->start();
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        wake->stop();
    }
    --g_depth;
    return 0;
}
