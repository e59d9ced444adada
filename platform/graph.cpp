// Graph widgets: models of what is drawn, shown on Qt Charts' axes by plot items of their own.

#include "platform/graph.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QValueAxis>

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

#include "platform/internal.h"
#include "platform/userint.h"

namespace kryta {

namespace {

QColor Rgb(int rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// Every line of the graphs is one pixel wide. A pen of width 0 draws exactly that and lets the
// painter draw it directly, where a pen of width 1 is outlined as a shape first; a line item
// with such a pen also finds its bounds without that outline.
QPen Hairline(const QColor& c) { return QPen(c, 0); }

// Cursor 1 (measured position), 2 and 3 (ends of the evaluation window).
constexpr std::array<int, 3> kCursorColors = {0x0000C0, 0xD07000, 0x9000A0};
// Colours of traces that the program has not coloured yet.
constexpr std::array<int, 8> kTracePalette = {0xFF0000, 0x008000, 0x0000FF, 0x000000,
                                              0xC000C0, 0x008080, 0x808000, 0x808080};
constexpr int kMaxTraces = 64;
constexpr int kMaxPointsPerScreen = 100000;

StripChartObserverPtr g_stripChartObserver = nullptr;

// A tick step of 1, 2 or 5 times a power of ten giving about `intervals` steps over the span.
double NiceStep(double span, int intervals = 5) {
    if (!(span > 0) || !std::isfinite(span)) return 1.0;
    const double raw = span / std::max(1, intervals);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / mag;
    const double nf = f < 1.5 ? 1.0 : f < 3.0 ? 2.0 : f < 7.0 ? 5.0 : 10.0;
    return nf * mag;
}

void Widen(double v, double& lo, double& hi) {
    if (!std::isfinite(v)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
}

void StyleAxis(QValueAxis* axis) {
    QFont f = axis->labelsFont();
    f.setPointSizeF(7.5);
    axis->setLabelsFont(f);
    QFont tf = axis->titleFont();
    tf.setPointSizeF(8);
    axis->setTitleFont(tf);
    axis->setLabelsColor(QColor(0x20, 0x20, 0x20));
    // The axis' line and its tick marks are drawn by ChartView; the chart keeps them, unseen, so
    // that its numbers stand where they stood beside them.
    axis->setLinePen(QPen(Qt::transparent, 0));
    axis->setGridLineVisible(false);  // drawn by ChartView
    axis->setGridLinePen(Hairline(Qt::transparent));
    axis->setMinorGridLinePen(Hairline(Qt::transparent));
    axis->setMinorGridLineVisible(false);
    axis->setLabelFormat("%g");
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0.0);
    axis->setTickInterval(0.2);
    axis->setRange(0.0, 1.0);
}

// Tick values of an axis with dynamic ticks, as the axis places its numbers: anchor + k * interval
// within min .. max.
template <class F>
void ForEachTick(const QValueAxis* axis, F&& f) {
    const double lo = axis->min(), hi = axis->max(), step = axis->tickInterval();
    if (!(step > 0) || !(hi > lo) || (hi - lo) / step > 1000) return;
    const double eps = step * 1e-9;
    for (double v = axis->tickAnchor() + std::ceil((lo - axis->tickAnchor()) / step - 1e-9) * step; v <= hi + eps;
         v += step)
        f(v);
}

}  // namespace

// The view of a chart. The white ground, the plot area with its grid, the axes' lines and their
// tick marks are the view's background, drawn for what is exposed each time (filling the area and
// a few lines costs less than copying a kept picture of it); the chart itself draws only the
// axes' numbers and titles, and the plots and traces are items of their own. The view paints
// every pixel it exposes: its viewport is not filled first.
//
// A repaint that lies on the plot area (a plot, trace or cursor that changed) holds nothing of
// the chart's: the view draws the background and the plot items there itself, without walking
// the chart's many items (numbers, ticks, groups) for each frame.
class ChartView : public QChartView {
public:
    ChartView(QChart* chart, QValueAxis* x, QValueAxis* y, QWidget* parent)
        : QChartView(chart, parent), x_(x), y_(y) {
        setCacheMode(QGraphicsView::CacheNone);
        viewport()->setAutoFillBackground(false);
        viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
        auto changed = [this] { viewport()->update(); };
        connect(chart, &QChart::plotAreaChanged, this, changed);
        for (QValueAxis* a : {x, y}) {
            connect(a, &QValueAxis::rangeChanged, this, changed);
            connect(a, &QValueAxis::tickIntervalChanged, this, changed);
            connect(a, &QValueAxis::tickAnchorChanged, this, changed);
        }
    }

    // The plot items, in the order the scene paints them (by height, then as they came).
    void addPlot(PlotItem* item) {
        plots_.insert(std::upper_bound(plots_.begin(), plots_.end(), item,
                                       [](const PlotItem* a, const PlotItem* b) { return a->zValue() < b->zValue(); }),
                      item);
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        const QRectF exposed = mapToScene(e->region().boundingRect()).boundingRect();
        const QRectF onArea = chart()->mapRectToScene(chart()->plotArea()).adjusted(-kAreaMargin, -kAreaMargin,
                                                                                     kAreaMargin, kAreaMargin);
        if (!onArea.contains(exposed)) {
            QChartView::paintEvent(e);
            return;
        }
        QPainter p(viewport());
        p.setRenderHints(renderHints());
        p.setWorldTransform(viewportTransform());
        drawBackground(&p, exposed);
        for (PlotItem* item : plots_)
            if (item->isVisible() && item->boundingRect().intersects(exposed)) item->paint(&p, nullptr, viewport());
    }

