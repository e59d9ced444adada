// The graph functions of the user interface: find the control's widget, draw on its graph.

#include "platform/graph.h"
#include "platform/internal.h"
#include "platform/userint.h"

int PlotXY(int panel, int control, const double* x, const uint16_t* y, int n, int plotStyle, int pointStyle,
           int lineStyle, int color) {
    return kryta::GraphPlotXY(kryta::ControlWidget(panel, control), x, y, n, plotStyle, pointStyle, lineStyle,
                              color);
}

int PlotRectangle(int panel, int control, double x1, double y1, double x2, double y2, int frameColor,
                  int fillColor) {
    return kryta::GraphPlotRectangle(kryta::ControlWidget(panel, control), x1, y1, x2, y2, frameColor,
                                     fillColor);
}

int DeleteGraphPlot(int panel, int control, int plotHandle) {
    return kryta::GraphDeletePlot(kryta::ControlWidget(panel, control), plotHandle);
}

int SetGraphCursor(int panel, int control, int cursor, double x, double y) {
    return kryta::GraphSetCursor(kryta::ControlWidget(panel, control), cursor, x, y);
}

int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max) {
    return kryta::GraphSetAxisScaling(kryta::ControlWidget(panel, control), axis, mode, min, max);
}

int SetStripChartTraces(int panel, int control, int traces) {
    return kryta::GraphSetTraces(kryta::ControlWidget(panel, control), traces);
}

int SetStripChartPointsPerScreen(int panel, int control, int points) {
    return kryta::GraphSetPointsPerScreen(kryta::ControlWidget(panel, control), points);
}

int SetStripChartContinuous(int panel, int control, bool continuous) {
    return kryta::GraphSetContinuous(kryta::ControlWidget(panel, control), continuous);
}

int SetTraceColor(int panel, int control, int trace, int color) {
    return kryta::GraphSetTraceColor(kryta::ControlWidget(panel, control), trace, color);
}

int PlotStripChart(int panel, int control, const double* values, int n) {
    return kryta::GraphPlotStripChart(kryta::ControlWidget(panel, control), values, n);
}
