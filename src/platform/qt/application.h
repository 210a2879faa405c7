// The one QApplication of the process, created on first need so that the
// program's core never has to know about Qt.
#pragma once

class QCoreApplication;

namespace kxqt {

// Creates the application on the first call (and arms SIGINT and SIGTERM so
// that each becomes a quit request); later calls return the same one. It is
// a QApplication when the window system can start, else a QCoreApplication,
// enough for the serial port and the timers but for no panel (OpenDisplay
// tells which).
QCoreApplication& application();

// True when the application exists already: waits need no painting before.
bool application_exists();

// True once for every SIGINT or SIGTERM received since the last call.
bool take_quit_signal();

} // namespace kxqt
