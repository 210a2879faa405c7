// Reads a panel resource from a panel file (a Qt Designer form) and checks
// that every control identifier has a widget of the right kind.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "panel_registry.h"

namespace kxqt {

struct LoadedPanel {
    QWidget* window;
    Controls controls;
};

// Where a bare panel file name is looked up, in order: the working directory,
// the data directory installed beside `program_directory` (bin/../share/kx),
// and, in a development build, the source tree's ui/.
QStringList panel_directories(const QString& program_directory);

// The path of the panel file `name`: a name with a directory as it is, a
// bare name from the first of `directories` that holds it. Empty when there
// is none.
QString find_panel_file(const QString& name, const QStringList& directories);

// The panel, or nothing with the reason in `error`.
std::optional<LoadedPanel> load_panel_file(const QString& name, int resource, QString& error);

} // namespace kxqt
