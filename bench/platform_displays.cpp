// What a measurement frame costs the M-VALUE display while it only shows values, as a ratio
// against the same frames while the display holds the focus (then its spin box takes every value
// and style sheet itself and draws itself, as every display did before), measured in the same
// run: a new value each frame, and a new value with the tolerance colour flipping each frame.
// CPU of this thread per frame; a frame is the setters and a repaint of the display. Run it
// through a real window (offscreen, Qt paints nothing on a repaint; the paints are counted):
//   QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/bench_platform_displays [FRAMES]
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/internal.h"
#include "platform/userint.h"
#include "ui/uir.h"

namespace {

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

int g_main = 0;
unsigned g_value = 1000;

struct PaintCount : QObject {
    long paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Microseconds of CPU per frame.
double PerFrame(int frames, bool flip) {
    const auto frame = [flip](int k) {
        if (flip) SetCtrlTextBgColor(g_main, PANEL_NUMMvalue, k % 2 ? 0xFF0000 : 0x008000);
        SetCtrlVal(g_main, PANEL_NUMMvalue, ++g_value);
        kryta::ControlWidget(g_main, PANEL_NUMMvalue)->repaint();
    };
    for (int k = 0; k < 20; ++k) frame(k);  // both colours seen
    const double t0 = ThreadSeconds();
    for (int k = 0; k < frames; ++k) frame(k);
    return 1e6 * (ThreadSeconds() - t0) / frames;
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!InitUserInterface(argc, argv)) return 1;
    const std::string uir = (QCoreApplication::applicationDirPath() + "/KRYTA-LT-VizizE309.uir").toStdString();
    g_main = LoadPanel(0, uir, PANEL);
    if (g_main <= 0) {
        std::fprintf(stderr, "no resource file at %s\n", uir.c_str());
        return 1;
    }
    DisplayPanel(g_main);
    QWidget* window = kryta::PanelWidget(g_main)->window();
    for (int i = 0; i < 500 && !(window->windowHandle() && window->windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);  // drawn once it is on the screen

    PaintCount count;
    kryta::ControlWidget(g_main, PANEL_NUMMvalue)->installEventFilter(&count);
    double shown[2], focused[2];
    for (int flip = 0; flip < 2; ++flip) {
        SetActiveCtrl(g_main, PANEL_BTNRun);
        shown[flip] = PerFrame(frames, flip);
        SetActiveCtrl(g_main, PANEL_NUMMvalue);
        focused[flip] = PerFrame(frames, flip);
    }
    std::printf("M-VALUE display, %d frames each, %.2f paints a frame, CPU per frame (this thread)\n", frames,
                double(count.paints) / (4.0 * (frames + 20)));
    for (int flip = 0; flip < 2; ++flip)
        std::printf("  %-34s only shown %7.1f us, holding the focus %7.1f us: %5.2f of it\n",
                    flip ? "new value, colour flips:" : "new value, same colour:", shown[flip], focused[flip],
                    shown[flip] / focused[flip]);
    DiscardPanel(g_main);
    return 0;
}
