#include "commit_wiring.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

#include "controls.h"
#include "inputs.h"
#include "operator_events.h"

namespace kxqt {
namespace {

constexpr const char* SEEN = "kxSeenValue";

// The window stays up until the program discards it; its close button only
// asks the program to quit.
class CloseToQuit : public QObject {
  public:
    CloseToQuit(int panel, QObject* parent) : QObject(parent), panel_(panel) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Close) return QObject::eventFilter(watched, event);
        event->ignore();
        queue_commit(panel_, PANEL_QUIT);
        return true;
    }

  private:
    int panel_;
};

// Enter always commits; leaving the field commits only an edited value.
template <class Input> void wire_input(int panel, int control, Input* input) {
    mark_seen(input);
    // A step commits the operator's value: a write held meanwhile is dropped.
    QObject::connect(input, &Input::stepped, input, [=] {
        end_edit(input);
        mark_seen(input);
        queue_commit(panel, control);
    });
    QObject::connect(input, &Input::editingFinished, input, [=] {
        bool entered = input->hasFocus();
        bool changed = input->property(SEEN).toDouble() != input->value();
        end_edit(input);
        if (!entered && !changed) return;
        mark_seen(input);
        queue_commit(panel, control);
    });
}

// A drag commits where it ends; a key or a click beside the handle commits
// at once (its new value is in by the time the commit is answered).
template <class Commit> void wire_slider(QAbstractSlider* slider, Commit commit) {
    QObject::connect(slider, &QAbstractSlider::sliderReleased, slider, commit);
    QObject::connect(slider, &QAbstractSlider::actionTriggered, slider, [=](int action) {
        if (action != QAbstractSlider::SliderMove) commit();
    });
}

void wire_control(int panel, int control, QWidget* widget) {
    auto commit = [=] { queue_commit(panel, control); };
    if (auto* whole = qobject_cast<IntInput*>(widget))
        wire_input(panel, control, whole);
    else if (auto* real = qobject_cast<FloatInput*>(widget))
        wire_input(panel, control, real);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        QObject::connect(button, &QAbstractButton::clicked, button, commit);
    else if (auto* choice = qobject_cast<QComboBox*>(widget))
        QObject::connect(choice, &QComboBox::activated, choice, commit);
    else if (auto* slider = qobject_cast<QAbstractSlider*>(widget))
        wire_slider(slider, commit);
    else if (auto* note = qobject_cast<QLineEdit*>(widget); note && control == PANEL_NOTE)
        // Enter adds the note, as its button does.
        QObject::connect(note, &QLineEdit::returnPressed, note,
                         [=] { queue_commit(panel, PANEL_ADD_NOTE); });
}

} // namespace

void wire_commits(int panel, QWidget* window, const Controls& controls) {
    window->installEventFilter(new CloseToQuit(panel, window));
    for (const auto& [control, widget] : controls)
        wire_control(panel, control, widget);
}

void mark_seen(QWidget* input) {
    if (auto* spin = qobject_cast<QSpinBox*>(input)) input->setProperty(SEEN, spin->value());
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(input)) input->setProperty(SEEN, spin->value());
}

} // namespace kxqt