    void drawBackground(QPainter* p, const QRectF& rect) override {
        const QRectF area = chart()->plotArea();
        if (area.isEmpty()) {
            p->fillRect(rect, Qt::white);
            return;
        }
        // the ground where the exposed part reaches beyond the plot area, then the area itself
        const QRectF inner = area & rect;
        if (!area.contains(rect)) p->fillRect(rect, Qt::white);
        TickPixels(area);
        if (!inner.isEmpty()) {
            p->fillRect(inner, QColor(0xFC, 0xFC, 0xFC));
            // grid lines at the ticks inside the plot area, filled in one colour
            for (const double px : ticksX_)
                if (px > area.left() + 0.5 && px < area.right() - 0.5)
                    AddLine(QPointF(px, area.top()), QPointF(px, area.bottom()), rect);
            for (const double py : ticksY_)
                if (py > area.top() + 0.5 && py < area.bottom() - 0.5)
                    AddLine(QPointF(area.left(), py), QPointF(area.right(), py), rect);
            FillLines(p, QColor(0xDC, 0xDC, 0xDC));
            // its border stands at its edges
            AddLine(area.topLeft(), area.topRight(), rect);
            AddLine(area.topRight(), area.bottomRight(), rect);
            FillLines(p, QColor(0x90, 0x90, 0x90));
        }
        drawAxes(p, area, rect);
    }

private:
    // Beyond this the chart's numbers begin (they stand beyond the tick marks).
    static constexpr qreal kAreaMargin = 2;
    static constexpr qreal kTickLength = 4;

    // Adds the part of a one-pixel line along an axis that can reach the exposed rectangle, as the
    // row or column of pixels it covers: filled, these cost a fraction of lines drawn (and cut to
    // the exposed part pixel by pixel).
    void AddLine(QPointF a, QPointF b, const QRectF& exposed) {
        const QRectF r = exposed.adjusted(-1, -1, 1, 1);
        const bool vertical = a.x() == b.x();
        const double at = vertical ? a.x() : a.y();
        const double lo = vertical ? r.top() : r.left(), hi = vertical ? r.bottom() : r.right();
        if (at < (vertical ? r.left() : r.top()) || at > (vertical ? r.right() : r.bottom())) return;
        double from = vertical ? a.y() : a.x(), to = vertical ? b.y() : b.x();
        if (std::max(from, to) < lo || std::min(from, to) > hi) return;
        const int pixel = int(std::floor(at));
        const int first = int(std::floor(std::clamp(std::min(from, to), lo, hi)));
        const int last = int(std::floor(std::clamp(std::max(from, to), lo, hi)));
        lines_.push_back(vertical ? QRect(pixel, first, 1, last - first + 1) : QRect(first, pixel, last - first + 1, 1));
    }

    void FillLines(QPainter* p, const QColor& colour) {
        for (const QRect& r : lines_) p->fillRect(r, colour);
        lines_.clear();
    }

    // Where the axes' ticks stand in the scene: columns along the x axis, rows along the y axis.
    void TickPixels(const QRectF& area) {
        ticksX_.clear();
        ticksY_.clear();
        const double xs = area.width() / (x_->max() - x_->min()), ys = area.height() / (y_->max() - y_->min());
        ForEachTick(x_, [&](double v) { ticksX_.push_back(area.left() + (v - x_->min()) * xs); });
        ForEachTick(y_, [&](double v) { ticksY_.push_back(area.bottom() - (v - y_->min()) * ys); });
    }

    // The axes' lines at the left and the bottom of the plot area, with tick marks outwards at the
    // ticks TickPixels found.
    void drawAxes(QPainter* p, const QRectF& area, const QRectF& exposed) {
        AddLine(area.bottomLeft(), area.topLeft(), exposed);
        AddLine(area.bottomLeft(), area.bottomRight(), exposed);
        for (const double px : ticksX_)
            AddLine(QPointF(px, area.bottom()), QPointF(px, area.bottom() + kTickLength), exposed);
        for (const double py : ticksY_)
            AddLine(QPointF(area.left() - kTickLength, py), QPointF(area.left(), py), exposed);
        FillLines(p, QColor(0x40, 0x40, 0x40));
    }

