// LoadPanel, PanelLoadError, DisplayPanel, DiscardPanel and GetUserEvent.
#include <QApplication>
#include <QWidget>
#include <cstring>
#include <string>

#include "application.h"
#include "backend_storage.h"
#include "commit_wiring.h"
#include "controls.h"
#include "group_frames.h"
#include "operator_events.h"
#include "paint_pace.h"
#include "panel_loader.h"
#include "panel_registry.h"
#include "runtime.h"
#include "screen_fit.h"

int LoadPanel(int parent, const char* file, int resource) {
    kxqt::application();
    if (parent != 0) {
        kxqt::backend.load_error = "panels are top-level only (parent 0)";
        return -1;
    }
    QString error;
    auto loaded = kxqt::load_panel_file(QString::fromLocal8Bit(file), resource, error);
    if (!loaded) {
        kxqt::backend.load_error = error.toStdString();
        return -1;
    }
    kxqt::pace_painting(loaded->window);
    kxqt::keep_group_frames(loaded->window);
    int handle = kxqt::add_panel(loaded->window, loaded->controls);
    kxqt::wire_commits(handle, loaded->window, loaded->controls);
    kxqt::backend.load_error.clear();
    return handle;
}

const char* PanelLoadError() { return kxqt::backend.load_error.c_str(); }

// The panel file's places serve every data file kxview reads beside it.
int FindDataFile(const char* name, char* path, int size) {
    kxqt::application(); // the program's directory is the application's to tell
    QString found =
        kxqt::find_panel_file(QString::fromLocal8Bit(name),
                              kxqt::panel_directories(QCoreApplication::applicationDirPath()));
    QByteArray bytes = found.toLocal8Bit();
    if (found.isEmpty() || bytes.size() >= size) return -1;
    std::memcpy(path, bytes.constData(), static_cast<size_t>(bytes.size()) + 1);
    return static_cast<int>(bytes.size());
}

int DisplayPanel(int panel) {
    QWidget* window = kxqt::panel_window(panel);
    if (!window) return -1;
    // A panel file drawn for a large screen still opens whole on a small one.
    kxqt::fit_on_screen(window);
    window->show();
    window->raise();
    return 0;
}

int SetPanelAttribute(int panel, int attribute, const char* value) {
    QWidget* window = kxqt::panel_window(panel);
    if (!window || !value || attribute != ATTR_TITLE) return -1;
    window->setWindowTitle(QString::fromUtf8(value));
    return 0;
}

int DiscardPanel(int panel) {
    QWidget* window = kxqt::remove_panel(panel);
    if (!window) return -1;
    // Deleting a window whose field is being edited ends the edit, which
    // queues a commit: dropped with the rest, for a handle that is gone.
    delete window;
    kxqt::drop_commits(panel);
    return 0;
}

int GetUserEvent(int wait, int* panel, int* control) {
    (void)wait; // the service loop only polls
    kxqt::application();
    QApplication::processEvents();
    if (kxqt::take_quit_signal()) kxqt::queue_commit(kxqt::first_panel(), PANEL_QUIT);
    kxqt::Commit commit{};
    if (!kxqt::take_commit(commit)) return 0;
    *panel = commit.panel;
    *control = commit.control;
    return 1;
}
