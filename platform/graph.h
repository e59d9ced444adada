// Graph widgets of the run-time layer: the x/y graph (curves, filled rectangles, three
// vertical cursors) and the strip chart (rolling traces).
//
// Each widget keeps a model of what is drawn (platform/graphmodel.h). Every drawing call updates
// that model at once and cheaply; the chart (Qt Charts: axes, their numbers, the layout) and the
// plot items beside it are brought in line with it lazily, at most about every 33 ms (right after
// the drawing calls when the last time is that long ago), and at once before the widget is
// painted or grabbed.
// The program may draw after every measurement frame, far more often than a screen refreshes.
#pragma once

#include <QElapsedTimer>
#include <QGraphicsItem>
#include <QList>
#include <QPen>
#include <QPointF>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/graphmodel.h"

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QValueAxis;
QT_END_NAMESPACE

namespace kryta {

// Reads what a graph holds and shows from outside the widget (the test library defines it).
struct GraphInspector;

// Results of the graph functions besides 0 / a plot handle.
constexpr int kGraphNotAGraph = -1;     // no graph widget behind the control
constexpr int kGraphBadArgument = -2;   // a count, pointer, cursor, trace, handle or range is invalid
constexpr int kGraphWrongKind = -3;     // a strip-chart call on an x/y graph or the other way round

// How long the chart may lag behind the model.
constexpr int kGraphRefreshMs = 33;

// Appends a point to a one-pixel line in pixels. A point that would stand inside a straight row or
// column of the line (between two on the same row, or the same column, in order) is left out: the
// line covers the same pixels, drawn as one stretch instead of many short ones (a flat trace of a
// roll chart, a tolerance line).
void AppendLinePoint(std::vector<QPointF>& line, QPointF p);

// What a graph draws of one plot, trace or cursor: a one-pixel line through points (with dots
// at them, if asked), or a filled rectangle with a frame, in axis units. It stands beside the chart
// in the chart's scene and maps its points into the plot area when it is painted, so that a plot
// that changes costs a repaint of the pixels it leaves and takes, and nothing else (no outline of
// the line, no work for the chart's axes and numbers).
class PlotItem : public QGraphicsItem {
public:
    PlotItem(QChart* chart, QValueAxis* x, QValueAxis* y, qreal z);

    const QList<QPointF>& points() const { return points_; }
    const QPen& pen() const { return pen_; }
    bool pointsVisible() const { return dots_; }
    bool isRectangle() const { return rectangle_; }
    const QRectF& rectangle() const { return rect_; }
    const QBrush& brush() const { return brush_; }

    void setPoints(const QList<QPointF>& points);
    void setRectangle(const QRectF& valueRect);
    void setPen(const QPen& pen);
    void setBrush(const QBrush& brush);
    void setPointsVisible(bool dots);
    // The plot area or an axis range changed.
    void relayout();

    QRectF boundingRect() const override { return area_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    // Axis units to pixels in the plot area.
    struct Scale {
        double left, xmin, xs, bottom, ymin, ys;
        QPointF operator()(double x, double y) const { return QPointF(left + (x - xmin) * xs, bottom - (y - ymin) * ys); }
    };
    // None while the plot area is empty or an axis has no range.
    std::optional<Scale> scale() const;
    // The pixels that what is drawn now can touch, within the plot area.
    QRectF drawnRect() const;
    // Repaints these pixels (scene coordinates) in the views now.
    void repaint(const QRectF& pixels);
    void changed(const QRectF& before);

    QChart* chart_;
    QValueAxis* x_;
    QValueAxis* y_;
    QRectF area_;
    QList<QPointF> points_;
    bool rectangle_ = false;
    QRectF rect_;
    QPen pen_;
    QBrush brush_;
    bool dots_ = false;
    std::vector<QPointF> pixels_;  // reused by every paint
};

// Common part: the chart view, the two value axes, the model's axis settings and the lazy refresh.
class GraphBase : public QWidget {
    Q_OBJECT
    friend struct GraphInspector;
    // Axis settings from the resource file: setting a limit switches the axis to a fixed range.
    Q_PROPERTY(double xMinimum READ xMinimum WRITE setXMinimum)
    Q_PROPERTY(double xMaximum READ xMaximum WRITE setXMaximum)
    Q_PROPERTY(double yMinimum READ yMinimum WRITE setYMinimum)
    Q_PROPERTY(double yMaximum READ yMaximum WRITE setYMaximum)
    Q_PROPERTY(QString xTitle READ xTitle WRITE setXTitle)
    Q_PROPERTY(QString yTitle READ yTitle WRITE setYTitle)

public:
    explicit GraphBase(QWidget* parent);
    ~GraphBase() override;

    virtual bool isStripChart() const = 0;

    int setAxisScaling(int axis, int mode, double min, double max);

    // Brings the chart in line with the model now (normally done by the refresh timer).
    void refreshNow();

