// The spectrum graph: curves plotted by the program on axis limits and
// linear or logarithmic mappings that the program sets.
#pragma once

#include <QBrush>
#include <QList>
#include <QPen>
#include <QPointF>
#include <QRect>
#include <QRegion>
#include <utility>
#include <vector>

#include "plot_view.h"

class QCPAxis;
class QCPGraph;

namespace kxqt {

struct Range {
    double min;
    double max;
};

// Whether a curve's coordinates were floats widened to doubles.
struct Precision {
    bool x_single = false;
    bool y_single = false;
};

class Graph : public PlotView {
    Q_OBJECT
    // The look before the program's first call, set in the panel file.
    Q_PROPERTY(double xMinimum READ x_minimum WRITE set_x_minimum)
    Q_PROPERTY(double xMaximum READ x_maximum WRITE set_x_maximum)
    Q_PROPERTY(double yMinimum READ y_minimum WRITE set_y_minimum)
    Q_PROPERTY(double yMaximum READ y_maximum WRITE set_y_maximum)
    Q_PROPERTY(QString xLabel READ x_label WRITE set_x_label)
    Q_PROPERTY(QString yLabel READ y_label WRITE set_y_label)
  public:
    explicit Graph(QWidget* parent = nullptr);

    // The limits as the program set them, kept even when a logarithmic
    // mapping cannot draw them.
    Range x_range() const { return x_; }
    Range y_range() const { return y_; }
    void set_x_range(Range range);
    void set_y_range(Range range);
    bool x_log() const { return x_log_; }
    bool y_log() const { return y_log_; }
    void set_x_log(bool log);
    void set_y_log(bool log);
    // The limits actually drawn.
    Range drawn_x_range() const;
    Range drawn_y_range() const;

    // Adds one curve in `colour` (0xRRGGBB); returns its plot handle (> 0).
    int add_curve(const QList<double>& x, const QList<double>& y, int colour,
                  Precision precision = {});
    // False when no curve has that handle.
    bool remove_curve(int handle);
    void remove_curves();
    int curve_count() const;
    // The points of the index-th curve, in ascending x.
    QList<QPointF> curve_points(int index) const;

    // A column for each axis, named by its label, and a first one numbering
    // the curves in drawing order when there is more than one.
    QString csv() const override;

    double x_minimum() const { return x_.min; }
    double x_maximum() const { return x_.max; }
    double y_minimum() const { return y_.min; }
    double y_maximum() const { return y_.max; }
    void set_x_minimum(double value) { set_x_range({value, x_.max}); }
    void set_x_maximum(double value) { set_x_range({x_.min, value}); }
    void set_y_minimum(double value) { set_y_range({value, y_.max}); }
    void set_y_maximum(double value) { set_y_range({y_.min, value}); }
    QString x_label() const;
    QString y_label() const;
    void set_x_label(const QString& label);
    void set_y_label(const QString& label);

  protected:
    QRegion plottables_change() const override;
    void replotted() override { drawn_ = footprint(); }

  private:
    // Where a curve lies on the plot, in pixels: its pens, and for each
    // point the columns from the point before to the point after and the
    // row of its value. What the curve draws of a point (its step, the
    // steps' joins, the fill beneath) lies in those columns, and changes
    // only between the rows it had and has.
    struct Step {
        double left, right, row;
    };
    struct Footprint {
        QRect paper;
        std::vector<std::pair<QPen, QBrush>> pens; // line, fill
        std::vector<std::vector<Step>> steps;
    };

    void apply(QCPAxis* axis, Range range, bool log);
    QCPGraph* new_curve();
    Footprint footprint() const;

    Range x_{0.0, 1.0};
    Range y_{0.0, 1.0};
    bool x_log_ = false;
    bool y_log_ = false;
    int next_handle_ = 1;
    // The curves shown, in drawing order. Curves removed all at once are
    // kept hidden for the next ones: the program plots the spectrum afresh
    // at every frame, and a new curve would have the whole plot replotted.
    std::vector<QCPGraph*> curves_;
    std::vector<QCPGraph*> spare_;
    // The curves as the last replot drew them.
    Footprint drawn_;
};

} // namespace kxqt
