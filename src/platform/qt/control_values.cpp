// GetCtrlVal, SetCtrlVal and SetCtrlAttribute.
#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <cmath>
#include <cstring>
#include <limits>

#include "alarm_list.h"
#include "commit_wiring.h"
#include "controls.h"
#include "graph.h"
#include "inputs.h"
#include "paint_pace.h"
#include "panel_registry.h"
#include "runtime.h"

namespace {

constexpr int FAILED = -1;
// Significant digits of a double display unless its "digits" property says
// otherwise: enough to tell apart counter values ten decimal digits long.
constexpr int DEFAULT_DIGITS = 10;
// Marks the choice item that shows a value written by the program.
const QString WRITTEN_ITEM = QStringLiteral("written");

// A choice's items carry their integer values in the "values" property, in
// item order; an item's text is only what the operator reads.
int choice_value(const QComboBox* choice, int index) {
    return choice->property("values").toStringList().value(index).toInt();
}

void select_choice(QComboBox* choice, int value) {
    for (int i = 0; i < choice->count(); ++i) {
        if (choice_value(choice, i) == value) {
            choice->setCurrentIndex(i);
            return;
        }
    }
    // A value without an item of its own is shown as the number itself, in
    // one extra item that the next such value replaces.
    QStringList values = choice->property("values").toStringList();
    int extra = choice->findData(WRITTEN_ITEM);
    if (extra >= 0) {
        choice->removeItem(extra);
        values.removeAt(extra);
    }
    values << QString::number(value);
    choice->setProperty("values", values);
    choice->addItem(QString::number(value), WRITTEN_ITEM);
    choice->setCurrentIndex(choice->count() - 1);
}

bool read_value(QWidget* widget, double& value) {
    if (auto* spin = qobject_cast<QSpinBox*>(widget))
        value = spin->value();
    else if (auto* real = qobject_cast<QDoubleSpinBox*>(widget))
        value = real->value();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        value = button->isChecked();
    else if (auto* choice = qobject_cast<QComboBox*>(widget))
        value = choice_value(choice, choice->currentIndex());
    else if (auto* slider = qobject_cast<QAbstractSlider*>(widget))
        value = slider->value();
    else if (auto* table = qobject_cast<QTableWidget*>(widget))
        value = kxqt::selected_alarm(table);
    else
        return false;
    return true;
}

int clamp_to_int(double value) {
    constexpr double low = std::numeric_limits<int>::min();
    constexpr double high = std::numeric_limits<int>::max();
    if (std::isnan(value)) return 0;
    return static_cast<int>(value < low ? low : value > high ? high : value);
}

int show_text(QWidget* widget, const QString& text) {
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        // Setting a text lays it out and repaints the field: most fields
        // show the same text frame after frame.
        if (line->text() == text) return 0;
        line->setText(text);
        line->setCursorPosition(0);
    } else if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) {
        if (!kxqt::show_at_paint(box, text)) box->setPlainText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else {
        return FAILED;
    }
    return 0;
}