    QChart* chart() const { return chart_; }
    QChartView* chartView() const { return view_; }
    QValueAxis* axisX() const { return axisX_; }
    QValueAxis* axisY() const { return axisY_; }

    double xMinimum() const { return xAxis_.min; }
    double xMaximum() const { return xAxis_.max; }
    double yMinimum() const { return yAxis_.min; }
    double yMaximum() const { return yAxis_.max; }
    void setXMinimum(double v);
    void setXMaximum(double v);
    void setYMinimum(double v);
    void setYMaximum(double v);
    QString xTitle() const;
    QString yTitle() const;
    void setXTitle(const QString& t);
    void setYTitle(const QString& t);

protected:
    void markDirty();
    virtual void sync() = 0;
    // Sets one axis to the fixed range or, when autoscaling, to the data range lo..hi
    // (hasData false: nothing to scale over) rounded out to nice numbers.
    void applyAxis(QValueAxis* axis, const AxisModel& m, double lo, double hi, bool hasData);

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

    // A plot, trace or cursor item in the chart's scene (which owns it), drawn above the axes;
    // items of one height are drawn in the order they were made.
    PlotItem* newItem(qreal z);

    AxisModel xAxis_, yAxis_;

private:
    QChartView* view_ = nullptr;
    QChart* chart_ = nullptr;
    QValueAxis* axisX_ = nullptr;
    QValueAxis* axisY_ = nullptr;
    std::vector<PlotItem*> items_;
    QTimer timer_;
    QElapsedTimer sinceRefresh_;
    bool refreshQueued_ = false;
    bool dirty_ = false;
};

// "GraphWidget": curves, filled rectangles and cursors 1 to 3.
class XYGraph : public GraphBase {
    Q_OBJECT
    friend struct GraphInspector;

public:
    explicit XYGraph(QWidget* parent);

    bool isStripChart() const override { return false; }

    int plotXY(const double* x, const uint16_t* y, int n, int plotStyle, int pointStyle, int lineStyle,
               int color);
    int plotRectangle(double x1, double y1, double x2, double y2, int frameColor, int fillColor);
    int deletePlot(int handle);
    int setCursor(int cursor, double x, double y);

protected:
    void sync() override;

private:
    int nextHandle();
    PlotModel& newPlot();

    // Plot records are kept and reused: plots_[0 .. used_) are drawn, the rest hold memory for
    // the next plots, so that the steady state of delete-all and replot allocates nothing.
    std::vector<PlotModel> plots_;
    size_t used_ = 0;
    int lastHandle_ = 0;
    std::array<double, 3> cursorX_{}, cursorY_{};
    std::array<bool, 3> cursorSet_{};

    std::vector<PlotItem*> curves_;
    std::vector<PlotItem*> rects_;
    std::array<PlotItem*, 3> cursorSeries_{};
};

// "StripChartWidget": traces rolling through a fixed number of points per screen.
class StripChart : public GraphBase {
    Q_OBJECT
    friend struct GraphInspector;

public:
    explicit StripChart(QWidget* parent);

    bool isStripChart() const override { return true; }

    int setTraces(int traces);
    int setPointsPerScreen(int points);
    int setContinuous(bool continuous);
    int setTraceColor(int trace, int color);
    int plot(const double* values, int n);

protected:
    void sync() override;

private:
    bool coversEarlierTrace(size_t t) const;

    int traces_ = 1;
    int pointsPerScreen_ = 100;
    bool continuous_ = false;
    std::vector<int> colors_;
    std::vector<std::vector<double>> data_;  // on screen, oldest first, per trace

    std::vector<PlotItem*> series_;
};

// The graph behind a control's widget (the widget itself or a graph inside it); nullptr if none.
GraphBase* GraphFromWidget(QWidget* w);

// The graph operations on a widget; the panel/control functions of platform/userint.h find the
// control's widget and call these.
int GraphPlotXY(QWidget* graph, const double* x, const uint16_t* y, int n, int plotStyle, int pointStyle,
                int lineStyle, int color);
int GraphPlotRectangle(QWidget* graph, double x1, double y1, double x2, double y2, int frameColor,
                       int fillColor);
int GraphDeletePlot(QWidget* graph, int plotHandle);
int GraphSetCursor(QWidget* graph, int cursor, double x, double y);
int GraphSetAxisScaling(QWidget* graph, int axis, int mode, double min, double max);
int GraphSetTraces(QWidget* graph, int traces);
int GraphSetPointsPerScreen(QWidget* graph, int points);
int GraphSetContinuous(QWidget* graph, bool continuous);
int GraphSetTraceColor(QWidget* graph, int trace, int color);
int GraphPlotStripChart(QWidget* graph, const double* values, int n);

// Called with every sample block that a strip chart takes (after it took it); nullptr: none.
using StripChartObserverPtr = void (*)(QWidget* chart, const double* values, int n);
void SetStripChartObserver(StripChartObserverPtr fn);

}  // namespace kryta
