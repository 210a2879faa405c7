// The Qt backend's working storage: what it keeps for the life of the
// process, in one place. One instance, `backend`. The quit flag that a
// signal handler sets stays apart (application.cpp): a handler may touch
// nothing but a volatile sig_atomic_t.
#pragma once

#include <QPointer>
#include <QWidget>
#include <deque>
#include <map>
#include <string>

#include "operator_events.h"
#include "panel_registry.h"

class QCoreApplication;
struct xcb_connection_t;

namespace kxqt {

struct Port; // serial_port.cpp

struct PanelEntry {
    QPointer<QWidget> window; // null once the window is gone
    Controls controls;        // its widgets by control identifier
};

struct BackendStorage {
    // The application object, made by the first operation that needs one and
    // never destroyed; with `gui` false, a core application: no window
    // system, while the serial port and the timers still work.
    QCoreApplication* application = nullptr;
    bool gui = false;
    // The display probe's X connection, held until Qt has its own: an X
    // server whose last client leaves starts over and turns away whoever
    // connects meanwhile.
    xcb_connection_t* probe_connection = nullptr;
    std::map<int, PanelEntry> panels; // by handle
    int next_handle = 1;
    std::string load_error;     // why the last LoadPanel failed
    std::deque<Commit> commits; // operator commits not yet handed out, oldest first
    Port* open_port = nullptr;  // COM1 while it is open
    std::string open_error;     // why the last OpenComConfig failed
};

extern BackendStorage backend;

} // namespace kxqt
