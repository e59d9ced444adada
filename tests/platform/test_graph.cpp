// The graph widgets: what their models record, how the strip chart rolls, and that the chart
// on screen follows the model.

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QValueAxis>
#include <QVBoxLayout>

#include <cstdlib>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/graph.h"
#include "platform/internal.h"
#include "support/testing_graph.h"
#include "platform/userint.h"

using namespace kryta;

namespace {

void EnsureApp() {
    if (!QCoreApplication::instance()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char arg0[] = "test-graph";
        static char* argv[] = {arg0, nullptr};
        new QApplication(argc, argv);
    }
}

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

std::unique_ptr<QWidget> Make(const char* cls, const char* name = "g") {
    EnsureApp();
    QWidget* w = CreateGraphWidget(QString::fromLatin1(cls), nullptr, QString::fromLatin1(name));
    if (w) w->resize(320, 220);
    return std::unique_ptr<QWidget>(w);
}

bool HasColour(const QImage& img, QRgb rgb) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF)) return true;
    return false;
}

// Where a point in axis units stands in a grab of the graph, and the colour there.
QPoint PixelOf(const GraphBase* g, double x, double y) {
    const QRectF a = g->chart()->plotArea();
    return QPoint(int(a.left() + (x - g->axisX()->min()) / (g->axisX()->max() - g->axisX()->min()) * a.width()),
                  int(a.bottom() - (y - g->axisY()->min()) / (g->axisY()->max() - g->axisY()->min()) * a.height()));
}
QRgb ColourOf(const QImage& img, const GraphBase* g, double x, double y) {
    return QColor(img.pixel(PixelOf(g, x, y))).rgb() & 0xFFFFFF;
}

std::vector<QPointF> Points(const PlotItem* s) {
    const QList<QPointF>& p = s->points();
    return std::vector<QPointF>(p.begin(), p.end());
}

}  // namespace

TEST(GraphWidgets, CreatedByClassNameWithTheirName) {
    EnsureApp();
    EXPECT_TRUE(IsGraphWidgetClass("GraphWidget"));
    EXPECT_TRUE(IsGraphWidgetClass("StripChartWidget"));
    EXPECT_FALSE(IsGraphWidgetClass("QWidget"));
    EXPECT_EQ(CreateGraphWidget("QLabel", nullptr, "x"), nullptr);

    auto xy = Make("GraphWidget", "GRAPHVideo");
    auto strip = Make("StripChartWidget", "GRAPHRaw");
    ASSERT_TRUE(xy && strip);
    EXPECT_EQ(xy->objectName(), "GRAPHVideo");
    EXPECT_FALSE(GraphFromWidget(xy.get())->isStripChart());
    EXPECT_TRUE(GraphFromWidget(strip.get())->isStripChart());
    // the chart view exists from the start, so that event filters can be put on it
    EXPECT_NE(GraphFromWidget(xy.get())->chartView(), nullptr);
    EXPECT_EQ(xy->contextMenuPolicy(), Qt::NoContextMenu);

    // the edge graph draws between 0 and 1
    auto bar = Make("GraphWidget", "GRAPHVideoBar");
    GraphModel m = GraphModelOf(bar.get());
    EXPECT_EQ(m.yAxis.mode, VAL_MANUAL);
    EXPECT_EQ(m.yAxis.min, 0.0);
    EXPECT_EQ(m.yAxis.max, 1.0);
    EXPECT_EQ(GraphModelOf(xy.get()).yAxis.mode, VAL_AUTOSCALE);

    // a graph inside a container is found; a plain widget is no graph
    QWidget box;
    auto* inner = CreateGraphWidget("GraphWidget", &box, "inner");
    EXPECT_EQ(GraphFromWidget(&box), GraphFromWidget(inner));
    QWidget plain;
    EXPECT_EQ(GraphFromWidget(&plain), nullptr);
    EXPECT_TRUE(GraphModelOf(nullptr).plots.empty());
}

