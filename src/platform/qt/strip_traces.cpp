#include "strip_traces.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "paint_bands.h"

namespace kxqt {
namespace {

// How far the x axis's scale may drift from the picture's before the
// picture is drawn again: at most a tenth of a pixel across 1,000 pixels.
constexpr double SCALE_DRIFT = 1e-4;

} // namespace

StripTraces::StripTraces(QCustomPlot* plot, const StripHistory& history)
    : QCPLayerable(plot), axis_rect_(plot->axisRect()), history_(history) {}

void StripTraces::changed_from(int64_t row) { changed_from_ = std::min(changed_from_, row); }

QRect StripTraces::clipRect() const { return axis_rect_->rect(); }

StripTraces::Grid StripTraces::grid_now() const {
    QRect paper = axis_rect_->rect();
    QCPRange keys = mParentPlot->xAxis->range();
    Grid now;
    now.key_step = keys.size() / std::max(paper.width(), 1);
    // Column 0 lies left of the paper: the picture stands up to half a
    // pixel off the axis's exact place, and a column more on each side
    // keeps the paper covered.
    now.first_key = keys.lower - now.key_step;
    now.values = mParentPlot->yAxis->range();
    now.size = QSize(std::max(paper.width(), 1) + 2, std::max(paper.height(), 1));
    now.ratio = mParentPlot->bufferDevicePixelRatio();
    return now;
}

// Whether the picture can follow the axis by moving its columns: the same
// scale, values, size and pixel ratio, and the axis at or right of it.
bool StripTraces::reusable(const Grid& now) const {
    if (!valid_ || now.values != grid_.values || now.size != grid_.size ||
        now.ratio != grid_.ratio || now.ratio != std::round(now.ratio))
        return false;
    if (std::abs(now.key_step - grid_.key_step) > SCALE_DRIFT * grid_.key_step) return false;
    double columns = (now.first_key - grid_.first_key) / grid_.key_step;
    return columns >= -1e-6 && columns < grid_.size.width();
}

void StripTraces::draw(QCPPainter* painter) {
    if (painter->modes() & (QCPPainter::pmVectorized | QCPPainter::pmNoCaching)) {
        // An export: lines drawn as the picture has them, at the device's
        // resolution.
        Grid now = grid_now();
        QRect paper = clipRect();
        painter->translate(paper.left() - 1, paper.top());
        draw_lines(*painter, now, 0);
        return;
    }
    Grid now = grid_now();
    if (!reusable(now)) {
        grid_ = now;
        QSize pixels = (QSizeF(now.size) * now.ratio).toSize();
        if (picture_.size() != pixels)
            picture_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        picture_.setDevicePixelRatio(now.ratio);
        valid_ = true;
        changed_from_ = INT64_MAX;
        draw_columns(0);
    } else {
        int width = grid_.size.width();
        int moved =
            static_cast<int>(std::floor((now.first_key - grid_.first_key) / grid_.key_step));
        int from = width;
        if (moved > 0) {
            move_columns(moved);
            // The line to the columns that came in starts in the one before.
            from = width - moved - 1;
        }
        if (changed_from_ < history_.end_row()) {
            int64_t row = std::max(changed_from_, history_.first_row());
            double column = std::floor((history_.key(row) - grid_.first_key) / grid_.key_step);
            // The line into the changed column leaves from the one before.
            from = static_cast<int>(std::min<double>(from, std::max(column - 1, 0.0)));
        }
        changed_from_ = INT64_MAX;
        draw_columns(from);
    }
    double offset = (now.first_key - grid_.first_key) / grid_.key_step;
    QRect paper = clipRect();
    QPointF at(paper.left() - 1 - std::round(offset), paper.top());
    paint_in_bands(*painter, paper, [&] { painter->drawImage(at, picture_); });
}

// The columns move `columns` to the left; those coming in on the right are
// left to draw_columns.
void StripTraces::move_columns(int columns) {
    grid_.first_key += columns * grid_.key_step;
    auto ratio = static_cast<int>(grid_.ratio);
    int shift = std::min(columns, grid_.size.width()) * ratio;
    int keep = picture_.width() - shift;
    for (int y = 0; y < picture_.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(picture_.scanLine(y));
        std::memmove(line, line + shift, sizeof(uint32_t) * static_cast<size_t>(keep));
    }
}

// Empties the columns from `from` to the right edge, by hand: a painter's
// fill of the picture's height goes to Qt's thread pool (paint_bands.h),
// for a column or two of pixels at every frame.
void StripTraces::clear_columns(int from) {
    int start = static_cast<int>(std::floor(from * grid_.ratio));
    for (int y = 0; y < picture_.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(picture_.scanLine(y));
        std::fill(line + start, line + picture_.width(), 0u);
    }
}

// Draws the columns from `from` to the right edge anew.
void StripTraces::draw_columns(int from) {
    int width = grid_.size.width();
    from = std::clamp(from, 0, width);
    if (from == width) return;
    clear_columns(from);
    QPainter painter(&picture_);
    painter.setClipRect(QRectF(from, 0, width - from, grid_.size.height()));
    draw_lines(painter, grid_, from);
}

void StripTraces::draw_lines(QPainter& painter, const Grid& grid, int from) {
    // From the column before, so that its line into the first column drawn
    // is drawn whole.
    int width = grid.size.width();
    double lo = grid.first_key + (from - 1) * grid.key_step;
    double low = 0.0, high = 0.0;
    history_.envelope(lo, grid.first_key + width * grid.key_step, width - from + 1, points_, low,
                      high);
    painter.setRenderHint(QPainter::Antialiasing, false);
    double height = grid.size.height();
    double per_value = grid.values.size() != 0.0 ? height / grid.values.size() : 0.0;
    for (int trace = 0; trace < static_cast<int>(points_.size()); ++trace) {
        QCPGraph* graph = trace < mParentPlot->graphCount() ? mParentPlot->graph(trace) : nullptr;
        if (!graph || !graph->visible()) continue;
        line_.clear();
        for (const StripHistory::Point& p : points_[trace])
            line_.append(QPointF((p.key - grid.first_key) / grid.key_step,
                                 height - 1 - (p.value - grid.values.lower) * per_value));
        painter.setPen(graph->pen());
        painter.drawPolyline(line_);
    }
}

} // namespace kxqt
