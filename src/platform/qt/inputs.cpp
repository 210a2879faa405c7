#include "inputs.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <limits>

#include "commit_wiring.h"
#include "number_text.h"

namespace kxqt {
namespace {

// The program's latest value, held while the operator edits the input.
constexpr const char* HELD = "kxHeldValue";
// Why the operator's last commit was refused; empty once the field is
// edited again. "refused" is for the panel file's style sheet.
constexpr const char* REFUSAL = "kxRefusal";
constexpr const char* REFUSED = "refused";

QLineEdit* text_of(const QAbstractSpinBox* input) { return input->findChild<QLineEdit*>(); }

bool editing(const QAbstractSpinBox* input) {
    const QLineEdit* text = text_of(input);
    return (text && text->isModified()) || input->property(HELD).isValid();
}

void set_refusal(QAbstractSpinBox* input, const QString& reason) {
    input->setProperty(REFUSAL, reason);
    if (input->property(REFUSED).toBool() == !reason.isEmpty()) return;
    input->setProperty(REFUSED, !reason.isEmpty());
    input->style()->unpolish(input);
    input->style()->polish(input);
}

// The value written during the edit, or else the one the edit began with:
// typing changes no value until it is committed.
template <class Input> void show_value_in_force(Input* input) {
    QVariant held = input->property(HELD);
    auto value = held.isValid() ? held.value<decltype(input->value())>() : input->value();
    end_edit(input);
    input->setValue(value);
    mark_seen(input);
}

// A committed text that is not a number is refused rather than read as
// part of one (a locale's decimal comma): the value in force shows again.
// True when refused.
template <class Input> bool refuse_unreadable(Input* input) {
    QString reason = input->refusal(text_of(input)->text());
    if (reason.isEmpty()) return false;
    show_value_in_force(input);
    set_refusal(input, reason);
    return true;
}

// Escape cancels an edit; Enter commits a number and refuses anything else.
// True when the key was answered here.
template <class Input> bool answer_key(Input* input, const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        if (!editing(input) && input->property(REFUSAL).toString().isEmpty()) return false;
        set_refusal(input, QString());
        show_value_in_force(input);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!refuse_unreadable(input)) return false;
        QToolTip::showText(input->mapToGlobal(QPoint(0, input->height())),
                           input->property(REFUSAL).toString(), input);
        return true;
    default: return false;
    }
}

// The reason of a refusal leads the input's own tooltip until it is edited.
bool show_tooltip(QAbstractSpinBox* input, QEvent* event) {
    QString reason = input->property(REFUSAL).toString();
    if (event->type() != QEvent::ToolTip || reason.isEmpty()) return false;
    QString tip = input->toolTip().isEmpty() ? reason : reason + "\n\n" + input->toolTip();
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), tip, input);
    return true;
}

template <class Input> void set_up(Input* input) {
    input->setLocale(number_locale());
    // The value changes on a commit only: until then it is the one in force.
    input->setKeyboardTracking(false);
    QObject::connect(text_of(input), &QLineEdit::textEdited, input,
                     [input] { set_refusal(input, QString()); });
}

QString out_of_range(const QString& text, const QString& minimum, const QString& maximum) {
    return QStringLiteral("“%1” not applied: out of range, from %2 to %3.")
        .arg(text.trimmed(), minimum, maximum);
}

} // namespace

bool hold_while_editing(QAbstractSpinBox* input, const QVariant& value) {
    QLineEdit* text = text_of(input);
    if (!input->hasFocus() || !text || !text->isModified()) return false;
    input->setProperty(HELD, value);
    return true;
}

void end_edit(QAbstractSpinBox* input) {
    input->setProperty(HELD, QVariant());
    if (QLineEdit* text = text_of(input)) text->setModified(false);
}

IntInput::IntInput(QWidget* parent) : QSpinBox(parent) {
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    set_up(this);
}

void IntInput::stepBy(int steps) {
    QSpinBox::stepBy(steps);
    emit stepped();
}

QString IntInput::textFromValue(int value) const { return QString::number(value); }

