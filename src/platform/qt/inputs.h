// The numeric inputs of the panel. Each tells an operator's arrow step
// apart from the program's own writes, which must never raise a commit.
#pragma once

#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QVariant>

namespace kxqt {

// While the operator is typing into an input (it has the focus and its text
// was changed), a value the program writes there waits instead of
// overwriting what is being typed. Escape abandons the edit and shows the
// value; a commit of the operator's value ends the edit and drops it.
// False when the input is not being edited: the caller shows the value.
bool hold_while_editing(QAbstractSpinBox* input, const QVariant& value);
// The operator's value was committed: what the program writes shows again.
void end_edit(QAbstractSpinBox* input);

class IntInput : public QSpinBox {
    Q_OBJECT
  public:
    explicit IntInput(QWidget* parent = nullptr);
    void stepBy(int steps) override;
  signals:
    void stepped();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
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

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace kxqt