TEST(XYGraphModel, RecordsCurvesAndRectanglesInOrderWithUniqueHandles) {
    auto w = Make("GraphWidget");
    const double x[4] = {1, 2, 3, 4};
    const uint16_t y[4] = {10, 65535, 0, 7};
    const int h1 = GraphPlotXY(w.get(), x, y, 4, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE, VAL_SOLID, 0xFF0000);
    const int h2 = GraphPlotRectangle(w.get(), 300, 0.25, 1000, 1.0, 0xFF0000, 0xFF0000);
    const int h3 = GraphPlotXY(w.get(), x, y, 2, VAL_THIN_LINE, 0, VAL_DASH, 0x000000);
    EXPECT_GT(h1, 0);
    EXPECT_GT(h2, 0);
    EXPECT_GT(h3, 0);
    EXPECT_NE(h1, h2);
    EXPECT_NE(h2, h3);
    EXPECT_NE(h1, h3);

    GraphModel m = GraphModelOf(w.get());
    ASSERT_EQ(m.plots.size(), 3u);
    const PlotModel& c = m.plots[0];
    EXPECT_EQ(c.handle, h1);
    EXPECT_FALSE(c.rectangle);
    EXPECT_EQ(c.x, (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(c.y, (std::vector<double>{10, 65535, 0, 7}));
    EXPECT_EQ(c.color, 0xFF0000);
    EXPECT_EQ(c.plotStyle, VAL_CONNECTED_POINTS);
    EXPECT_EQ(c.pointStyle, VAL_SMALL_SOLID_SQUARE);
    EXPECT_EQ(c.lineStyle, VAL_SOLID);
    const PlotModel& r = m.plots[1];
    EXPECT_TRUE(r.rectangle);
    EXPECT_EQ(r.handle, h2);
    EXPECT_EQ(r.x1, 300);
    EXPECT_EQ(r.y1, 0.25);
    EXPECT_EQ(r.x2, 1000);
    EXPECT_EQ(r.y2, 1.0);
    EXPECT_EQ(r.color, 0xFF0000);
    EXPECT_EQ(r.fillColor, 0xFF0000);
    EXPECT_TRUE(r.x.empty());
    EXPECT_EQ(m.plots[2].x.size(), 2u);
    EXPECT_EQ(m.plots[2].lineStyle, VAL_DASH);

    // deleting one keeps the order of the others
    EXPECT_EQ(GraphDeletePlot(w.get(), h2), 0);
    m = GraphModelOf(w.get());
    ASSERT_EQ(m.plots.size(), 2u);
    EXPECT_EQ(m.plots[0].handle, h1);
    EXPECT_EQ(m.plots[1].handle, h3);
    EXPECT_LT(GraphDeletePlot(w.get(), h2), 0);  // already gone
    EXPECT_LT(GraphDeletePlot(w.get(), 0), 0);

    // bad input draws nothing
    EXPECT_LT(GraphPlotXY(w.get(), x, y, 0, 0, 0, 0, 0), 0);
    EXPECT_LT(GraphPlotXY(w.get(), nullptr, y, 4, 0, 0, 0, 0), 0);
    EXPECT_LT(GraphPlotXY(w.get(), x, nullptr, 4, 0, 0, 0, 0), 0);
    EXPECT_EQ(GraphModelOf(w.get()).plots.size(), 2u);

    // a handle of a later plot never repeats one still drawn or used before
    const int h4 = GraphPlotRectangle(w.get(), 0, 0, 1, 1, 0, 0);
    EXPECT_NE(h4, h1);
    EXPECT_NE(h4, h2);
    EXPECT_NE(h4, h3);
}

TEST(XYGraphModel, DeleteAllRemovesPlotsButKeepsCursors) {
    auto w = Make("GraphWidget");
    EXPECT_EQ(GraphSetCursor(w.get(), 1, 512, 0.75), 0);
    EXPECT_EQ(GraphSetCursor(w.get(), 2, 20, 1.0), 0);
    EXPECT_EQ(GraphSetCursor(w.get(), 3, 1000, 0.5), 0);
    EXPECT_LT(GraphSetCursor(w.get(), 0, 1, 1), 0);
    EXPECT_LT(GraphSetCursor(w.get(), 4, 1, 1), 0);
    GraphPlotRectangle(w.get(), 1, 0.25, 300, 1.0, 0xFF0000, 0xFF0000);
    GraphPlotRectangle(w.get(), 390, 0, 410, 0.35, 0x00FF00, 0x00FF00);

    EXPECT_EQ(GraphDeletePlot(w.get(), VAL_DELETE_ALL), 0);
    GraphModel m = GraphModelOf(w.get());
    EXPECT_TRUE(m.plots.empty());
    EXPECT_EQ(m.cursorX[0], 512);
    EXPECT_EQ(m.cursorY[0], 0.75);
    EXPECT_EQ(m.cursorX[1], 20);
    EXPECT_EQ(m.cursorY[1], 1.0);
    EXPECT_EQ(m.cursorX[2], 1000);
    EXPECT_EQ(m.cursorY[2], 0.5);
    double cx = 0, cy = 0;
    EXPECT_EQ(GraphGetCursor(w.get(), 3, cx, cy), 0);
    EXPECT_EQ(cx, 1000);
    EXPECT_EQ(cy, 0.5);
    EXPECT_LT(GraphGetCursor(w.get(), 0, cx, cy), 0);

    // plots drawn after a delete-all are recorded from scratch, with fresh values
    const double x[2] = {5, 6};
    const uint16_t y[2] = {1, 2};
    GraphPlotXY(w.get(), x, y, 2, 0, 0, 0, 0x123456);
    m = GraphModelOf(w.get());
    ASSERT_EQ(m.plots.size(), 1u);
    EXPECT_FALSE(m.plots[0].rectangle);
    EXPECT_EQ(m.plots[0].x, (std::vector<double>{5, 6}));
    EXPECT_EQ(m.plots[0].color, 0x123456);
}

TEST(XYGraphModel, AxisRangesManualOrAutoscaled) {
    auto w = Make("GraphWidget");
    GraphBase* g = GraphFromWidget(w.get());
    EXPECT_EQ(GraphSetAxisScaling(w.get(), XAXIS, VAL_MANUAL, 1.0, 4096.0), 0);
    EXPECT_EQ(GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 1.0, 4095.0), 0);
    GraphModel m = GraphModelOf(w.get());
    EXPECT_EQ(m.xAxis.mode, VAL_MANUAL);
    EXPECT_EQ(m.xAxis.min, 1.0);
    EXPECT_EQ(m.xAxis.max, 4096.0);
    EXPECT_EQ(m.yAxis.max, 4095.0);

    // an empty or reversed range is refused and the axis keeps its range
    EXPECT_LT(GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 500.0, 500.0), 0);
    EXPECT_LT(GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 600.0, 400.0), 0);
    EXPECT_LT(GraphSetAxisScaling(w.get(), 2, VAL_MANUAL, 0.0, 1.0), 0);
    EXPECT_LT(GraphSetAxisScaling(w.get(), XAXIS, 7, 0.0, 1.0), 0);
    m = GraphModelOf(w.get());
    EXPECT_EQ(m.yAxis.min, 1.0);
    EXPECT_EQ(m.yAxis.max, 4095.0);

    g->refreshNow();
    EXPECT_DOUBLE_EQ(g->axisX()->min(), 1.0);
    EXPECT_DOUBLE_EQ(g->axisX()->max(), 4096.0);
    EXPECT_DOUBLE_EQ(g->axisY()->max(), 4095.0);

    // autoscale covers what is drawn
    EXPECT_EQ(GraphSetAxisScaling(w.get(), YAXIS, VAL_AUTOSCALE, 0, 0), 0);
    EXPECT_EQ(GraphModelOf(w.get()).yAxis.mode, VAL_AUTOSCALE);
    const double x[3] = {10, 20, 30};
    const uint16_t y[3] = {130, 870, 400};
    GraphPlotXY(w.get(), x, y, 3, 0, 0, 0, 0xFF0000);
    g->refreshNow();
    EXPECT_LE(g->axisY()->min(), 130.0);
    EXPECT_GE(g->axisY()->max(), 870.0);
    EXPECT_LT(g->axisY()->max() - g->axisY()->min(), 2000.0);
    EXPECT_DOUBLE_EQ(g->axisX()->min(), 1.0);  // x stays manual
}