int IntInput::valueFromText(const QString& text) const {
    bool ok = false;
    int read = number_locale().toInt(text.trimmed(), &ok);
    return ok ? read : value();
}

QValidator::State IntInput::validate(QString& text, int& position) const {
    (void)position;
    // Anything may be typed: what is no number is refused when committed.
    return refusal(text).isEmpty() ? QValidator::Acceptable : QValidator::Intermediate;
}

QString IntInput::refusal(const QString& text) const {
    bool ok = false;
    qlonglong read = number_locale().toLongLong(text.trimmed(), &ok);
    if (!ok)
        return QStringLiteral("“%1” not applied: not a whole number. Write it in digits, without "
                              "separators, e.g. 4095 or -50.")
            .arg(text.trimmed());
    if (read < minimum() || read > maximum())
        return out_of_range(text, textFromValue(minimum()), textFromValue(maximum()));
    return QString();
}

bool IntInput::event(QEvent* event) { return show_tooltip(this, event) || QSpinBox::event(event); }

void IntInput::keyPressEvent(QKeyEvent* event) {
    if (!answer_key(this, event)) QSpinBox::keyPressEvent(event);
}

void IntInput::focusOutEvent(QFocusEvent* event) {
    refuse_unreadable(this);
    QSpinBox::focusOutEvent(event);
}

FloatInput::FloatInput(QWidget* parent) : QDoubleSpinBox(parent) {
    // The spin box rounds every value to its decimals: keep all a double
    // has, so that limits of a logarithmic axis decades apart stay as set.
    setDecimals(std::numeric_limits<double>::max_exponent10 +
                std::numeric_limits<double>::digits10);
    setRange(-1e9, 1e9);
    set_up(this);
}

void FloatInput::stepBy(int steps) {
    QDoubleSpinBox::stepBy(steps);
    emit stepped();
}

QString FloatInput::textFromValue(double value) const { return number_text(value, true); }

double FloatInput::valueFromText(const QString& text) const {
    bool ok = false;
    double read = number_locale().toDouble(text.trimmed(), &ok);
    return ok ? read : value();
}

QValidator::State FloatInput::validate(QString& text, int& position) const {
    (void)position;
    return refusal(text).isEmpty() ? QValidator::Acceptable : QValidator::Intermediate;
}

QString FloatInput::refusal(const QString& text) const {
    bool ok = false;
    double read = number_locale().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(read))
        return QStringLiteral("“%1” not applied: not a number. Write numbers with a decimal point "
                              "and no thousands separators, e.g. 0.5, 1234567 or 1e-05.")
            .arg(text.trimmed());
    if (read < minimum() || read > maximum())
        return out_of_range(text, textFromValue(minimum()), textFromValue(maximum()));
    return QString();
}

QSize FloatInput::sizeHint() const { return widened(QDoubleSpinBox::sizeHint()); }
QSize FloatInput::minimumSizeHint() const { return widened(QDoubleSpinBox::minimumSizeHint()); }

// The spin box makes room for the texts of its limits only. Ten characters
// show five significant digits whatever the magnitude (-0.0012345,
// 1.2345e-05, -123456.78), and leave the panel within a 1024-pixel screen.
QSize FloatInput::widened(QSize hint) const {
    static const QString longest = QStringLiteral("-0.0012345");
    QFontMetrics metrics = fontMetrics();
    int limits = std::max(metrics.horizontalAdvance(textFromValue(minimum())),
                          metrics.horizontalAdvance(textFromValue(maximum())));
    hint.rwidth() += std::max(metrics.horizontalAdvance(longest) - limits, 0);
    return hint;
}

bool FloatInput::event(QEvent* event) {
    return show_tooltip(this, event) || QDoubleSpinBox::event(event);
}

void FloatInput::keyPressEvent(QKeyEvent* event) {
    if (!answer_key(this, event)) QDoubleSpinBox::keyPressEvent(event);
}

void FloatInput::focusOutEvent(QFocusEvent* event) {
    refuse_unreadable(this);
    QDoubleSpinBox::focusOutEvent(event);
}

} // namespace kxqt
