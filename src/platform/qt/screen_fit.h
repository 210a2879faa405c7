// A panel window opens whole on the screen, its window manager's frame
// included, whatever size its panel file draws it at.
#pragma once

class QWidget;

namespace kxqt {

// Call before the window is first shown. The frame's extents are known only
// once a window manager has framed the window, which may be after it shows:
// the window is fitted again then, once.
void fit_on_screen(QWidget* window);

} // namespace kxqt
