// Test interface of the graph widgets: reads the model a graph keeps and the series of its chart;
// counts the sample blocks each strip chart takes, through the strip-chart observer.

#include "support/testing_graph.h"

#include <algorithm>
#include <map>

namespace kryta {

namespace {

// The last block and the number of blocks that each strip chart took, while it exists.
struct Taken {
    std::vector<double> last;
    long calls = 0;
};

std::map<const QWidget*, Taken>& TakenBy() {
    static std::map<const QWidget*, Taken> taken;
    return taken;
}

void OnStripChart(QWidget* chart, const double* values, int n) {
    auto [it, fresh] = TakenBy().try_emplace(chart);
    if (fresh) QObject::connect(chart, &QObject::destroyed, [chart] { TakenBy().erase(chart); });
    it->second.last.assign(values, values + n);
    ++it->second.calls;
}

const bool g_watching = [] {
    SetStripChartObserver(OnStripChart);
    return true;
}();

template <class Series>
int Visible(const std::vector<Series*>& series) {
    return int(std::count_if(series.begin(), series.end(), [](const Series* s) { return s->isVisible(); }));
}

}  // namespace

GraphModel GraphInspector::Model(const GraphBase& g) {
    GraphModel m;
    m.xAxis = g.xAxis_;
    m.yAxis = g.yAxis_;
    if (auto* xy = qobject_cast<const XYGraph*>(&g)) {
        m.plots.assign(xy->plots_.begin(), xy->plots_.begin() + long(xy->used_));
        for (size_t k = 0; k < 3; ++k) {
            m.cursorX[k] = xy->cursorX_[k];
            m.cursorY[k] = xy->cursorY_[k];
        }
    }
    if (auto* strip = qobject_cast<const StripChart*>(&g)) {
        m.traces = strip->traces_;
        m.pointsPerScreen = strip->pointsPerScreen_;
        m.continuous = strip->continuous_;
        m.traceColors = strip->colors_;
        m.traceData = strip->data_;
        if (auto it = TakenBy().find(strip); it != TakenBy().end()) {
            m.lastPlotted = it->second.last;
            m.plotCalls = it->second.calls;
        }
    }
    return m;
}

int GraphInspector::VisibleCurveSeries(const XYGraph& g) { return Visible(g.curves_); }
int GraphInspector::VisibleRectangleSeries(const XYGraph& g) { return Visible(g.rects_); }
int GraphInspector::VisibleTraceSeries(const StripChart& g) { return Visible(g.series_); }

GraphModel GraphModelOf(QWidget* graph) {
    GraphBase* g = GraphFromWidget(graph);
    return g ? GraphInspector::Model(*g) : GraphModel{};
}

void GraphRefreshNow(QWidget* graph) {
    if (GraphBase* g = GraphFromWidget(graph)) g->refreshNow();
}

int GraphGetCursor(QWidget* graph, int cursor, double& x, double& y) {
    GraphBase* g = GraphFromWidget(graph);
    if (!g) return kGraphNotAGraph;
    auto* xy = qobject_cast<XYGraph*>(g);
    if (!xy) return kGraphWrongKind;
    if (cursor < 1 || cursor > 3) return kGraphBadArgument;
    const GraphModel m = GraphInspector::Model(*xy);
    x = m.cursorX[cursor - 1];
    y = m.cursorY[cursor - 1];
    return 0;
}

}  // namespace kryta
