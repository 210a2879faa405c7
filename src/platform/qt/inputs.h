// The numeric inputs of the panel. Each tells an operator's arrow step
// apart from the program's own writes, which must never raise a commit.
#pragma once

#include <QDoubleSpinBox>
#include <QSpinBox>

namespace kxqt {

class IntInput : public QSpinBox {
    Q_OBJECT
  public:
    explicit IntInput(QWidget* parent = nullptr);
    void stepBy(int steps) override;
  signals:
    void stepped();
};

// Shows as many significant digits as the value needs (0.001 and 1e-05,
// not 0.00), since axis limits of a logarithmic graph span decades.
class FloatInput : public QDoubleSpinBox {
    Q_OBJECT
  public:
    explicit FloatInput(QWidget* parent = nullptr);
    void stepBy(int steps) override;
    QString textFromValue(double value) const override;
    double valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& position) const override;
  signals:
    void stepped();
};

} // namespace kxqt