TEST(XYGraphChart, SeriesFollowTheModelWithStylesAndCursors) {
    auto w = Make("GraphWidget");
    w->show();
    auto* g = static_cast<XYGraph*>(GraphFromWidget(w.get()));
    GraphSetAxisScaling(w.get(), XAXIS, VAL_MANUAL, 0, 256);
    GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 1, 1024);
    std::vector<double> x(256);
    std::vector<uint16_t> video(256), ref(256, 300);
    for (int i = 0; i < 256; ++i) {
        x[i] = i;
        video[i] = static_cast<uint16_t>(i * 3);
    }
    GraphPlotXY(w.get(), x.data(), video.data(), 256, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE, VAL_SOLID,
                0xFF0000);
    GraphPlotXY(w.get(), x.data(), ref.data(), 256, VAL_THIN_LINE, 0, VAL_DASH, 0x000000);
    GraphSetCursor(w.get(), 2, 100, 1.0);

    // the chart is brought in line lazily, after the refresh interval
    EXPECT_TRUE(GraphInspector::RefreshPending(*g));
    Pump(3 * kGraphRefreshMs);
    EXPECT_FALSE(GraphInspector::RefreshPending(*g));
    ASSERT_EQ(GraphInspector::VisibleCurveSeries(*g), 2);
    const GraphModel m = GraphModelOf(w.get());
    for (int i = 0; i < 2; ++i) {
        const auto pts = Points(GraphInspector::CurveSeries(*g, i));
        ASSERT_EQ(pts.size(), 256u);
        for (size_t j = 0; j < 256; ++j) {
            EXPECT_EQ(pts[j].x(), m.plots[i].x[j]);
            EXPECT_EQ(pts[j].y(), m.plots[i].y[j]);
        }
    }
    EXPECT_EQ(GraphInspector::CurveSeries(*g, 0)->pen().color(), QColor(0xFF, 0, 0));
    EXPECT_TRUE(GraphInspector::CurveSeries(*g, 0)->pointsVisible());
    EXPECT_EQ(GraphInspector::CurveSeries(*g, 0)->pen().style(), Qt::SolidLine);
    EXPECT_EQ(GraphInspector::CurveSeries(*g, 1)->pen().style(), Qt::DashLine);  // the reference line stands apart
    EXPECT_FALSE(GraphInspector::CurveSeries(*g, 1)->pointsVisible());

    // cursor 2 is a vertical line over the whole y range; cursors never set are not drawn
    const auto cur = Points(GraphInspector::CursorSeries(*g, 2));
    ASSERT_EQ(cur.size(), 2u);
    EXPECT_EQ(cur[0].x(), 100);
    EXPECT_EQ(cur[1].x(), 100);
    EXPECT_EQ(cur[0].y(), 1);
    EXPECT_EQ(cur[1].y(), 1024);
    EXPECT_TRUE(GraphInspector::CursorSeries(*g, 2)->isVisible());
    EXPECT_FALSE(GraphInspector::CursorSeries(*g, 1)->isVisible());
    EXPECT_NE(GraphInspector::CursorSeries(*g, 1)->pen().color(), GraphInspector::CursorSeries(*g, 2)->pen().color());
    EXPECT_NE(GraphInspector::CursorSeries(*g, 3)->pen().color(), GraphInspector::CursorSeries(*g, 2)->pen().color());

    // a curve removed from the model leaves the chart
    GraphDeletePlot(w.get(), VAL_DELETE_ALL);
    GraphPlotRectangle(w.get(), 10, 0, 20, 500, 0x00FF00, 0x00FF00);
    g->refreshNow();
    EXPECT_EQ(GraphInspector::VisibleCurveSeries(*g), 0);
    EXPECT_EQ(GraphInspector::VisibleRectangleSeries(*g), 1);
}

