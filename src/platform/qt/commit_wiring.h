// Turns the operator's gestures on a panel into queued commits. Only
// gestures commit: values the program writes never do.
#pragma once

#include "panel_registry.h"

namespace kxqt {

// Buttons commit on click, numeric inputs on Enter, on leaving the field
// with a changed value and on arrow steps, switches and choices on the
// operator's change. Closing the window commits PANEL_QUIT instead.
void wire_commits(int panel, QWidget* window, const Controls& controls);

// Records the value an input shows now as seen, after a program write: only
// an operator's change makes leaving the field a commit.
void mark_seen(QWidget* input);

} // namespace kxqt
