// The panel's style: Fusion, with the panels of line edits drawn from
// pictures kept. A field whose text changes is painted whole, and Fusion
// strokes its smoothed, rounded frame anew each time: with the values
// changing at every frame, the fields' frames cost more than their texts.
#pragma once

#include <QHash>
#include <QPixmap>
#include <QProxyStyle>
#include <QSize>
#include <array>

class QStyleOptionFrame;

namespace kxqt {

class PanelStyle : public QProxyStyle {
  public:
    PanelStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

  private:
    // What a line edit's panel looks like depends on.
    struct Look {
        QSize size;
        int state = 0, direction = 0, line_width = 0, mid_line_width = 0, features = 0;
        std::array<quint64, QPalette::NColorRoles> colours{};
        bool operator==(const Look&) const = default;
        friend size_t qHash(const Look& look, size_t seed = 0) {
            return qHashMulti(seed, look.size.width(), look.size.height(), look.state,
                              qHashRange(look.colours.begin(), look.colours.end()));
        }
    };

    static bool look_of(const QStyleOptionFrame& frame, Look& look);

    // The pictures made so far, few in a panel: a look for each size and
    // state of its fields.
    mutable QHash<Look, QPixmap> pictures_;
};

} // namespace kxqt