    std::vector<PlotItem*> plots_;
    QValueAxis* x_;
    QValueAxis* y_;
    std::vector<QRect> lines_;  // reused by every paint
    std::vector<double> ticksX_, ticksY_;
};

// ---- plot items ------------------------------------------------------------------------------

namespace {
// Above the axes' lines and ticks; the cursors above the plots.
constexpr qreal kPlotZ = 5;
constexpr qreal kCursorZ = 6;
// Dots at the points of a curve drawn with them.
constexpr qreal kDotSize = 2.5;
}  // namespace

PlotItem::PlotItem(QChart* chart, QValueAxis* x, QValueAxis* y, qreal z) : chart_(chart), x_(x), y_(y) {
    // Beside the chart in its scene, not inside it: an item that changes marks only itself for
    // repainting, and the scene does not walk the chart's many items (axes, numbers, ticks) for it.
    chart_->scene()->addItem(this);
    setZValue(z);
    setAcceptedMouseButtons(Qt::NoButton);
    setAcceptHoverEvents(false);
    pen_ = Hairline(Qt::black);
    area_ = chart_->mapRectToScene(chart_->plotArea());
}

std::optional<PlotItem::Scale> PlotItem::scale() const {
    const double xmin = x_->min(), xmax = x_->max(), ymin = y_->min(), ymax = y_->max();
    if (area_.isEmpty() || !(xmax > xmin) || !(ymax > ymin)) return std::nullopt;
    return Scale{area_.left(), xmin, area_.width() / (xmax - xmin), area_.bottom(), ymin, area_.height() / (ymax - ymin)};
}

QRectF PlotItem::drawnRect() const {
    const std::optional<Scale> pixel = scale();
    if (!isVisible() || !pixel) return {};
    double l = HUGE_VAL, r = -HUGE_VAL, t = HUGE_VAL, b = -HUGE_VAL;
    auto take = [&](double x, double y) {
        const QPointF p = (*pixel)(x, y);
        if (!std::isfinite(p.x()) || !std::isfinite(p.y())) return;
        l = std::min(l, p.x()), r = std::max(r, p.x()), t = std::min(t, p.y()), b = std::max(b, p.y());
    };
    if (rectangle_) {
        take(rect_.left(), rect_.top());
        take(rect_.right(), rect_.bottom());
    } else {
        for (const QPointF& p : points_) take(p.x(), p.y());
    }
    if (!(l <= r)) return {};
    const double m = dots_ ? kDotSize + 1 : 1.5;  // the pixels a line or a dot reaches beyond its point
    return QRectF(QPointF(l - m, t - m), QPointF(r + m, b + m)) & area_;
}

void PlotItem::repaint(const QRectF& pixels) {
    // The views are told at once, so that the pixels are repainted with the window's other changes
    // of this pass (the displays of the same frame) in one go: through the scene they would reach
    // the views a turn of the event loop later and cost a repaint and a hand-over of their own.
    if (pixels.isEmpty() || !isVisible() || !scene()) return;
    for (QGraphicsView* v : scene()->views())
        v->viewport()->update(v->mapFromScene(pixels).boundingRect().adjusted(-1, -1, 1, 1));
}

void PlotItem::changed(const QRectF& before) {
    const QRectF after = drawnRect();
    if (before.isEmpty() && after.isEmpty()) return;
    repaint(before.isEmpty() ? after : after.isEmpty() ? before : before | after);
}

void PlotItem::setPoints(const QList<QPointF>& points) {
    if (!rectangle_ && points == points_) return;
    const QRectF before = drawnRect();
    rectangle_ = false;
    points_ = points;
    changed(before);
}

void PlotItem::setRectangle(const QRectF& valueRect) {
    if (rectangle_ && valueRect == rect_) return;
    const QRectF before = drawnRect();
    rectangle_ = true;
    points_.clear();
    rect_ = valueRect;
    changed(before);
}

void PlotItem::setPen(const QPen& pen) {
    if (pen == pen_) return;
    pen_ = pen;
    repaint(drawnRect());
}

void PlotItem::setBrush(const QBrush& brush) {
    if (brush == brush_) return;
    brush_ = brush;
    repaint(drawnRect());
}

void PlotItem::setPointsVisible(bool dots) {
    if (dots == dots_) return;
    const QRectF before = drawnRect();
    dots_ = dots;
    changed(before);
}

void PlotItem::relayout() {
    const QRectF area = chart_->mapRectToScene(chart_->plotArea());
    if (area != area_) {
        prepareGeometryChange();
        area_ = area;
    }
    update();
}

void AppendLinePoint(std::vector<QPointF>& line, QPointF p) {
    const size_t n = line.size();
    if (n >= 2) {
        const QPointF a = line[n - 2], b = line[n - 1];
        auto between = [](double u, double v, double w) { return (u <= v && v <= w) || (u >= v && v >= w); };
        if ((a.y() == b.y() && b.y() == p.y() && between(a.x(), b.x(), p.x())) ||
            (a.x() == b.x() && b.x() == p.x() && between(a.y(), b.y(), p.y()))) {
            line[n - 1] = p;
            return;
        }
    }
    line.push_back(p);
}

void PlotItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    const std::optional<Scale> scaled = scale();
    if (!scaled) return;
    const Scale& pixel = *scaled;
    painter->save();
    painter->setClipRect(area_);
    // A one-pixel solid pen covers the pixels whose squares hold its points: rectangles and lines
    // along the axes are filled as rows and columns of them (a fraction of the cost of lines drawn
    // pixel by pixel). What lies beyond the area is cut first, so that far values stay in range.
    const bool hairline = pen_.style() == Qt::NoPen || (pen_.style() == Qt::SolidLine && pen_.widthF() <= 1);
    const QRectF reach = area_.adjusted(-2, -2, 2, 2);
    auto finite = [](const QRectF& r) {
        return std::isfinite(r.left()) && std::isfinite(r.right()) && std::isfinite(r.top()) && std::isfinite(r.bottom());
    };
    // the pixels of a rectangle (in pixels) cut to the reach
    auto pixels = [&](const QRectF& r) {
        auto at = [](double v, double lo, double hi) { return int(std::floor(std::clamp(v, lo, hi))); };
        return QRect(QPoint(at(r.left(), reach.left(), reach.right()), at(r.top(), reach.top(), reach.bottom())),
                     QPoint(at(r.right(), reach.left(), reach.right()), at(r.bottom(), reach.top(), reach.bottom())));
    };
    if (rectangle_) {
        const QRectF r = QRectF(pixel(rect_.left(), rect_.bottom()), pixel(rect_.right(), rect_.top())).normalized();
        if (!hairline || !finite(r)) {
            painter->setPen(pen_);
            painter->setBrush(brush_);
            painter->drawRect(r);
        } else {
            const QRect px = pixels(r);
            if (brush_.style() != Qt::NoBrush) painter->fillRect(px, brush_);
            if (pen_.style() != Qt::NoPen) {
                // the frame's sides that were not cut
                const QColor c = pen_.color();
                if (r.top() >= reach.top()) painter->fillRect(QRect(px.left(), px.top(), px.width(), 1), c);
                if (r.bottom() <= reach.bottom()) painter->fillRect(QRect(px.left(), px.bottom(), px.width(), 1), c);
                if (r.left() >= reach.left()) painter->fillRect(QRect(px.left(), px.top(), 1, px.height()), c);
                if (r.right() <= reach.right()) painter->fillRect(QRect(px.right(), px.top(), 1, px.height()), c);
            }
        }
        painter->restore();
        return;
    }
    if (points_.isEmpty()) {
        painter->restore();
        return;
    }
    if (points_.size() == 2 && hairline && !dots_ && pen_.style() != Qt::NoPen) {
        const QPointF a = pixel(points_[0].x(), points_[0].y()), b = pixel(points_[1].x(), points_[1].y());
        const QRectF line = QRectF(a, b).normalized();
        if ((a.x() == b.x() || a.y() == b.y()) && finite(line)) {
            painter->fillRect(pixels(line), pen_.color());
            painter->restore();
            return;
        }
    }
    painter->setPen(pen_);
    painter->setBrush(Qt::NoBrush);
    // A point that is not a number breaks the line; the painter clips what lies beyond the area.
    auto flush = [&] {
        if (pixels_.size() > 1) painter->drawPolyline(pixels_.data(), int(pixels_.size()));
        if (dots_ && !pixels_.empty()) {
            QPen dot(pen_.color(), kDotSize);
            dot.setCapStyle(Qt::RoundCap);
            painter->setPen(dot);
            painter->drawPoints(pixels_.data(), int(pixels_.size()));
            painter->setPen(pen_);
        }
        pixels_.clear();
    };
    pixels_.clear();
    pixels_.reserve(size_t(points_.size()));
    for (const QPointF& p : points_) {
        const QPointF px = pixel(p.x(), p.y());
        if (!std::isfinite(px.x()) || !std::isfinite(px.y())) {
            flush();
            continue;
        }
        if (dots_)
            pixels_.push_back(px);  // every point keeps its dot
        else
            AppendLinePoint(pixels_, px);
    }
    flush();
    painter->restore();
}

// ---- common part ---------------------------------------------------------------------------

GraphBase::GraphBase(QWidget* parent) : QWidget(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);

