#include "graph.h"

#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

#include "number_text.h"

namespace kxqt {
namespace {

// The span a logarithmic axis shows below its upper limit when the lower
// one cannot be drawn (zero or negative): four decades.
constexpr double LOG_SPAN = 1e4;

// What an axis can draw of the limits the program asked for. The stored
// limits stay as asked: switching back to linear shows them again.
Range drawable(Range range, bool log) {
    double low = std::min(range.min, range.max);
    double high = std::max(range.min, range.max);
    if (log) {
        if (high <= 0.0) high = 1.0;
        if (low <= 0.0) low = high / LOG_SPAN;
        if (low == high) return {low / 10.0, high * 10.0};
        return {low, high};
    }
    if (low == high) return {low - 0.5, high + 0.5};
    return {low, high};
}

Range range_of(const QCPAxis* axis) { return {axis->range().lower, axis->range().upper}; }

// Pixels a curve's line, and the rounding of where it lies, reach beyond
// the exact place of its points.
constexpr int REACH = 1;
// How far from the plot's corner a point may lie for its change to stay
// where it lies: much further, Qt's raster engine gives up on the curve's
// fill (past some 8 million pixels it drew none of it).
constexpr double NEAR = 65536.0;

// The pixels of `band` and around it, within `paper`.
QRect pixels_around(const QRectF& band, const QRect& paper) {
    auto at = [](double value, int low, int high) {
        return std::clamp(value, static_cast<double>(low), static_cast<double>(high));
    };
    QRect room = paper.adjusted(-REACH, -REACH, REACH, REACH);
    int left = static_cast<int>(std::floor(at(band.left(), room.left(), room.right())));
    int right = static_cast<int>(std::ceil(at(band.right(), room.left(), room.right())));
    int top = static_cast<int>(std::floor(at(band.top(), room.top(), room.bottom())));
    int bottom = static_cast<int>(std::ceil(at(band.bottom(), room.top(), room.bottom())));
    return QRect(QPoint(left, top), QPoint(right, bottom)).adjusted(-REACH, -REACH, REACH, REACH) &
           room;
}

// A curve whose fill, when nothing lies beneath it, replaces the empty
// pixels rather than blending with them: the same pixels, but a blended fill
// this tall goes to Qt's thread pool (paint_bands.h), at every frame of an
// accumulation.
class Curve : public QCPGraph {
  public:
    using QCPGraph::QCPGraph;

  protected:
    void drawFill(QCPPainter* painter, QVector<QPointF>* lines) const override {
        if (!alone_beneath(painter)) {
            QCPGraph::drawFill(painter, lines);
            return;
        }
        QPainter::CompositionMode mode = painter->compositionMode();
        painter->setCompositionMode(QPainter::CompositionMode_Source);
        QCPGraph::drawFill(painter, lines);
        painter->setCompositionMode(mode);
    }

