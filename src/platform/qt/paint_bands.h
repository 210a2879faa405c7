// Painting a large area band by band. Qt's raster engine hands a fill or
// copy of more than about a hundred lines to a pool of threads and waits for
// them; for a plot's copy onto the window, a few hundred kilobytes, waking
// the threads costs more than the copy (a tenth of kxview's time at the
// line's pace). Painted in bands of fewer lines, each band is done at once.
#pragma once

#include <QPainter>
#include <QRect>
#include <algorithm>

namespace kxqt {

inline constexpr int PAINT_BAND = 48; // lines

// Calls `paint` once a band of `area`, with `painter` clipped to the band.
template <class Paint> void paint_in_bands(QPainter& painter, const QRect& area, Paint&& paint) {
    for (int top = area.top(); top <= area.bottom(); top += PAINT_BAND) {
        painter.save();
        painter.setClipRect(
            QRect(area.left(), top, area.width(), std::min(PAINT_BAND, area.bottom() + 1 - top)),
            Qt::IntersectClip);
        paint();
        painter.restore();
    }
}

} // namespace kxqt