    chart_ = new QChart();
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->legend()->hide();
    // the ground, the plot area and the grid are the view's background (ChartView)
    chart_->setBackgroundVisible(false);
    chart_->setPlotAreaBackgroundVisible(false);
    chart_->setMargins(QMargins(2, 2, 4, 2));
    chart_->setContentsMargins(0, 0, 0, 0);
    chart_->layout()->setContentsMargins(0, 0, 0, 0);

    axisX_ = new QValueAxis(chart_);
    axisY_ = new QValueAxis(chart_);
    StyleAxis(axisX_);
    StyleAxis(axisY_);
    chart_->addAxis(axisX_, Qt::AlignBottom);
    chart_->addAxis(axisY_, Qt::AlignLeft);

    view_ = new ChartView(chart_, axisX_, axisY_, this);  // takes the chart
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->setRenderHint(QPainter::Antialiasing, false);
    // What changed with a frame is repainted as one rectangle: the lines of the grid and the
    // series are then clipped to a rectangle, not to a region of many pieces.
    view_->setViewportUpdateMode(QGraphicsView::BoundingRectViewportUpdate);
    // Nothing is drawn beyond its item's bounds (no antialiasing): a trace that changes repaints its
    // plot area and not the axes' numbers beside it.
    view_->setOptimizationFlag(QGraphicsView::DontAdjustForAntialiasing, true);
    view_->setFrameShape(QFrame::NoFrame);
    view_->setGeometry(rect());

    timer_.setSingleShot(true);
    timer_.setInterval(kGraphRefreshMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (dirty_) refreshNow();
    });
}

