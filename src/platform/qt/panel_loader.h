// Reads a panel resource from a panel file (a Qt Designer form) and checks
// that every control identifier has a widget of the right kind.
#pragma once

#include <QString>
#include <optional>

#include "panel_registry.h"

namespace kxqt {

struct LoadedPanel {
    QWidget* window;
    Controls controls;
};

// The path of the panel file `name`: a name with a directory as it is, a
// bare name from the working directory, the installed data directory or the
// source tree's ui/, in that order. Empty when there is none.
QString find_panel_file(const QString& name);

// The panel, or nothing with the reason in `error`.
std::optional<LoadedPanel> load_panel_file(const QString& name, int resource, QString& error);

} // namespace kxqt
