// Reach into the Qt backend from the Qt tests: the widgets behind a panel
// handle and its control identifiers, and the commits not yet handed out.
// The graph and strip-chart widgets are kxqt::Graph (graph.h) and
// kxqt::StripChart (strip_chart.h).
#pragma once

class QWidget;

namespace kxqt::test {

// The window of a loaded panel; nullptr for an unknown handle.
QWidget* panel_window(int panel);
// The widget of a control; nullptr when the panel or the control is unknown.
QWidget* control(int panel, int control);
// Operator commits queued and not yet returned by GetUserEvent.
int queued_commits();

} // namespace kxqt::test