TEST(XYGraphChart, RedrawingReusesTheSeries) {
    auto w = Make("GraphWidget");
    auto* g = static_cast<XYGraph*>(GraphFromWidget(w.get()));
    const double x[3] = {1, 2, 3};
    const uint16_t y[3] = {4, 5, 6};
    qsizetype seriesAfterFirst = 0;
    for (int frame = 0; frame < 50; ++frame) {
        GraphDeletePlot(w.get(), VAL_DELETE_ALL);
        GraphPlotRectangle(w.get(), frame, 0.25, frame + 10, 1.0, 0xFF0000, 0xFF0000);
        GraphPlotRectangle(w.get(), 1, 0, 5, 0.35, 0x00FF00, 0x00FF00);
        GraphPlotXY(w.get(), x, y, 3, 0, 0, 0, 0);
        g->refreshNow();
        if (frame == 0) seriesAfterFirst = g->chart()->series().size();
    }
    EXPECT_EQ(g->chart()->series().size(), seriesAfterFirst);
    EXPECT_EQ(GraphInspector::VisibleRectangleSeries(*g), 2);
    EXPECT_EQ(GraphInspector::VisibleCurveSeries(*g), 1);
    EXPECT_EQ(GraphModelOf(w.get()).plots.size(), 3u);
    EXPECT_EQ(GraphModelOf(w.get()).plots[0].x1, 49);
}

TEST(StripChartModel, RollsTheWholeHistoryOntoItsTraces) {
    auto w = Make("StripChartWidget");
    ASSERT_EQ(GraphSetPointsPerScreen(w.get(), 101), 0);
    ASSERT_EQ(GraphSetContinuous(w.get(), true), 0);
    ASSERT_EQ(GraphSetTraces(w.get(), 6), 0);
    const int colors[6] = {0x008000, 0x008000, 0x000000, 0xFF0000, 0xFF0000, 0xFF0000};
    for (int t = 1; t <= 6; ++t) EXPECT_EQ(GraphSetTraceColor(w.get(), t, colors[t - 1]), 0);
    EXPECT_LT(GraphSetTraceColor(w.get(), 7, 0), 0);
    EXPECT_LT(GraphSetTraceColor(w.get(), 0, 0), 0);

    // value = 1000 * call + 10 * sample + trace
    auto history = [](int call) {
        std::vector<double> v(600);
        for (int k = 0; k < 100; ++k)
            for (int t = 0; t < 6; ++t) v[k * 6 + t] = 1000.0 * call + 10.0 * k + t;
        return v;
    };
    const auto first = history(1);
    EXPECT_EQ(GraphPlotStripChart(w.get(), first.data(), 600), 0);
    GraphModel m = GraphModelOf(w.get());
    ASSERT_EQ(m.traceData.size(), 6u);
    for (int t = 0; t < 6; ++t) {
        ASSERT_EQ(m.traceData[t].size(), 100u);
        EXPECT_EQ(m.traceData[t][0], 1000.0 + t);
        EXPECT_EQ(m.traceData[t][99], 1000.0 + 990 + t);
    }

    const auto second = history(2);
    EXPECT_EQ(GraphPlotStripChart(w.get(), second.data(), 600), 0);
    m = GraphModelOf(w.get());
    EXPECT_EQ(m.traces, 6);
    EXPECT_EQ(m.pointsPerScreen, 101);
    EXPECT_TRUE(m.continuous);
    EXPECT_EQ(m.traceColors, (std::vector<int>(colors, colors + 6)));
    EXPECT_EQ(m.plotCalls, 2);
    EXPECT_EQ(m.lastPlotted, second);
    for (int t = 0; t < 6; ++t) {
        // the newest sample of the previous call, then the 100 new ones, oldest first
        const auto& d = m.traceData[t];
        ASSERT_EQ(d.size(), 101u);
        EXPECT_EQ(d[0], 1000.0 + 990 + t);
        for (int k = 0; k < 100; ++k) ASSERT_EQ(d[k + 1], 2000.0 + 10 * k + t) << "trace " << t + 1;
    }

    // only whole samples: 601 values cannot be split over six traces
    std::vector<double> odd(601, 5.0);
    EXPECT_LT(GraphPlotStripChart(w.get(), odd.data(), 601), 0);
    EXPECT_LT(GraphPlotStripChart(w.get(), nullptr, 6), 0);
    EXPECT_LT(GraphPlotStripChart(w.get(), odd.data(), 0), 0);
    const GraphModel after = GraphModelOf(w.get());
    EXPECT_EQ(after.traceData, m.traceData);
    EXPECT_EQ(after.plotCalls, 2);

    // one more sample pushes the oldest off the left
    const double one[6] = {1, 2, 3, 4, 5, 6};
    GraphPlotStripChart(w.get(), one, 6);
    m = GraphModelOf(w.get());
    ASSERT_EQ(m.traceData[3].size(), 101u);
    EXPECT_EQ(m.traceData[3][0], 2003.0);
    EXPECT_EQ(m.traceData[3][100], 4.0);
    EXPECT_EQ(m.lastPlotted, (std::vector<double>(one, one + 6)));
}

