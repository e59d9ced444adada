// What a graph draws: its plots (curves and filled rectangles) and how each axis is scaled. The
// graph widgets (platform/graph.h) keep these and draw them.
#pragma once

#include <vector>

struct PlotModel {
    int handle = 0;
    bool rectangle = false;
    std::vector<double> x, y;         // curves
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // rectangles
    int color = 0, fillColor = 0;
    int plotStyle = 0, pointStyle = 0, lineStyle = 0;
};

struct AxisModel {
    int mode = 1;  // VAL_MANUAL or VAL_AUTOSCALE
    double min = 0, max = 0;
};