GraphBase::~GraphBase() {
    // the chart and its scene (which owns the items) go later, with the view
    for (QObject* o : {static_cast<QObject*>(chart_), static_cast<QObject*>(axisX_), static_cast<QObject*>(axisY_)})
        disconnect(o, nullptr, this, nullptr);
}

PlotItem* GraphBase::newItem(qreal z) {
    if (items_.empty()) {
        // the items follow the plot area and the axes' ranges
        auto relayout = [this] {
            for (PlotItem* t : items_) t->relayout();
        };
        connect(chart_, &QChart::plotAreaChanged, this, relayout);
        connect(axisX_, &QValueAxis::rangeChanged, this, relayout);
        connect(axisY_, &QValueAxis::rangeChanged, this, relayout);
    }
    items_.push_back(new PlotItem(chart_, axisX_, axisY_, z));
    static_cast<ChartView*>(view_)->addPlot(items_.back());
    return items_.back();
}

void GraphBase::markDirty() {
    dirty_ = true;
    // A running timer is left alone: restarting it on every call would postpone the refresh
    // for as long as the program keeps drawing.
    if (timer_.isActive() || refreshQueued_) return;
    const qint64 since = sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : kGraphRefreshMs;
    if (since < kGraphRefreshMs) {
        timer_.start(int(kGraphRefreshMs - since));
        return;
    }
    // The last refresh is an interval old: the chart follows right after this pass of drawing
    // calls, before the window is painted, so that it is painted with the displays of the same
    // frame in one go and the program is quiet until the next frame.
    refreshQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            refreshQueued_ = false;
            if (dirty_) refreshNow();
        },
        Qt::QueuedConnection);
}

void GraphBase::refreshNow() {
    dirty_ = false;
    timer_.stop();
    sinceRefresh_.start();
    sync();
}

void GraphBase::paintEvent(QPaintEvent* e) {
    // A paint of the whole widget (shown, exposed, grabbed) shows the model as it is now. The
    // chart's own repaints after a refresh do not come here, so they cannot drive the refresh
    // rate beyond the timer's.
    if (dirty_) {
        refreshNow();
        chart_->layout()->invalidate();
        chart_->layout()->activate();
    }
    QWidget::paintEvent(e);
}

void GraphBase::resizeEvent(QResizeEvent* e) {
    view_->setGeometry(rect());
    markDirty();  // the number of ticks follows the size
    QWidget::resizeEvent(e);
}

int GraphBase::setAxisScaling(int axis, int mode, double min, double max) {
    if (axis != XAXIS && axis != YAXIS) return kGraphBadArgument;
    AxisModel& m = axis == XAXIS ? xAxis_ : yAxis_;
    if (mode == VAL_MANUAL) {
        // An empty or reversed range would leave nothing to see; the axis keeps its old range.
        if (!std::isfinite(min) || !std::isfinite(max) || !(max > min)) return kGraphBadArgument;
        if (m.mode == VAL_MANUAL && m.min == min && m.max == max) return 0;
        m.mode = VAL_MANUAL;
        m.min = min;
        m.max = max;
    } else if (mode == VAL_AUTOSCALE) {
        if (m.mode == VAL_AUTOSCALE) return 0;
        m.mode = VAL_AUTOSCALE;
    } else {
        return kGraphBadArgument;
    }
    markDirty();
    return 0;
}

void GraphBase::applyAxis(QValueAxis* axis, const AxisModel& m, double lo, double hi, bool hasData) {
    double a = 0.0, b = 1.0;
    if (m.mode == VAL_MANUAL) {
        a = m.min;
        b = m.max > m.min ? m.max : m.min + 1.0;
    } else if (hasData) {
        if (hi <= lo) {
            lo -= 1.0;
            hi += 1.0;
        }
        const double step = NiceStep(hi - lo, 4);
        a = std::floor(lo / step) * step;
        b = std::ceil(hi / step) * step;
    }
    // as many ticks as fit the axis' length with room for their numbers
    const bool vertical = axis == axisY_;
    const int length = vertical ? height() - 30 : width() - 50;
    const int intervals = std::clamp(length / (vertical ? 36 : 70), 2, 10);
    const double interval = NiceStep(b - a, intervals);
    if (axis->tickInterval() != interval) {
        // Narrow the range first when the step shrinks, so that no moment has a huge tick count.
        if (interval < axis->tickInterval()) axis->setRange(a, b);
        axis->setTickInterval(interval);
    }
    if (axis->min() != a || axis->max() != b) axis->setRange(a, b);
}

void GraphBase::setXMinimum(double v) {
    xAxis_.mode = VAL_MANUAL;
    xAxis_.min = v;
    markDirty();
}
void GraphBase::setXMaximum(double v) {
    xAxis_.mode = VAL_MANUAL;
    xAxis_.max = v;
    markDirty();
}
void GraphBase::setYMinimum(double v) {
    yAxis_.mode = VAL_MANUAL;
    yAxis_.min = v;
    markDirty();
}
void GraphBase::setYMaximum(double v) {
    yAxis_.mode = VAL_MANUAL;
    yAxis_.max = v;
    markDirty();
}
QString GraphBase::xTitle() const { return axisX_->titleText(); }
QString GraphBase::yTitle() const { return axisY_->titleText(); }
void GraphBase::setXTitle(const QString& t) { axisX_->setTitleText(t); }
void GraphBase::setYTitle(const QString& t) { axisY_->setTitleText(t); }

