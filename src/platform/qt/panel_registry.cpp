#include "panel_registry.h"

#include <QPointer>
#include <QWidget>

namespace kxqt {
namespace {

struct Panel {
    QPointer<QWidget> window;
    Controls controls;
};

std::map<int, Panel>& panels() {
    static std::map<int, Panel> loaded;
    return loaded;
}

int next_handle = 1;

} // namespace

int add_panel(QWidget* window, const Controls& controls) {
    int handle = next_handle++;
    panels()[handle] = {window, controls};
    return handle;
}

QWidget* remove_panel(int handle) {
    auto found = panels().find(handle);
    if (found == panels().end()) return nullptr;
    QWidget* window = found->second.window;
    panels().erase(found);
    return window;
}

QWidget* panel_window(int handle) {
    auto found = panels().find(handle);
    return found == panels().end() ? nullptr : found->second.window.data();
}

QWidget* control_widget(int handle, int control) {
    auto found = panels().find(handle);
    if (found == panels().end() || !found->second.window) return nullptr;
    auto widget = found->second.controls.find(control);
    return widget == found->second.controls.end() ? nullptr : widget->second;
}

int first_panel() { return panels().empty() ? 0 : panels().begin()->first; }

} // namespace kxqt
