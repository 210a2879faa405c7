// What the graph and the strip charts share: a plot area and the operator's
// own context menu ("save as image", "copy data as CSV"), which works inside
// the widget and raises no commit.
#pragma once

#include <QRegion>
#include <QWidget>

class QCPAxisRect;
class QCPLayer;
class QCustomPlot;

namespace kxqt {

class PlotView : public QWidget {
    Q_OBJECT
  public:
    explicit PlotView(QWidget* parent = nullptr);

    // The plotted data as CSV text under a header line naming the columns,
    // each number as kxdump prints it (number_text.h).
    virtual QString csv() const = 0;
    // Writes the plot as it looks to `path`: PDF when the name ends in
    // ".pdf", PNG otherwise. False when the file could not be written.
    bool save_image(const QString& path);
    // Replots if the data or the axes changed since the last replot; the
    // window's paint pacer calls it just before each paint.
    void refresh();

  protected:
    QCustomPlot* plot() const { return plot_; }
    // The plot's axis rectangle: QCustomPlot looks it up through every
    // element of its layout, a strip chart's legend entries included.
    QCPAxisRect* axis_rect() const { return axis_rect_; }
    // Marks the plot as changed: it is replotted when its window next
    // paints, however often it changes in between.
    void changed();
    // Draws the plottables on a layer of their own, above all others, so
    // that a change of the data alone redraws that layer and keeps the axes,
    // grid and labels as they were drawn. `over_ground`: the layer's buffer
    // starts from a copy of the plot's opaque ground and the window copies
    // it alone, rather than blending it over the ground; for plottables
    // shown whole at each redraw and with no tall translucent fill, whose
    // blend over the ground Qt would hand to a thread pool (paint_bands.h).
    void draw_plottables_apart(bool over_ground = false);
    // The plottables' own layer once they have one, else null.
    QCPLayer* plottables_layer() const { return plottables_; }
    // Marks only the plottables as changed (see draw_plottables_apart).
    void plottables_changed();
    // Last adjustments before a replot, such as axes that follow the data.
    virtual void before_replot() {}
    // Readies a redraw of the plottables alone, as the paint comes; false
    // when more of the plot changed with them, and all of it is replotted.
    virtual bool ready_plottables() { return true; }
    // Where a redraw of the plottables alone would change what the plot
    // shows (see draw_plottables_apart); all of it unless told better.
    virtual QRegion plottables_change() const;
    // After each replot, whole or of the plottables alone.
    virtual void replotted() {}

  private:
    void ask_and_save();
    void copy_csv();

    QCustomPlot* plot_;
    QCPAxisRect* axis_rect_;
    bool stale_ = false;
    // The plottables' own layer, when they have one, and whether it alone
    // is due for a redraw.
    QCPLayer* plottables_ = nullptr;
    bool plottables_stale_ = false;
    bool plottables_over_ground_ = false;
};

// `text` as one CSV field: quoted when it holds a comma, a quote or a line
// break.
QString csv_field(const QString& text);

} // namespace kxqt