TEST(StripChartModel, ScreenSizeTraceCountAndBlockMode) {
    auto w = Make("StripChartWidget");
    GraphSetTraces(w.get(), 2);
    GraphSetPointsPerScreen(w.get(), 10);
    GraphSetContinuous(w.get(), true);
    std::vector<double> v;
    for (int k = 0; k < 8; ++k) {
        v.push_back(k);
        v.push_back(-k);
    }
    GraphPlotStripChart(w.get(), v.data(), static_cast<int>(v.size()));
    // a smaller screen keeps the newest points
    EXPECT_EQ(GraphSetPointsPerScreen(w.get(), 3), 0);
    GraphModel m = GraphModelOf(w.get());
    EXPECT_EQ(m.traceData[0], (std::vector<double>{5, 6, 7}));
    EXPECT_EQ(m.traceData[1], (std::vector<double>{-5, -6, -7}));
    EXPECT_LT(GraphSetPointsPerScreen(w.get(), 0), 0);
    EXPECT_LT(GraphSetTraces(w.get(), 0), 0);
    EXPECT_LT(GraphSetTraces(w.get(), 65), 0);

    // the same trace count keeps the history, another count starts a new screen
    EXPECT_EQ(GraphSetTraces(w.get(), 2), 0);
    EXPECT_EQ(GraphModelOf(w.get()).traceData[0].size(), 3u);
    EXPECT_EQ(GraphSetTraces(w.get(), 3), 0);
    m = GraphModelOf(w.get());
    ASSERT_EQ(m.traceData.size(), 3u);
    for (const auto& d : m.traceData) EXPECT_TRUE(d.empty());
    EXPECT_EQ(m.traceColors.size(), 3u);

    // without continuous scrolling a full screen is cleared and filled again from the left
    GraphSetTraces(w.get(), 1);
    GraphSetContinuous(w.get(), false);
    const double five[5] = {1, 2, 3, 4, 5};
    GraphPlotStripChart(w.get(), five, 5);
    EXPECT_EQ(GraphModelOf(w.get()).traceData[0], (std::vector<double>{4, 5}));
}

TEST(StripChartChart, LazyRefreshReachesTheSeriesEvenUnderConstantDrawing) {
    auto w = Make("StripChartWidget");
    w->show();
    auto* g = static_cast<StripChart*>(GraphFromWidget(w.get()));
    GraphSetPointsPerScreen(w.get(), 101);
    GraphSetContinuous(w.get(), true);
    GraphSetTraces(w.get(), 6);
    GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 0, 1024);
    std::vector<double> v(600);
    for (int i = 0; i < 600; ++i) v[i] = i;
    GraphPlotStripChart(w.get(), v.data(), 600);
    Pump(3 * kGraphRefreshMs);
    ASSERT_EQ(GraphInspector::VisibleTraceSeries(*g), 6);
    GraphModel m = GraphModelOf(w.get());
    for (int t = 0; t < 6; ++t) {
        const auto pts = Points(GraphInspector::TraceSeries(*g, t));
        ASSERT_EQ(pts.size(), m.traceData[t].size());
        for (size_t j = 0; j < pts.size(); ++j) {
            EXPECT_EQ(pts[j].y(), m.traceData[t][j]);
            EXPECT_EQ(pts[j].x(), static_cast<double>(j));
        }
    }
    EXPECT_DOUBLE_EQ(g->axisY()->max(), 1024.0);
    EXPECT_DOUBLE_EQ(g->axisX()->max(), 100.0);

    // the program draws far faster than the refresh; the chart must still move on meanwhile
    double seen = -1;
    std::vector<double> shown;  // each new state of the chart met during the loop
    QElapsedTimer clock;
    clock.start();
    int frame = 0;
    while (clock.elapsed() < 12 * kGraphRefreshMs) {
        ++frame;
        for (int i = 0; i < 600; ++i) v[i] = 5000 + frame;
        GraphPlotStripChart(w.get(), v.data(), 600);
        QCoreApplication::processEvents();
        const double now = Points(GraphInspector::TraceSeries(*g, 0)).back().y();
        seen = std::max(seen, now);
        if (shown.empty() || shown.back() != now) shown.push_back(now);
    }
    // ... but not at the pace of the drawing: at most one refresh per interval
    EXPECT_LE(static_cast<long>(shown.size()), clock.elapsed() / kGraphRefreshMs + 3);
    EXPECT_GT(frame, 2);
    EXPECT_GE(seen, 5001.0);  // some frame of the loop reached the chart before the loop ended
}

