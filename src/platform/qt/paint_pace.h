// Painting at screen pace. Frames can arrive hundreds a second and a screen
// shows about thirty pictures: every change lands in the widgets at once, but
// a panel's window paints its latest state at most once a pace interval, and
// not at all while it is hidden or minimised.
#pragma once

class QLineEdit;
class QPlainTextEdit;
class QString;
class QWidget;

namespace kxqt {

// Holds back the painting of `window`, a panel's top-level widget, to the
// pace for as long as the window lives.
void pace_painting(QWidget* window);

class PlotView;

// Asks for a paint of the paced window that holds `view`, within the pace,
// with `view` refreshed just before it. False when that window is not paced.
bool request_paint(PlotView* view);

// Gives `box` its text just before the paced window that holds it paints,
// from a picture of its lines where it can (text_picture.h): a long text is
// shown once a paint, however often it changes in between. False when that
// window is not paced.
bool show_at_paint(QPlainTextEdit* box, const QString& text);

// Shows limit `state` on `field` just before the paced window that holds it
// paints (at once when that window is not paced): a value that crosses its
// limit with every frame restyles its field once a picture. False for a
// state not known.
bool show_limit_state_at_paint(QLineEdit* field, int state);

} // namespace kxqt
