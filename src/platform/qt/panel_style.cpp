#include "panel_style.h"

#include <QPaintEngine>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionFrame>
#include <cmath>

namespace kxqt {
namespace {

// Pictures kept at most: past that, looks come and go, and all are dropped
// to be drawn again as they are needed.
constexpr qsizetype MAX_PICTURES = 256;

// Whether a picture drawn on its own and then laid down comes out as the
// panel drawn in place would: on a raster device, at whole pixels, neither
// scaled nor see-through.
bool lays_down_alike(const QPainter& painter) {
    QTransform placed = painter.deviceTransform();
    return painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Raster &&
           placed.type() <= QTransform::TxTranslate && placed.dx() == std::round(placed.dx()) &&
           placed.dy() == std::round(placed.dy()) && painter.opacity() == 1.0 &&
           painter.compositionMode() == QPainter::CompositionMode_SourceOver;
}

} // namespace

// False when a brush of the palette is more than a colour: a gradient or a
// texture lies differently at each place.
bool PanelStyle::look_of(const QStyleOptionFrame& frame, Look& look) {
    look.size = frame.rect.size();
    look.state = static_cast<int>(frame.state);
    look.direction = frame.direction;
    look.line_width = frame.lineWidth;
    look.mid_line_width = frame.midLineWidth;
    look.features = static_cast<int>(frame.features);
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const QBrush& brush = frame.palette.brush(static_cast<QPalette::ColorRole>(role));
        if (brush.style() != Qt::SolidPattern && brush.style() != Qt::NoBrush) return false;
        look.colours[role] = brush.style() == Qt::NoBrush ? quint64{0} : brush.color().rgba64();
    }
    return true;
}

PanelStyle::PanelStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void PanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
    Look look;
    if (element != PE_PanelLineEdit || !frame || frame->rect.isEmpty() ||
        !lays_down_alike(*painter) || !look_of(*frame, look)) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    auto kept = pictures_.constFind(look);
    if (kept == pictures_.cend()) {
        QPixmap picture(look.size);
        picture.fill(Qt::transparent);
        QStyleOptionFrame at_origin(*frame);
        at_origin.rect.moveTo(0, 0);
        QPainter on_picture(&picture);
        QProxyStyle::drawPrimitive(element, &at_origin, &on_picture, widget);
        on_picture.end();
        if (pictures_.size() >= MAX_PICTURES) pictures_.clear();
        kept = pictures_.insert(look, picture);
    }
    painter->drawPixmap(frame->rect.topLeft(), *kept);
}

} // namespace kxqt
