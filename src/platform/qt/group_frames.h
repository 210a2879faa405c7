// The frames of a panel's group boxes, drawn once. A group box is painted
// again under any of its fields that changes, and the style draws its frame
// and title anew each time, laying out the title's text: with the fields
// changing at every frame, that costs as much as the fields themselves.
#pragma once

#include <QString>

class QWidget;

namespace kxqt {

// Has every group box in `window` paint from a picture of itself, made
// again when its size, title, look or state changes.
void keep_group_frames(QWidget* window);

// The name of the window's child that does it.
inline const QString GROUP_FRAMES_NAME = QStringLiteral("kx group frames");

} // namespace kxqt
