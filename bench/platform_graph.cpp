// Cost of the graph calls that the program makes after every measurement frame, as a ratio
// against copying the same data into a std::vector, measured in the same run:
//   - one strip-chart plot of the 600-value roll history (6 traces, 101 points per screen),
//   - one x/y frame of the video graph: delete all, a 256-point curve and one rectangle,
//   - one refresh of each chart (done at most about 30 times a second, not per frame).

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/graph.h"
#include "platform/internal.h"
#include "support/testing_graph.h"
#include "platform/userint.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile double g_sink = 0;

template <class F>
double NanosPerCall(F&& f, int reps) {
    f();  // warm-up: the steady state allocates nothing
    const auto t0 = Clock::now();
    for (int i = 0; i < reps; ++i) f();
    const auto t1 = Clock::now();
    return std::chrono::duration<double, std::nano>(t1 - t0).count() / reps;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    QWidget* strip = kryta::CreateGraphWidget("StripChartWidget", nullptr, "GRAPHRaw");
    QWidget* video = kryta::CreateGraphWidget("GraphWidget", nullptr, "GRAPHVideo");
    strip->resize(400, 250);
    video->resize(400, 250);
    kryta::GraphSetPointsPerScreen(strip, 101);
    kryta::GraphSetContinuous(strip, true);
    kryta::GraphSetTraces(strip, 6);
    kryta::GraphSetAxisScaling(strip, YAXIS, VAL_MANUAL, 0, 1024);
    kryta::GraphSetAxisScaling(video, XAXIS, VAL_MANUAL, 1, 1024);
    kryta::GraphSetAxisScaling(video, YAXIS, VAL_MANUAL, 1, 4095);

    std::vector<double> history(600), x(256);
    std::vector<uint16_t> y(256);
    for (int i = 0; i < 600; ++i) history[i] = (i * 37) % 1024;
    for (int i = 0; i < 256; ++i) {
        x[i] = 1 + i * 4;
        y[i] = static_cast<uint16_t>((i * 97) % 4096);
    }

    const int reps = 20000;
    std::vector<double> copyD;
    std::vector<uint16_t> copyY;
    copyD.reserve(600);
    copyY.reserve(256);

    // references: the same data copied into vectors
    const double refStrip = NanosPerCall([&] {
        copyD.assign(history.begin(), history.end());
        g_sink = g_sink + copyD[599];
    }, reps);
    const double refXY = NanosPerCall([&] {
        copyD.assign(x.begin(), x.end());
        copyY.assign(y.begin(), y.end());
        g_sink = g_sink + copyD[255] + copyY[255];
    }, reps);

    const double stripCost = NanosPerCall([&] {
        history[0] += 1;
        kryta::GraphPlotStripChart(strip, history.data(), 600);
    }, reps);
    const double xyCost = NanosPerCall([&] {
        kryta::GraphDeletePlot(video, VAL_DELETE_ALL);
        kryta::GraphPlotXY(video, x.data(), y.data(), 256, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE,
                           VAL_SOLID, 0xFF0000);
        kryta::GraphPlotRectangle(video, 300, 0.25, 700, 1.0, 0xFF0000, 0xFF0000);
    }, reps);

    const int refreshReps = 200;
    const double stripRefresh = NanosPerCall([&] {
        history[0] += 1;
        kryta::GraphPlotStripChart(strip, history.data(), 600);
        kryta::GraphRefreshNow(strip);
    }, refreshReps);
    const double xyRefresh = NanosPerCall([&] {
        y[0] = static_cast<uint16_t>(y[0] + 1);
        kryta::GraphDeletePlot(video, VAL_DELETE_ALL);
        kryta::GraphPlotXY(video, x.data(), y.data(), 256, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE,
                           VAL_SOLID, 0xFF0000);
        kryta::GraphPlotRectangle(video, 300, 0.25, 700, 1.0, 0xFF0000, 0xFF0000);
        kryta::GraphRefreshNow(video);
    }, refreshReps);

    std::printf("graph call cost relative to copying the same data into a std::vector (same run)\n");
    std::printf("  PlotStripChart, 600 values, 6 traces, 101 points per screen : %8.1f x\n",
                stripCost / refStrip);
    std::printf("  delete all + PlotXY 256 points + PlotRectangle              : %8.1f x\n", xyCost / refXY);
    std::printf("  the same plus one chart refresh (at most ~30 per second)\n");
    std::printf("    strip chart                                               : %8.1f x\n",
                stripRefresh / refStrip);
    std::printf("    x/y graph                                                 : %8.1f x\n", xyRefresh / refXY);

    delete strip;
    delete video;
    return g_sink < 0 ? 1 : 0;
}
