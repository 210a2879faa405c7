#include "field_limit_state.h"

#include <QEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPen>
#include <algorithm>

#include "controls.h"
#include "limit_look.h"

namespace kxqt {
namespace {

// The panel file's own look of a field, kept to come back when the state
// does.
const char* const FILE_STYLE = "kxFileStyleSheet";
const char* const FILE_MARGINS = "kxFileTextMargins";
const char* const MARK_NAME = "kxLimitMark";

// Lies over the whole field and takes no input: the frame and the badge
// stay whatever text the program writes beneath them.
class LimitMark : public QWidget {
  public:
    explicit LimitMark(QLineEdit* field) : QWidget(field) {
        setObjectName(QLatin1String(MARK_NAME));
        setAttribute(Qt::WA_TransparentForMouseEvents);
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
    int state_ = SHOW_IN_RANGE;
};

QString state_style(int state) {
    return QStringLiteral("QLineEdit { background-color: %1; color: %2; }")
        .arg(limit_background(state).name(), limit_text(state).name());
}

// The panel file's style sheet, and the margins the badge's room is added
// to, as they were before the first state came.
void keep_file_look(QLineEdit* field) {
    if (field->property(FILE_STYLE).isValid()) return;
    field->setProperty(FILE_STYLE, field->styleSheet());
    field->setProperty(FILE_MARGINS, QVariant::fromValue(field->textMargins()));
}

} // namespace

bool show_limit_state(QLineEdit* field, int state) {
    if (!is_limit_state(state)) return false;
    if (field->property("limitState").toInt() == state) return true;
    keep_file_look(field);
    QString file_style = field->property(FILE_STYLE).toString();
    QMargins margins = field->property(FILE_MARGINS).value<QMargins>();
    auto* mark = field->findChild<LimitMark*>(QLatin1String(MARK_NAME));
    if (!mark) mark = new LimitMark(field);
    if (state == SHOW_IN_RANGE) {
        field->setStyleSheet(file_style);
        field->setTextMargins(margins);
    } else {
        field->setStyleSheet(file_style + '\n' + state_style(state));
        // Text that reaches the left edge stays whole beside the badge.
        // Measured on the height the field asks for: it may not be laid out yet.
        QRect laid_out(QPoint(0, 0), QSize(field->width(), field->sizeHint().height()));
        margins.setLeft(margins.left() + LimitMark::badge_box(laid_out).right());
        field->setTextMargins(margins);
    }
    field->setProperty("limitState", state);
    field->setAccessibleDescription(state == SHOW_RED      ? QStringLiteral("red")
                                    : state == SHOW_YELLOW ? QStringLiteral("yellow")
                                                           : QString());
    mark->set_state(state);
    return true;
}

} // namespace kxqt
