#include "panel_registry.h"

#include <QPointer>
#include <QWidget>

#include "backend_storage.h"

namespace kxqt {
namespace {

std::map<int, PanelEntry>& panels() { return backend.panels; }

} // namespace

int add_panel(QWidget* window, const Controls& controls) {
    int handle = backend.next_handle++;
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
