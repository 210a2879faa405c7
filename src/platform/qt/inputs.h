// The numeric inputs of the panel. Each tells an operator's arrow step
// apart from the program's own writes, which must never raise a commit.
// They show and read numbers in one format whatever the desktop's locale
// (number_text.h); a text that is not a number in it is refused when the
// operator commits it: the input shows the value in force again and says
// why, in a tooltip.
#pragma once

#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QVariant>

namespace kxqt {

// While the operator is typing into an input (it has the focus and its text
// was changed), a value the program writes there waits instead of
// overwriting what is being typed. Escape abandons the edit and shows the
// value in force: the one written meanwhile, or else the one the edit began
// with. A commit of the operator's value ends the edit and drops it.
// False when the input is not being edited: the caller shows the value.
bool hold_while_editing(QAbstractSpinBox* input, const QVariant& value);
// The operator's value was committed: what the program writes shows again.
void end_edit(QAbstractSpinBox* input);

class IntInput : public QSpinBox {
    Q_OBJECT
  public:
    explicit IntInput(QWidget* parent = nullptr);
    void stepBy(int steps) override;
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& position) const override;
    // Why `text` cannot be committed; empty when it can.
    QString refusal(const QString& text) const;
  signals:
    void stepped();

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

// Holds a value of single precision, as the program reads it, and shows the
// shortest text that reads back as it (0.001, 1234567, 1e-05).
class FloatInput : public QDoubleSpinBox {
    Q_OBJECT
  public:
    explicit FloatInput(QWidget* parent = nullptr);
    void stepBy(int steps) override;
    QString textFromValue(double value) const override;
    double valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& position) const override;
    QString refusal(const QString& text) const;
    // Wide enough for the longest text a value needs, whatever the range.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
  signals:
    void stepped();

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    QSize widened(QSize hint) const;
};

} // namespace kxqt