TEST(GraphGrab, DrawnCurvesAreVisibleInAGrabTakenAtOnce) {
    auto w = Make("GraphWidget");
    GraphSetAxisScaling(w.get(), XAXIS, VAL_MANUAL, 0, 255);
    GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 0, 4000);
    std::vector<double> x(256);
    std::vector<uint16_t> y(256);
    for (int i = 0; i < 256; ++i) {
        x[i] = i;
        y[i] = static_cast<uint16_t>(2000 + (i % 50) * 8);
    }
    GraphPlotXY(w.get(), x.data(), y.data(), 256, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE, VAL_SOLID, 0xFF0000);
    const QImage img = w->grab().toImage();  // no event processing in between
    ASSERT_FALSE(img.isNull());
    EXPECT_GT(img.width(), 100);
    EXPECT_TRUE(HasColour(img, 0xFF0000));
    // the axis got room for its numbers in that same grab (no numbers cut to "4...")
    GraphBase* g = GraphFromWidget(w.get());
    const int labelWidth = QFontMetrics(g->axisY()->labelsFont()).horizontalAdvance(QStringLiteral("4000"));
    // (the plot area starts right of the numbers and the tick marks)
    EXPECT_GT(g->chart()->plotArea().left(), labelWidth + 5);

    auto s = Make("StripChartWidget");
    GraphSetTraces(s.get(), 2);
    GraphSetTraceColor(s.get(), 1, 0x0000FF);
    GraphSetTraceColor(s.get(), 2, 0xFF0000);
    GraphSetAxisScaling(s.get(), YAXIS, VAL_MANUAL, 0, 100);
    std::vector<double> v;
    for (int k = 0; k < 50; ++k) {
        v.push_back(20);
        v.push_back(70);
    }
    GraphPlotStripChart(s.get(), v.data(), 100);
    const QImage simg = s->grab().toImage();
    EXPECT_TRUE(HasColour(simg, 0xFF0000));
    EXPECT_TRUE(HasColour(simg, 0x0000FF));
}

// What moved between two frames is drawn where it is now and gone from where it was, over the
// kept grid and axes; a trace hidden while it lay on another of its colour shows again once it
// leaves it.
TEST(GraphGrab, MovedBarsCursorsAndTracesAreDrawnWhereTheyAreNow) {
    auto w = Make("GraphWidget");
    w->show();
    GraphSetAxisScaling(w.get(), XAXIS, VAL_MANUAL, 0, 100);
    GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 0, 1);
    auto* g = GraphFromWidget(w.get());
    // the colour in the grabbed column at x (axis units), mid-height of the plot
    auto colourAt = [&](const QImage& img, double x) { return ColourOf(img, g, x, 0.6); };
    auto frame = [&](double barFrom, double cursor) {
        GraphDeletePlot(w.get(), VAL_DELETE_ALL);
        GraphPlotRectangle(w.get(), barFrom, 0.25, barFrom + 10, 1.0, 0xFF0000, 0xFF0000);
        GraphPlotRectangle(w.get(), 85, 0.0, 95, 0.35, 0x00FF00, 0x00FF00);  // stays put
        GraphSetCursor(w.get(), 1, cursor, 0.75);
        Pump(3 * kGraphRefreshMs);
        return w->grab().toImage();
    };
    QImage img = frame(10, 40);
    EXPECT_EQ(colourAt(img, 40), 0x0000C0u);
    img = frame(60, 30);
    EXPECT_EQ(colourAt(img, 65), 0xFF0000u);
    EXPECT_NE(colourAt(img, 15), 0xFF0000u);
    EXPECT_EQ(colourAt(img, 30), 0x0000C0u);
    EXPECT_NE(colourAt(img, 40), 0x0000C0u);

    auto s = Make("StripChartWidget");
    s->show();
    auto* strip = static_cast<StripChart*>(GraphFromWidget(s.get()));
    GraphSetPointsPerScreen(s.get(), 11);
    GraphSetContinuous(s.get(), true);
    GraphSetTraces(s.get(), 3);
    for (int t = 1; t <= 3; ++t) GraphSetTraceColor(s.get(), t, t == 1 ? 0x0000FF : 0xFF0000);
    std::vector<double> v;
    for (int k = 0; k < 11; ++k) v.insert(v.end(), {10, 50, 50});
    GraphPlotStripChart(s.get(), v.data(), int(v.size()));
    Pump(3 * kGraphRefreshMs);
    EXPECT_EQ(GraphInspector::VisibleTraceSeries(*strip), 2);  // trace 3 lies on trace 2
    for (int k = 0; k < 11; ++k) v[size_t(k) * 3 + 2] = 80;
    GraphPlotStripChart(s.get(), v.data(), int(v.size()));
    Pump(3 * kGraphRefreshMs);
    ASSERT_EQ(GraphInspector::VisibleTraceSeries(*strip), 3);
    const auto pts = Points(GraphInspector::TraceSeries(*strip, 2));
    ASSERT_EQ(pts.size(), 11u);
    for (const QPointF& p : pts) EXPECT_EQ(p.y(), 80);
}