// ---- x/y graph -------------------------------------------------------------------------------

XYGraph::XYGraph(QWidget* parent) : GraphBase(parent) {
    for (int k = 0; k < 3; ++k) {
        PlotItem* c = newItem(kCursorZ);
        c->setPen(Hairline(Rgb(kCursorColors[k])));
        c->setVisible(false);
        cursorSeries_[k] = c;
    }
}

int XYGraph::nextHandle() {
    for (;;) {
        if (lastHandle_ >= INT_MAX) lastHandle_ = 0;
        ++lastHandle_;
        bool inUse = false;
        for (size_t i = 0; i < used_; ++i) inUse = inUse || plots_[i].handle == lastHandle_;
        if (!inUse) return lastHandle_;
    }
}

PlotModel& XYGraph::newPlot() {
    if (used_ == plots_.size()) plots_.emplace_back();
    PlotModel& p = plots_[used_++];
    p.handle = nextHandle();
    return p;
}

int XYGraph::plotXY(const double* x, const uint16_t* y, int n, int plotStyle, int pointStyle, int lineStyle,
                    int color) {
    if (!x || !y || n < 1) return kGraphBadArgument;
    PlotModel& p = newPlot();
    p.rectangle = false;
    p.x.assign(x, x + n);
    p.y.assign(y, y + n);
    p.x1 = p.y1 = p.x2 = p.y2 = 0;
    p.color = color;
    p.fillColor = 0;
    p.plotStyle = plotStyle;
    p.pointStyle = pointStyle;
    p.lineStyle = lineStyle;
    markDirty();
    return p.handle;
}

int XYGraph::plotRectangle(double x1, double y1, double x2, double y2, int frameColor, int fillColor) {
    PlotModel& p = newPlot();
    p.rectangle = true;
    p.x.clear();
    p.y.clear();
    p.x1 = x1;
    p.y1 = y1;
    p.x2 = x2;
    p.y2 = y2;
    p.color = frameColor;
    p.fillColor = fillColor;
    p.plotStyle = p.pointStyle = p.lineStyle = 0;
    markDirty();
    return p.handle;
}

int XYGraph::deletePlot(int handle) {
    if (handle == VAL_DELETE_ALL) {
        if (used_ == 0) return 0;
        used_ = 0;  // the records keep their memory for the next plots; cursors stay
        markDirty();
        return 0;
    }
    if (handle <= 0) return kGraphBadArgument;
    for (size_t i = 0; i < used_; ++i) {
        if (plots_[i].handle == handle) {
            // Keep the drawing order of the others; the record moves behind the drawn ones.
            std::rotate(plots_.begin() + static_cast<long>(i), plots_.begin() + static_cast<long>(i) + 1,
                        plots_.begin() + static_cast<long>(used_));
            --used_;
            markDirty();
            return 0;
        }
    }
    return kGraphBadArgument;
}

int XYGraph::setCursor(int cursor, double x, double y) {
    if (cursor < 1 || cursor > 3) return kGraphBadArgument;
    const size_t k = static_cast<size_t>(cursor - 1);
    if (cursorSet_[k] && cursorX_[k] == x && cursorY_[k] == y) return 0;
    cursorX_[k] = x;
    cursorY_[k] = y;
    cursorSet_[k] = true;
    markDirty();
    return 0;
}

void XYGraph::sync() {
    // axis ranges over what is drawn (cursors do not widen an autoscaled axis)
    double xlo = HUGE_VAL, xhi = -HUGE_VAL, ylo = HUGE_VAL, yhi = -HUGE_VAL;
    for (size_t i = 0; i < used_; ++i) {
        const PlotModel& p = plots_[i];
        if (p.rectangle) {
            Widen(p.x1, xlo, xhi);
            Widen(p.x2, xlo, xhi);
            Widen(p.y1, ylo, yhi);
            Widen(p.y2, ylo, yhi);
        } else {
            for (double v : p.x) Widen(v, xlo, xhi);
            for (double v : p.y) Widen(v, ylo, yhi);
        }
    }
    applyAxis(axisX(), xAxis_, xlo, xhi, xlo <= xhi);
    applyAxis(axisY(), yAxis_, ylo, yhi, ylo <= yhi);

    size_t ci = 0, ri = 0;
    for (size_t i = 0; i < used_; ++i) {
        const PlotModel& p = plots_[i];
        if (p.rectangle) {
            if (ri == rects_.size()) rects_.push_back(newItem(kPlotZ));
            PlotItem* area = rects_[ri++];
            const double xa = std::min(p.x1, p.x2), xb = std::max(p.x1, p.x2);
            const double ya = std::min(p.y1, p.y2), yb = std::max(p.y1, p.y2);
            area->setRectangle(QRectF(QPointF(xa, ya), QPointF(xb, yb)));
            area->setPen(Hairline(Rgb(p.color)));
            area->setBrush(QBrush(Rgb(p.fillColor)));
            if (!area->isVisible()) area->setVisible(true);
        } else {
            if (ci == curves_.size()) curves_.push_back(newItem(kPlotZ));
            PlotItem* s = curves_[ci++];
            QList<QPointF> pts(static_cast<qsizetype>(p.x.size()));
            for (size_t j = 0; j < p.x.size(); ++j) pts[static_cast<qsizetype>(j)] = QPointF(p.x[j], p.y[j]);
            s->setPoints(pts);
            QPen pen = Hairline(Rgb(p.color));
            if (p.lineStyle == VAL_DASH) pen.setStyle(Qt::DashLine);
            s->setPen(pen);
            s->setPointsVisible(p.plotStyle == VAL_CONNECTED_POINTS);
            if (!s->isVisible()) s->setVisible(true);
        }
    }
    for (size_t j = ci; j < curves_.size(); ++j)
        if (curves_[j]->isVisible()) curves_[j]->setVisible(false);
    for (size_t j = ri; j < rects_.size(); ++j)
        if (rects_[j]->isVisible()) rects_[j]->setVisible(false);

    const double yb = axisY()->min(), yt = axisY()->max();
    for (size_t k = 0; k < 3; ++k) {
        PlotItem* c = cursorSeries_[k];
        if (!cursorSet_[k]) continue;
        c->setPoints(QList<QPointF>{{cursorX_[k], yb}, {cursorX_[k], yt}});
        if (!c->isVisible()) c->setVisible(true);
    }
}

