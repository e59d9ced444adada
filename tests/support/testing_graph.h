// Test interface of the graph widgets (platform/graph.h): the model of what a graph draws and the
// chart series that show it. Part of the test-only library kryta_testing.
#pragma once

#include <QWidget>

#include "platform/graph.h"
#include "support/testing.h"

namespace kryta {

// The model of the graph behind the widget (the widget itself or a graph inside it); an empty
// model when there is none.
GraphModel GraphModelOf(QWidget* graph);
// Brings the chart of a graph in line with its model now (normally the refresh timer does).
void GraphRefreshNow(QWidget* graph);
// A cursor (1 to 3) of an x/y graph.
int GraphGetCursor(QWidget* graph, int cursor, double& x, double& y);

struct GraphInspector {
    static GraphModel Model(const GraphBase& g);
    // The model changed since the chart was last brought in line with it.
    static bool RefreshPending(const GraphBase& g) { return g.dirty_; }
    // Series in use for curves, rectangles and traces after the last refresh.
    static int VisibleCurveSeries(const XYGraph& g);
    static int VisibleRectangleSeries(const XYGraph& g);
    static int VisibleTraceSeries(const StripChart& g);
    static const PlotItem* CurveSeries(const XYGraph& g, int i) { return g.curves_.at(size_t(i)); }
    static const PlotItem* CursorSeries(const XYGraph& g, int cursor) { return g.cursorSeries_.at(size_t(cursor - 1)); }
    static const PlotItem* TraceSeries(const StripChart& g, int i) { return g.series_.at(size_t(i)); }
};

}  // namespace kryta