// A frame's repaint covers the plot area only, and shows there what a repaint of the whole graph
// shows: the ground, the grid, the axes' lines, the bars, curves, cursors and traces in their order.
TEST(GraphGrab, ARepaintOfThePlotAreaShowsWhatAWholeRepaintShows) {
    auto same = [](GraphBase* g) {
        QWidget* view = g->chartView()->viewport();
        const QImage whole = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect area = g->chart()->plotArea().toAlignedRect().adjusted(-1, -1, 1, 1);
        QImage part(whole.size(), QImage::Format_RGB32);
        part.fill(0xFF00FF);
        view->render(&part, area.topLeft(), QRegion(area));  // drawn where it stands
        int differ = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) differ += whole.pixel(x, y) != part.pixel(x, y);
        return differ;
    };
    auto w = Make("GraphWidget");
    w->show();
    GraphSetAxisScaling(w.get(), XAXIS, VAL_MANUAL, 0, 100);
    GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 0, 1);
    GraphPlotRectangle(w.get(), 20, 0, 40, 0.5, 0x00FF00, 0x00FF00);  // standing on the bottom axis
    GraphPlotRectangle(w.get(), 30, 0.25, 70, 1.0, 0xFF0000, 0xFF0000);
    const double x[4] = {0, 30, 60, 100};
    const uint16_t y[4] = {0, 1, 0, 1};
    GraphPlotXY(w.get(), x, y, 4, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE, VAL_SOLID, 0x0000FF);
    GraphSetCursor(w.get(), 1, 35, 0.5);
    GraphSetCursor(w.get(), 2, 0, 0.5);  // on the left axis
    Pump(3 * kGraphRefreshMs);
    EXPECT_EQ(same(GraphFromWidget(w.get())), 0);

    auto s = Make("StripChartWidget");
    s->show();
    GraphSetPointsPerScreen(s.get(), 20);
    GraphSetTraces(s.get(), 2);
    GraphSetTraceColor(s.get(), 1, 0x0000FF);
    GraphSetTraceColor(s.get(), 2, 0xFF0000);
    std::vector<double> v;
    for (int k = 0; k < 20; ++k) v.insert(v.end(), {double(k % 5), double(4 - k % 5)});
    GraphPlotStripChart(s.get(), v.data(), int(v.size()));
    Pump(3 * kGraphRefreshMs);
    EXPECT_EQ(same(GraphFromWidget(s.get())), 0);
}

// What lies far beyond the axes is cut at the plot area, not lost or drawn elsewhere: a bar that
// reaches far past both ends fills the area, and a point that is not a number breaks a curve into
// the parts before and after it.
TEST(GraphGrab, PlotsFarBeyondTheAxesAreCutAtThePlotArea) {
    auto w = Make("GraphWidget");
    w->show();
    GraphSetAxisScaling(w.get(), XAXIS, VAL_MANUAL, 0, 100);
    GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, 0, 1);
    auto* g = GraphFromWidget(w.get());
    GraphPlotRectangle(w.get(), -1e12, 0.5, 1e12, 1e12, 0xFF0000, 0xFF0000);
    Pump(3 * kGraphRefreshMs);
    QImage img = w->grab().toImage();
    for (double x : {2.0, 50.0, 98.0}) EXPECT_EQ(ColourOf(img, g, x, 0.75), 0xFF0000u) << x;
    EXPECT_NE(ColourOf(img, g, 50, 0.25), 0xFF0000u);

    GraphDeletePlot(w.get(), VAL_DELETE_ALL);
    const double x[5] = {0, 40, 50, 60, 100};
    const uint16_t y[5] = {0, 0, 0, 0, 0};
    std::vector<double> xs(x, x + 5);
    xs[2] = std::nan("");
    GraphSetAxisScaling(w.get(), YAXIS, VAL_MANUAL, -1, 1);
    GraphPlotXY(w.get(), xs.data(), y, 5, VAL_THIN_LINE, VAL_SMALL_SOLID_SQUARE, VAL_SOLID, 0x0000FF);
    Pump(3 * kGraphRefreshMs);
    img = w->grab().toImage();
    auto onLine = [&](double at) {
        const QPoint p = PixelOf(g, at, 0);
        for (int dy = -1; dy <= 1; ++dy)
            if ((QColor(img.pixel(p.x(), p.y() + dy)).rgb() & 0xFFFFFF) == 0x0000FFu) return true;
        return false;
    };
    EXPECT_TRUE(onLine(20));
    EXPECT_TRUE(onLine(80));
    EXPECT_FALSE(onLine(50));  // no segment through the point that is not a number
}

// A line drawn without the points inside its straight rows and columns is the same line: through
// flat stretches, columns (jumps at one x), steps, turns back and fractional positions, every
// pixel of either drawing lies on the other or next to it (the painter may place the pixel at a
// corner one step aside).
TEST(GraphLine, PointsLeftOutOfStraightStretchesKeepTheLine) {
    EnsureApp();
    auto draw = [](const std::vector<QPointF>& line) {
        QImage img(420, 170, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setClipRect(QRectF(2, 3, 400, 160));
        p.setPen(QPen(QColor(0x008000), 0));
        p.drawPolyline(line.data(), int(line.size()));
        return img;
    };
    // the pixels of `a` that have no pixel of `b` on them or beside them
    auto strays = [](const QImage& a, const QImage& b) {
        int n = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                if (a.pixel(x, y) == 0xFFFFFFFFu) continue;
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy)
                    for (int dx = -1; dx <= 1 && !near; ++dx)
                        near = b.valid(x + dx, y + dy) && b.pixel(x + dx, y + dy) != 0xFFFFFFFFu;
                n += near ? 0 : 1;
            }
        return n;
    };
    std::srand(7);
    for (int round = 0; round < 40; ++round) {
        std::vector<QPointF> all, kept;
        double x = 3.25, y = 50;
        for (int i = 0; i < 120; ++i) {
            const int r = std::rand() % 10;
            if (r < 6) x += (round % 3 == 0 && i % 17 == 16 ? -1 : 1) * (0.5 + (std::rand() % 70) / 10.0);
            else if (r < 8) y = 5 + std::rand() % 150 + (std::rand() % 4) * 0.25;
            else x += 0.3;  // a step: the next point stands on another row
            all.emplace_back(x, y);
            AppendLinePoint(kept, all.back());
        }
        ASSERT_LT(kept.size(), all.size() * 3 / 4) << round;
        const QImage a = draw(all), k = draw(kept);
        EXPECT_EQ(strays(a, k), 0) << "round " << round;
        EXPECT_EQ(strays(k, a), 0) << "round " << round;
    }
}