// ---- strip chart -----------------------------------------------------------------------------

StripChart::StripChart(QWidget* parent) : GraphBase(parent) {
    colors_.assign(1, kTracePalette[0]);
    data_.resize(1);
    data_[0].reserve(static_cast<size_t>(pointsPerScreen_));
}

int StripChart::setTraces(int traces) {
    if (traces < 1 || traces > kMaxTraces) return kGraphBadArgument;
    if (traces == traces_) return 0;
    // the interleaving changes, so the points on screen no longer belong to their traces
    traces_ = traces;
    data_.resize(static_cast<size_t>(traces));
    for (auto& d : data_) {
        d.clear();
        d.reserve(static_cast<size_t>(pointsPerScreen_));
    }
    const size_t old = colors_.size();
    colors_.resize(static_cast<size_t>(traces));
    for (size_t t = old; t < colors_.size(); ++t) colors_[t] = kTracePalette[t % kTracePalette.size()];
    markDirty();
    return 0;
}

int StripChart::setPointsPerScreen(int points) {
    if (points < 1 || points > kMaxPointsPerScreen) return kGraphBadArgument;
    if (points == pointsPerScreen_) return 0;
    pointsPerScreen_ = points;
    for (auto& d : data_) {
        if (d.size() > static_cast<size_t>(points)) d.erase(d.begin(), d.end() - points);
        d.reserve(static_cast<size_t>(points));
    }
    markDirty();
    return 0;
}

int StripChart::setContinuous(bool continuous) {
    if (continuous != continuous_) {
        continuous_ = continuous;
        markDirty();
    }
    return 0;
}

int StripChart::setTraceColor(int trace, int color) {
    if (trace < 1 || trace > traces_) return kGraphBadArgument;
    int& c = colors_[static_cast<size_t>(trace - 1)];
    if (c != color) {
        c = color;
        markDirty();
    }
    return 0;
}

int StripChart::plot(const double* values, int n) {
    // only whole samples (one value per trace): a partial one would shift every later sample
    // onto the wrong trace
    if (!values || n < 1 || n % traces_ != 0) return kGraphBadArgument;
    const size_t k = static_cast<size_t>(n / traces_);
    const size_t tr = static_cast<size_t>(traces_);
    const size_t pps = static_cast<size_t>(pointsPerScreen_);
    for (size_t t = 0; t < tr; ++t) {
        std::vector<double>& d = data_[t];
        if (continuous_) {
            // rolling: keep the newest pps points
            size_t first = 0;  // first new sample that stays on screen
            if (k >= pps) {
                d.clear();
                first = k - pps;
            } else if (d.size() + k > pps) {
                d.erase(d.begin(), d.begin() + static_cast<long>(d.size() + k - pps));
            }
            for (size_t j = first; j < k; ++j) d.push_back(values[j * tr + t]);
        } else {
            // block mode: a full screen is cleared and filling starts again at the left
            for (size_t j = 0; j < k; ++j) {
                if (d.size() >= pps) d.clear();
                d.push_back(values[j * tr + t]);
            }
        }
    }
    markDirty();
    if (g_stripChartObserver) g_stripChartObserver(this, values, n);
    return 0;
}