// Inputs take the number, unless the operator is typing into them; displays
// show `text`.
int show_number(QWidget* widget, double value, const QString& text) {
    if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
        if (kxqt::hold_while_editing(spin, clamp_to_int(value))) return 0;
        spin->setValue(clamp_to_int(value));
    } else if (auto* real = qobject_cast<QDoubleSpinBox*>(widget)) {
        if (kxqt::hold_while_editing(real, value)) return 0;
        real->setValue(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setChecked(value != 0);
    else if (auto* choice = qobject_cast<QComboBox*>(widget))
        select_choice(choice, clamp_to_int(value));
    else if (auto* slider = qobject_cast<QAbstractSlider*>(widget)) {
        // The operator's drag goes on; its end commits where it stopped.
        if (!slider->isSliderDown()) slider->setValue(clamp_to_int(value));
    } else
        return show_text(widget, text);
    kxqt::mark_seen(widget);
    return 0;
}

QString double_text(const QWidget* widget, double value) {
    QVariant digits = widget->property("digits");
    return QString::number(value, 'g', digits.isValid() ? digits.toInt() : DEFAULT_DIGITS);
}

// The run-ended text stands in for the panel file's own tooltip, which is
// kept here to come back when the mark is cleared.
const char* const FILE_TOOLTIP = "fileToolTip";

void set_run_state(QWidget* widget, int value) {
    if (!widget->property(FILE_TOOLTIP).isValid())
        widget->setProperty(FILE_TOOLTIP, widget->toolTip());
    widget->setProperty("runState", value);
    // With no plots left, Add or Subtract alone would end the run again at
    // the next frame.
    widget->setToolTip(value == RUN_ENDED
                           ? QStringLiteral("Accumulation run ended: no frames are being "
                                            "accumulated. To start again, raise Plots left "
                                            "above 0, then choose Add or Subtract.")
                           : widget->property(FILE_TOOLTIP).toString());
    // The panel file's style sheet draws the state: have it looked at again.
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

int set_mapping(QWidget* widget, int attribute, int value) {
    auto* graph = qobject_cast<kxqt::Graph*>(widget);
    if (!graph || (value != 0 && value != 1)) return FAILED;
    if (attribute == ATTR_XMAP_MODE)
        graph->set_x_log(value == 1);
    else
        graph->set_y_log(value == 1);
    return 0;
}

// A label that names a control comes and goes with it.
void set_visible(QWidget* widget, bool visible) {
    widget->setVisible(visible);
    for (QLabel* label : widget->window()->findChildren<QLabel*>())
        if (label->buddy() == widget) label->setVisible(visible);
}

int set_limit_state(QWidget* widget, int value) {
    auto* field = qobject_cast<QLineEdit*>(widget);
    return field && kxqt::show_limit_state_at_paint(field, value) ? 0 : FAILED;
}

int set_maximum(QWidget* widget, int value) {
    auto* slider = qobject_cast<QAbstractSlider*>(widget);
    if (!slider) return FAILED;
    slider->setMaximum(value);
    return 0;
}

} // namespace

int GetCtrlVal(int panel, int control, int* value) {
    double read = 0.0;
    if (!read_value(kxqt::control_widget(panel, control), read)) return FAILED;
    *value = clamp_to_int(read);
    return 0;
}

int GetCtrlVal(int panel, int control, float* value) {
    double read = 0.0;
    if (!read_value(kxqt::control_widget(panel, control), read)) return FAILED;
    *value = static_cast<float>(read);
    return 0;
}

int GetCtrlVal(int panel, int control, char* value, int size) {
    auto* line = qobject_cast<QLineEdit*>(kxqt::control_widget(panel, control));
    if (!line || size < 1) return FAILED;
    QByteArray text = line->text().toUtf8().left(size - 1);
    std::memcpy(value, text.constData(), static_cast<size_t>(text.size()));
    value[text.size()] = '\0';
    return 0;
}

int SetCtrlVal(int panel, int control, int value) {
    QWidget* widget = kxqt::control_widget(panel, control);
    if (!widget) return FAILED;
    return show_number(widget, value, QString::number(value));
}

int SetCtrlVal(int panel, int control, double value) {
    QWidget* widget = kxqt::control_widget(panel, control);
    if (!widget) return FAILED;
    return show_number(widget, value, double_text(widget, value));
}

int SetCtrlVal(int panel, int control, const char* value) {
    QWidget* widget = kxqt::control_widget(panel, control);
    if (!widget || !value) return FAILED;
    return show_text(widget, QString::fromLocal8Bit(value));
}

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    QWidget* widget = kxqt::control_widget(panel, control);
    if (!widget) return FAILED;
    switch (attribute) {
    case ATTR_RUN_STATE: set_run_state(widget, value); return 0;
    case ATTR_DIMMED: widget->setEnabled(value == 0); return 0;
    case ATTR_VISIBLE: set_visible(widget, value != 0); return 0;
    case ATTR_MAX_VALUE: return set_maximum(widget, value);
    case ATTR_LIMIT_STATE: return set_limit_state(widget, value);
    case ATTR_XMAP_MODE:
    case ATTR_YMAP_MODE: return set_mapping(widget, attribute, value);
    default: return FAILED;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
    QWidget* widget = kxqt::control_widget(panel, control);
    if (!widget || !value) return FAILED;
    QString text = QString::fromUtf8(value);
    if (attribute == ATTR_TOOLTIP)
        widget->setToolTip(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget);
             button && attribute == ATTR_LABEL_TEXT)
        button->setText(text);
    else
        return FAILED;
    return 0;
}

int SetActiveCtrl(int panel, int control) {
    QWidget* widget = kxqt::control_widget(panel, control);
    if (!widget) return FAILED;
    widget->setFocus(Qt::OtherFocusReason);
    return 0;
}