TEST(GraphKinds, CallsOfTheOtherKindAreRefused) {
    auto xy = Make("GraphWidget");
    auto strip = Make("StripChartWidget");
    const double v[2] = {1, 2};
    const uint16_t y[2] = {1, 2};
    EXPECT_EQ(GraphPlotXY(strip.get(), v, y, 2, 0, 0, 0, 0), kGraphWrongKind);
    EXPECT_EQ(GraphSetCursor(strip.get(), 1, 1, 1), kGraphWrongKind);
    EXPECT_EQ(GraphPlotStripChart(xy.get(), v, 2), kGraphWrongKind);
    EXPECT_EQ(GraphSetTraces(xy.get(), 2), kGraphWrongKind);
    EXPECT_EQ(GraphPlotXY(nullptr, v, y, 2, 0, 0, 0, 0), kGraphNotAGraph);
    EXPECT_EQ(GraphSetAxisScaling(nullptr, XAXIS, VAL_MANUAL, 0, 1), kGraphNotAGraph);
    QWidget plain;
    EXPECT_EQ(GraphPlotStripChart(&plain, v, 2), kGraphNotAGraph);
    EXPECT_TRUE(GraphModelOf(strip.get()).plots.empty());
    EXPECT_EQ(GraphModelOf(xy.get()).plotCalls, 0);
}

// The panel/control functions reach the graphs that the resource loader built on the main panel.
TEST(GraphControls, DrawOnTheMainPanelsGraphsByControlId) {
    EnsureApp();
    const std::string uir =
        (QCoreApplication::applicationDirPath() + QStringLiteral("/KRYTA-LT-VizizE309.uir")).toStdString();
    const int panel = LoadPanel(0, uir, PANEL);
    ASSERT_GT(panel, 0) << uir;

    const double x[3] = {1, 2, 3};
    const uint16_t y[3] = {7, 8, 9};
    const int h = PlotXY(panel, PANEL_GRAPHVideo, x, y, 3, VAL_CONNECTED_POINTS, VAL_SMALL_SOLID_SQUARE, VAL_SOLID,
                         0xFF0000);
    EXPECT_GT(h, 0);
    EXPECT_GT(PlotRectangle(panel, PANEL_GRAPHVideoBar, 300, 0.25, 1000, 1.0, 0xFF0000, 0xFF0000), 0);
    EXPECT_EQ(SetGraphCursor(panel, PANEL_GRAPHVideoBar, 1, 512, 0.75), 0);
    EXPECT_EQ(SetAxisScalingMode(panel, PANEL_GRAPHVideo, XAXIS, VAL_MANUAL, 1.0, 1024.0), 0);
    double cx = 0, cy = 0;
    EXPECT_EQ(GetGraphCursor(panel, PANEL_GRAPHVideoBar, 1, cx, cy), 0);
    EXPECT_EQ(cx, 512);

    EXPECT_EQ(SetStripChartPointsPerScreen(panel, PANEL_GRAPHRaw, 101), 0);
    EXPECT_EQ(SetStripChartContinuous(panel, PANEL_GRAPHRaw, true), 0);
    EXPECT_EQ(SetStripChartTraces(panel, PANEL_GRAPHRaw, 2), 0);
    EXPECT_EQ(SetTraceColor(panel, PANEL_GRAPHRaw, 2, 0x000000), 0);
    const double v[4] = {10, 20, 11, 21};
    EXPECT_EQ(PlotStripChart(panel, PANEL_GRAPHRaw, v, 4), 0);

    const GraphModel video = TestGraphModel(panel, PANEL_GRAPHVideo);
    ASSERT_EQ(video.plots.size(), 1u);
    EXPECT_EQ(video.plots[0].handle, h);
    EXPECT_EQ(video.plots[0].y, (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(video.xAxis.max, 1024.0);
    const GraphModel bar = TestGraphModel(panel, PANEL_GRAPHVideoBar);
    ASSERT_EQ(bar.plots.size(), 1u);
    EXPECT_TRUE(bar.plots[0].rectangle);
    EXPECT_EQ(bar.cursorY[0], 0.75);
    const GraphModel roll = TestGraphModel(panel, PANEL_GRAPHRaw);
    EXPECT_EQ(roll.traceData, (std::vector<std::vector<double>>{{10, 11}, {20, 21}}));
    EXPECT_EQ(roll.traceColors.at(1), 0x000000);

    // not a graph, or a graph of the other kind
    EXPECT_LT(PlotXY(panel, PANEL_BTNRun, x, y, 3, 0, 0, 0, 0), 0);
    EXPECT_LT(PlotStripChart(panel, PANEL_GRAPHVideo, v, 4), 0);
    EXPECT_LT(DeleteGraphPlot(panel, PANEL_GRAPHRaw, VAL_DELETE_ALL), 0);
    EXPECT_EQ(DeleteGraphPlot(panel, PANEL_GRAPHVideo, VAL_DELETE_ALL), 0);
    EXPECT_TRUE(TestGraphModel(panel, PANEL_GRAPHVideo).plots.empty());
    DiscardPanel(panel);
}