void StripChart::sync() {
    // x: the positions of one screen, 0 = oldest at the left
    AxisModel xs;
    xs.mode = VAL_MANUAL;
    xs.min = 0;
    xs.max = std::max(1, pointsPerScreen_ - 1);
    applyAxis(axisX(), xs, 0, 0, false);
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    if (yAxis_.mode == VAL_AUTOSCALE)
        for (const auto& d : data_)
            for (double v : d) Widen(v, lo, hi);
    applyAxis(axisY(), yAxis_, lo, hi, lo <= hi);

    const size_t tr = static_cast<size_t>(traces_);
    while (series_.size() < tr) series_.push_back(newItem(kPlotZ));
    for (size_t t = 0; t < series_.size(); ++t) {
        PlotItem* s = series_[t];
        if (t >= tr) {
            if (s->isVisible()) s->setVisible(false);
            continue;
        }
        if (coversEarlierTrace(t)) {
            if (s->isVisible()) s->setVisible(false);
            continue;
        }
        const std::vector<double>& d = data_[t];
        QList<QPointF> pts(static_cast<qsizetype>(d.size()));
        for (size_t j = 0; j < d.size(); ++j) pts[static_cast<qsizetype>(j)] = QPointF(static_cast<double>(j), d[j]);
        s->setPoints(pts);
        s->setPen(Hairline(Rgb(colors_[t])));
        if (!s->isVisible()) s->setVisible(true);
    }
}

bool StripChart::coversEarlierTrace(size_t t) const {
    // Traces are drawn in their order: one that lies on an earlier trace of its colour, with only
    // traces of that colour between them, would paint the same pixels once more.
    for (size_t u = t; u-- > 0;) {
        if (colors_[u] != colors_[t]) return false;
        if (data_[u] == data_[t]) return true;
    }
    return false;
}

// ---- lookup and the operations on a widget ---------------------------------------------------

GraphBase* GraphFromWidget(QWidget* w) {
    if (!w) return nullptr;
    if (auto* g = qobject_cast<GraphBase*>(w)) return g;
    return w->findChild<GraphBase*>();
}

namespace {
XYGraph* XY(QWidget* w, int& err) {
    GraphBase* g = GraphFromWidget(w);
    err = g ? kGraphWrongKind : kGraphNotAGraph;
    return g ? qobject_cast<XYGraph*>(g) : nullptr;
}
StripChart* Strip(QWidget* w, int& err) {
    GraphBase* g = GraphFromWidget(w);
    err = g ? kGraphWrongKind : kGraphNotAGraph;
    return g ? qobject_cast<StripChart*>(g) : nullptr;
}
}  // namespace

int GraphPlotXY(QWidget* graph, const double* x, const uint16_t* y, int n, int plotStyle, int pointStyle,
                int lineStyle, int color) {
    int err = 0;
    XYGraph* g = XY(graph, err);
    return g ? g->plotXY(x, y, n, plotStyle, pointStyle, lineStyle, color) : err;
}

int GraphPlotRectangle(QWidget* graph, double x1, double y1, double x2, double y2, int frameColor,
                       int fillColor) {
    int err = 0;
    XYGraph* g = XY(graph, err);
    return g ? g->plotRectangle(x1, y1, x2, y2, frameColor, fillColor) : err;
}

int GraphDeletePlot(QWidget* graph, int plotHandle) {
    int err = 0;
    XYGraph* g = XY(graph, err);
    return g ? g->deletePlot(plotHandle) : err;
}

int GraphSetCursor(QWidget* graph, int cursor, double x, double y) {
    int err = 0;
    XYGraph* g = XY(graph, err);
    return g ? g->setCursor(cursor, x, y) : err;
}

int GraphSetAxisScaling(QWidget* graph, int axis, int mode, double min, double max) {
    GraphBase* g = GraphFromWidget(graph);
    return g ? g->setAxisScaling(axis, mode, min, max) : kGraphNotAGraph;
}

int GraphSetTraces(QWidget* graph, int traces) {
    int err = 0;
    StripChart* g = Strip(graph, err);
    return g ? g->setTraces(traces) : err;
}

int GraphSetPointsPerScreen(QWidget* graph, int points) {
    int err = 0;
    StripChart* g = Strip(graph, err);
    return g ? g->setPointsPerScreen(points) : err;
}

int GraphSetContinuous(QWidget* graph, bool continuous) {
    int err = 0;
    StripChart* g = Strip(graph, err);
    return g ? g->setContinuous(continuous) : err;
}

int GraphSetTraceColor(QWidget* graph, int trace, int color) {
    int err = 0;
    StripChart* g = Strip(graph, err);
    return g ? g->setTraceColor(trace, color) : err;
}

void SetStripChartObserver(StripChartObserverPtr fn) { g_stripChartObserver = fn; }

int GraphPlotStripChart(QWidget* graph, const double* values, int n) {
    int err = 0;
    StripChart* g = Strip(graph, err);
    return g ? g->plot(values, n) : err;
}

// ---- the resource loader's side -------------------------------------------------------------

bool IsGraphWidgetClass(const QString& className) {
    return className == QLatin1String("GraphWidget") || className == QLatin1String("StripChartWidget");
}

QWidget* CreateGraphWidget(const QString& className, QWidget* parent, const QString& name) {
    GraphBase* g = nullptr;
    if (className == QLatin1String("GraphWidget"))
        g = new XYGraph(parent);
    else if (className == QLatin1String("StripChartWidget"))
        g = new StripChart(parent);
    if (!g) return nullptr;
    g->setObjectName(name);
    // The edge graph draws its bars, windows and cursors between 0 and 1 on the y axis; the
    // resource file may still give it other limits.
    if (name == QLatin1String("GRAPHVideoBar")) g->setAxisScaling(YAXIS, VAL_MANUAL, 0.0, 1.0);
    return g;
}

}  // namespace kryta
