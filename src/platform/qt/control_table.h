// Which widget of the panel file stands for each control identifier.
#pragma once

#include <span>

namespace kxqt {

struct ControlEntry {
    int id;
    const char* name;       // the widget's objectName in the panel file
    const char* class_name; // the widget must be of this class or derive from it
    bool required;          // a panel file without it does not load
};

std::span<const ControlEntry> control_entries();

// The object name of the panel resource (only resource 1, "PANEL", exists);
// nullptr for an unknown resource.
const char* panel_name(int resource);

} // namespace kxqt
