#include "test_access.h"

#include "operator_events.h"
#include "panel_registry.h"

namespace kxqt::test {

QWidget* panel_window(int panel) { return kxqt::panel_window(panel); }
QWidget* control(int panel, int control) { return control_widget(panel, control); }
int queued_commits() { return kxqt::queued_commits(); }

} // namespace kxqt::test
