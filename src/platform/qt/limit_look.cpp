#include "limit_look.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QRect>
#include <cmath>
#include <numbers>

#include "controls.h"

namespace kxqt {
namespace {

// Dark text on both backgrounds: a contrast of over 5 to 1 on red, over 12
// on yellow.
const QColor YELLOW_BACKGROUND(0xff, 0xd8, 0x4d);
const QColor RED_BACKGROUND(0xf2, 0x5c, 0x54);
const QColor DARK_TEXT(0x10, 0x10, 0x10);
const QColor YELLOW_INK(0x6b, 0x52, 0x00);
const QColor RED_INK(0x6e, 0x00, 0x00);
const QColor YELLOW_LINE(0xe6, 0xa1, 0x00);
const QColor RED_LINE(0xd0, 0x00, 0x00);

QPolygonF triangle(const QRectF& box) {
    return QPolygonF({QPointF(box.center().x(), box.top()), box.bottomRight(), box.bottomLeft()});
}

QPolygonF octagon(const QRectF& box) {
    QPolygonF corners;
    for (int i = 0; i < 8; ++i) {
        double angle = std::numbers::pi / 8 + i * std::numbers::pi / 4;
        corners << box.center() + QPointF(std::cos(angle) * box.width() / 2,
                                          std::sin(angle) * box.height() / 2);
    }
    return corners;
}

// Drawn rather than typed, so that it looks the same whatever fonts the
// machine has.
void paint_exclamation(QPainter& painter, const QRectF& box, const QColor& colour) {
    double width = std::max(box.width() * 0.16, 1.5);
    double x = box.center().x() - width / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRect(QRectF(x, box.top() + box.height() * 0.12, width, box.height() * 0.5));
    painter.drawRect(QRectF(x, box.top() + box.height() * 0.72, width, width));
}

} // namespace

bool is_limit_state(int state) {
    return state == SHOW_IN_RANGE || state == SHOW_YELLOW || state == SHOW_RED;
}

QColor limit_background(int state) {
    return state == SHOW_RED ? RED_BACKGROUND : state == SHOW_YELLOW ? YELLOW_BACKGROUND : QColor();
}

QColor limit_text(int state) { return state == SHOW_IN_RANGE ? QColor() : DARK_TEXT; }

QColor limit_ink(int state) {
    return state == SHOW_RED ? RED_INK : state == SHOW_YELLOW ? YELLOW_INK : QColor();
}

QColor limit_line(int state) {
    return state == SHOW_RED ? RED_LINE : state == SHOW_YELLOW ? YELLOW_LINE : QColor();
}

void paint_limit_badge(QPainter& painter, const QRect& box, int state) {
    if (state != SHOW_YELLOW && state != SHOW_RED) return;
    double side = std::min(box.width(), box.height());
    QRectF square(0, 0, side, side);
    square.moveCenter(QRectF(box).center());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(limit_ink(state));
    if (state == SHOW_RED) {
        painter.drawPolygon(octagon(square));
        paint_exclamation(painter, square.adjusted(0, side * 0.1, 0, -side * 0.1), Qt::white);
    } else {
        painter.drawPolygon(triangle(square));
        // The mark sits low, where the triangle is wide.
        paint_exclamation(painter, square.adjusted(0, side * 0.3, 0, -side * 0.02),
                          YELLOW_BACKGROUND);
    }
    painter.restore();
}

QIcon limit_badge_icon(int state, int size) {
    if (state != SHOW_YELLOW && state != SHOW_RED) return {};
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint_limit_badge(painter, pixmap.rect(), state);
    return QIcon(pixmap);
}

} // namespace kxqt
