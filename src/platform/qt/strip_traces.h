// The traces of a strip chart as they are drawn. Following the latest
// samples, the chart moves a pixel or two a frame and only its right edge
// changes: the traces are kept as a picture in which the columns already
// drawn move along and only the columns of new samples are drawn, so that
// a frame at the line's pace costs the pixels it adds rather than all the
// lines in view. Any other change (a zoom, a pan back, the values' range,
// the size, the history cut or cleared) draws the whole picture again.
#pragma once

#include <QImage>
#include <cstdint>
#include <qcustomplot.h>
#include <vector>

#include "strip_history.h"

namespace kxqt {

class StripTraces : public QCPLayerable {
  public:
    // Drawn on the plot's current layer, under what is added after it; the
    // pens and visibility of trace t are those of the plot's graph t, which
    // hold no data of their own.
    StripTraces(QCustomPlot* plot, const StripHistory& history);

    // The samples from `row` on are new or have moved (a frame's rows
    // spread up to the frame after it).
    void changed_from(int64_t row);
    // The history changed otherwise: the picture is drawn again.
    void forget() { valid_ = false; }

  protected:
    void applyDefaultAntialiasingHint(QCPPainter*) const override {}
    QRect clipRect() const override;
    void draw(QCPPainter* painter) override;

  private:
    // Where the picture's columns lie on the x axis and what fills them.
    struct Grid {
        double first_key = 0.0; // the left edge of column 0
        double key_step = 1.0;  // one column's width in keys
        QCPRange values;
        QSize size;
        qreal ratio = 1.0;
        bool operator==(const Grid&) const = default;
    };

    Grid grid_now() const;
    bool reusable(const Grid& now) const;
    void move_columns(int columns);
    void clear_columns(int from);
    void draw_columns(int from);
    // Draws the traces' lines over the columns of `grid` from `from` on,
    // with a key's x and a value's y as `grid` places them on `painter`.
    void draw_lines(QPainter& painter, const Grid& grid, int from);

    QCPAxisRect* axis_rect_; // the plot's, looked up once (plot_view.h)
    const StripHistory& history_;
    QImage picture_;
    Grid grid_;
    bool valid_ = false;
    int64_t changed_from_ = INT64_MAX;
    std::vector<std::vector<StripHistory::Point>> points_;
    QPolygonF line_;
};

} // namespace kxqt
