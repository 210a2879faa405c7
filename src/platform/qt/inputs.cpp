#include "inputs.h"

#include <limits>

namespace kxqt {

IntInput::IntInput(QWidget* parent) : QSpinBox(parent) {
    setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

void IntInput::stepBy(int steps) {
    QSpinBox::stepBy(steps);
    emit stepped();
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
