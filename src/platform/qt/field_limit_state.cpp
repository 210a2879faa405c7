#include "field_limit_state.h"

#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPen>
#include <QStyle>
#include <algorithm>

#include "controls.h"
#include "limit_look.h"

namespace kxqt {
namespace {

const char* const MARK_NAME = "kxLimitMark";

// Lies over the whole field, takes no input and paints all of it in its
// state: the colour, a frame, the badge and the field's text beside it. The
// field's own look, size and text stay as they were, so a state coming or
// going lays nothing out again and restyles nothing: a value crossing its
// limit with every frame costs a picture of one field.
class LimitMark : public QWidget {
  public:
    explicit LimitMark(QLineEdit* field) : QWidget(field), field_(field) {
        setObjectName(QLatin1String(MARK_NAME));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        // Nothing of the field shows through: it need not paint beneath.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::NoFocus);
        field->installEventFilter(this);
        setGeometry(field->rect());
    }

    void set_state(int state) {
        state_ = state;
        setVisible(state != SHOW_IN_RANGE);
        raise();
        update();
    }

    // The badge's square at the field's left, inside the frame.
    static QRect badge_box(const QRect& field) {
        int side = std::max(field.height() - 2 * INSET, 1);
        return QRect(INSET + 1, (field.height() - side) / 2, side, side);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) setGeometry(static_cast<QWidget*>(watched)->rect());
        return false;
    }

    // Red: a thick solid frame; yellow: a thinner dashed one. Told apart by
    // their lines as well as by their colours.
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), limit_background(state_));
        paint_text(painter);
        bool red = state_ == SHOW_RED;
        int width = red ? 3 : 2;
        QPen pen(limit_ink(state_), width, red ? Qt::SolidLine : Qt::DashLine);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        double half = width / 2.0;
        painter.drawRect(QRectF(rect()).adjusted(half, half, -half, -half));
        paint_limit_badge(painter, badge_box(rect()), state_);
    }

  private:
    static constexpr int INSET = 4; // past the thickest frame, with a pixel's gap

    // Where the field puts it, beside the badge; a text too long for the
    // room shows its beginning, as the field does.
    void paint_text(QPainter& painter) {
        QRect room = rect().adjusted(badge_box(rect()).right() + INSET, 0, -INSET, 0);
        QString text = field_->displayText();
        painter.setFont(field_->font());
        painter.setPen(limit_text(state_));
        Qt::Alignment across =
            QStyle::visualAlignment(field_->layoutDirection(), field_->alignment()) &
            Qt::AlignHorizontal_Mask;
        if (painter.fontMetrics().horizontalAdvance(text) > room.width()) across = Qt::AlignLeft;
        painter.drawText(room, static_cast<int>(across | Qt::AlignVCenter), text);
    }

    QLineEdit* field_;
    int state_ = SHOW_IN_RANGE;
};

} // namespace

bool show_limit_state(QLineEdit* field, int state) {
    if (!is_limit_state(state)) return false;
    if (field->property("limitState").toInt() == state) return true;
    auto* mark = field->findChild<LimitMark*>(QLatin1String(MARK_NAME));
    if (!mark) mark = new LimitMark(field);
    field->setProperty("limitState", state);
    field->setAccessibleDescription(state == SHOW_RED      ? QStringLiteral("red")
                                    : state == SHOW_YELLOW ? QStringLiteral("yellow")
                                                           : QString());
    mark->set_state(state);
    return true;
}

} // namespace kxqt
