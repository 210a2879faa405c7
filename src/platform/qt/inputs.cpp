#include "inputs.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <limits>

#include "commit_wiring.h"

namespace kxqt {
namespace {

// The program's latest value, held while the operator edits the input.
constexpr const char* HELD = "kxHeldValue";

QLineEdit* text_of(const QAbstractSpinBox* input) { return input->findChild<QLineEdit*>(); }

// Escape shows the value the program wrote during the edit, if any.
template <class Input> bool show_held(Input* input, const QKeyEvent* event) {
    QVariant held = input->property(HELD);
    if (event->key() != Qt::Key_Escape || !held.isValid()) return false;
    end_edit(input);
    input->setValue(held.value<decltype(input->value())>());
    mark_seen(input);
    return true;
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
}

void IntInput::stepBy(int steps) {
    QSpinBox::stepBy(steps);
    emit stepped();
}

void IntInput::keyPressEvent(QKeyEvent* event) {
    if (!show_held(this, event)) QSpinBox::keyPressEvent(event);
}

FloatInput::FloatInput(QWidget* parent) : QDoubleSpinBox(parent) {
    // The spin box rounds every value to its decimals: keep far more than a
    // float holds, and let textFromValue decide what is shown.
    setDecimals(12);
    setRange(-1e9, 1e9);
}

void FloatInput::stepBy(int steps) {
    QDoubleSpinBox::stepBy(steps);
    emit stepped();
}

void FloatInput::keyPressEvent(QKeyEvent* event) {
    if (!show_held(this, event)) QDoubleSpinBox::keyPressEvent(event);
}

QString FloatInput::textFromValue(double value) const { return locale().toString(value, 'g', 6); }

double FloatInput::valueFromText(const QString& text) const {
    return locale().toDouble(text.trimmed());
}

QValidator::State FloatInput::validate(QString& text, int& position) const {
    (void)position;
    QString trimmed = text.trimmed();
    bool ok = false;
    locale().toDouble(trimmed, &ok);
    if (ok) return QValidator::Acceptable;
    // A number on its way: "-", "1e", "0." and the like.
    static const QString partial = QStringLiteral("+-.eE");
    if (trimmed.isEmpty() || partial.contains(trimmed.back())) return QValidator::Intermediate;
    return QValidator::Invalid;
}

} // namespace kxqt
