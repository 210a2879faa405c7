// The loaded panels by handle, and their controls by identifier.
#pragma once

#include <map>

class QWidget;

namespace kxqt {

using Controls = std::map<int, QWidget*>;

// Returns the new panel's handle (> 0).
int add_panel(QWidget* window, const Controls& controls);
// Takes the panel out and returns its window for the caller to destroy
// (nullptr for an unknown handle).
QWidget* remove_panel(int handle);
QWidget* panel_window(int handle);
QWidget* control_widget(int handle, int control);
// A panel that is loaded, or 0: the addressee of a quit by signal.
int first_panel();

} // namespace kxqt