  private:
    // Whether the pixels beneath are empty: the graph's curves have a layer
    // and so a buffer of their own, cleared before they are drawn, and this
    // is the first there to draw (a layout draws nothing). An image or
    // document saved draws every layer on one picture, and a buffer without
    // an alpha channel holds the plot's opaque ground beneath the curves.
    bool alone_beneath(const QCPPainter* painter) const {
        if (painter->modes() & (QCPPainter::pmNoCaching | QCPPainter::pmVectorized)) return false;
        auto* buffer = dynamic_cast<const QPixmap*>(painter->device());
        if (!buffer || !buffer->hasAlphaChannel()) return false;
        const QList<QCPLayerable*> drawn = layer()->children();
        auto first = std::find_if(drawn.begin(), drawn.end(), [](const QCPLayerable* child) {
            return child->visible() && !qobject_cast<const QCPLayout*>(child);
        });
        return first != drawn.end() && *first == this;
    }
};

} // namespace

Graph::Graph(QWidget* parent) : PlotView(parent) {
    // The spectrum changes at every frame, its axes seldom: only its curves
    // are drawn again then. It has no legend to hold them.
    plot()->setAutoAddPlottableToLegend(false);
    draw_plottables_apart();
    plot()->xAxis->grid()->setSubGridVisible(true);
    plot()->yAxis->grid()->setSubGridVisible(true);
    apply(plot()->xAxis, x_, x_log_);
    apply(plot()->yAxis, y_, y_log_);
}

void Graph::apply(QCPAxis* axis, Range range, bool log) {
    axis->setScaleType(log ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    if (log)
        axis->setTicker(QSharedPointer<QCPAxisTickerLog>::create());
    else
        axis->setTicker(QSharedPointer<QCPAxisTicker>::create());
    Range drawn = drawable(range, log);
    axis->setRange(drawn.min, drawn.max);
    changed();
}

void Graph::set_x_range(Range range) {
    x_ = range;
    apply(plot()->xAxis, x_, x_log_);
}

void Graph::set_y_range(Range range) {
    y_ = range;
    apply(plot()->yAxis, y_, y_log_);
}

void Graph::set_x_log(bool log) {
    x_log_ = log;
    apply(plot()->xAxis, x_, x_log_);
}

void Graph::set_y_log(bool log) {
    y_log_ = log;
    apply(plot()->yAxis, y_, y_log_);
}

Range Graph::drawn_x_range() const { return range_of(plot()->xAxis); }
Range Graph::drawn_y_range() const { return range_of(plot()->yAxis); }

// Drawn above the curves added before it, as a new curve would be: spares
// come back in the order they were drawn in.
QCPGraph* Graph::new_curve() {
    if (spare_.empty()) return new Curve(plot()->xAxis, plot()->yAxis);
    QCPGraph* reused = spare_.front();
    spare_.erase(spare_.begin());
    reused->setVisible(true);
    return reused;
}

int Graph::add_curve(const QList<double>& x, const QList<double>& y, int colour,
                     Precision precision) {
    QCPGraph* added = new_curve();
    curves_.push_back(added);
    QColor pen_colour(QRgb(static_cast<unsigned>(colour) & 0xFFFFFFu));
    // A cosmetic one-pixel pen is drawn as a polyline; a wider one would be
    // stroked as a polygon, many times slower.
    QPen pen(pen_colour, 1);
    pen.setCosmetic(true);
    added->setPen(pen);
    QColor fill = pen_colour;
    fill.setAlpha(40);
    added->setBrush(fill);
    // A stepped line is all horizontal and vertical strokes, and the faint
    // fill shows no jagged edge: smoothing would cost much and show nothing.
    added->setAntialiased(false);
    added->setAntialiasedFill(false);
    // Each point is a bin's centre: a stepped line reads as a histogram.
    added->setLineStyle(QCPGraph::lsStepCenter);
    added->setData(x, y);
    int handle = next_handle_++;
    added->setProperty("handle", handle);
    added->setProperty("xSingle", precision.x_single);
    added->setProperty("ySingle", precision.y_single);
    plottables_changed();
    return handle;
}

bool Graph::remove_curve(int handle) {
    auto found = std::find_if(curves_.begin(), curves_.end(), [&](const QCPGraph* shown) {
        return shown->property("handle").toInt() == handle;
    });
    if (found == curves_.end()) return false;
    QCPGraph* removed = *found;
    curves_.erase(found);
    plottables_changed();
    return plot()->removeGraph(removed);
}

void Graph::remove_curves() {
    for (QCPGraph* removed : curves_) {
        removed->setVisible(false);
        removed->data()->clear();
    }
    // Every curve shown is drawn below every spare: the spares stay in
    // drawing order with these before them.
    spare_.insert(spare_.begin(), curves_.begin(), curves_.end());
    curves_.clear();
    plottables_changed();
}

Graph::Footprint Graph::footprint() const {
    Footprint drawn;
    drawn.paper = axis_rect()->rect();
    const QCPAxis* x = plot()->xAxis;
    const QCPAxis* y = plot()->yAxis;
    for (const QCPGraph* curve : curves_) {
        drawn.pens.emplace_back(curve->pen(), curve->brush());
        std::vector<Step>& steps = drawn.steps.emplace_back();
        const QCPGraphDataContainer& points = *curve->data();
        int count = points.size();
        steps.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            double before = x->coordToPixel(points.at(std::max(i - 1, 0))->key);
            double after = x->coordToPixel(points.at(std::min(i + 1, count - 1))->key);
            steps.push_back({std::min(before, after), std::max(before, after),
                             y->coordToPixel(points.at(i)->value)});
        }
    }
    return drawn;
}

// Where the curves changed since the last replot drew them: around each
// point whose row moved, between the rows it had and has. Anything else
// changed (the axes, the size, a curve, a point's place, a gap or a point
// far off the paper) changes all of the plot.
QRegion Graph::plottables_change() const {
    Footprint now = footprint();
    QRegion whole(plot()->rect());
    auto near = [](double pixel) { return std::abs(pixel) <= NEAR; }; // also not NaN
    if (now.paper != drawn_.paper || now.pens != drawn_.pens) return whole;
    QRegion change;
    for (std::size_t c = 0; c < now.steps.size(); ++c) {
        const std::vector<Step>& was = drawn_.steps[c];
        const std::vector<Step>& is = now.steps[c];
        if (was.size() != is.size()) return whole;
        for (std::size_t i = 0; i < is.size(); ++i) {
            if (!near(is[i].left) || !near(is[i].right) || !near(is[i].row) || !near(was[i].row) ||
                was[i].left != is[i].left || was[i].right != is[i].right)
                return whole;
            if (was[i].row == is[i].row) continue;
            QRectF band(QPointF(is[i].left, std::min(was[i].row, is[i].row)),
                        QPointF(is[i].right, std::max(was[i].row, is[i].row)));
            change += pixels_around(band, now.paper);
        }
    }
    return change;
}

int Graph::curve_count() const { return static_cast<int>(curves_.size()); }

QList<QPointF> Graph::curve_points(int index) const {
    QList<QPointF> points;
    if (index < 0 || index >= curve_count()) return points;
    for (const QCPGraphData& point : *curves_[index]->data())
        points.append({point.key, point.value});
    return points;
}

QString Graph::csv() const {
    bool numbered = curve_count() > 1;
    QString text = numbered ? QStringLiteral("curve,") : QString();
    text += csv_field(x_label()) + ',' + csv_field(y_label()) + '\n';
    for (int i = 0; i < curve_count(); ++i) {
        const QCPGraph* shown = curves_[i];
        bool x_single = shown->property("xSingle").toBool();
        bool y_single = shown->property("ySingle").toBool();
        QString number = numbered ? QString::number(i + 1) + ',' : QString();
        for (const QCPGraphData& point : *shown->data())
            text += number + number_text(point.key, x_single) + ',' +
                    number_text(point.value, y_single) + '\n';
    }
    return text;
}

QString Graph::x_label() const { return plot()->xAxis->label(); }
QString Graph::y_label() const { return plot()->yAxis->label(); }
void Graph::set_x_label(const QString& label) {
    plot()->xAxis->setLabel(label);
    changed();
}

void Graph::set_y_label(const QString& label) {
    plot()->yAxis->setLabel(label);
    changed();
}

} // namespace kxqt
