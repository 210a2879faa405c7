// How a limit state looks wherever it shows (a value field, a row of the
// alarm list): a background colour with readable text, and a badge whose
// shape tells the state apart without its colour, for operators who do not
// see colours well and for grey print-outs.
#pragma once

#include <QColor>
#include <QIcon>

class QPainter;
class QRect;

namespace kxqt {

// A LimitShow value the panel knows how to show.
bool is_limit_state(int state);

QColor limit_background(int state);
QColor limit_text(int state);
// The badge's and the field frame's colour: darker than the background, so
// that both still stand out on it.
QColor limit_ink(int state);
// A limit's line across a plot's white paper: brighter than the ink, to
// stand out among the traces.
QColor limit_line(int state);

// A warning triangle for yellow, an octagon (a stop sign) for red, each
// with an exclamation mark, fitted into `box`; nothing when in range.
void paint_limit_badge(QPainter& painter, const QRect& box, int state);
// The badge as an icon of `size` pixels square, for an item view.
QIcon limit_badge_icon(int state, int size);

} // namespace kxqt
