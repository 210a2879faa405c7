// A value field's limit state: its colour, a frame and a badge, painted over it.
#pragma once

class QLineEdit;

namespace kxqt {

// Shows `state` (LimitShow) on `field`; false for a state not known. The
// field's text stays as the program writes it, so what is read back is only
// ever the value; the state is painted over the field, text and all.
bool show_limit_state(QLineEdit* field, int state);

} // namespace kxqt
