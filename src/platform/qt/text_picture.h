// A read-only box of monospaced text that changes at every frame, the hex
// dump, drawn from a picture kept of it. Setting a plain text box's text
// rebuilds its document and lays out every line, and its paint lays the
// lines out again to draw them: for the hex dump, at each frame, that cost
// as much as the strip charts. The picture's lines are drawn as glyphs at
// the places the box's layout would give them, found once for the font,
// only the lines that changed, and a paint copies the picture.
//
// While it shows the picture, the box's document keeps the text it had; the
// operator's first reach for the text (a click, the keyboard focus, the
// wheel) gives the document the text shown, and from then on, while the box
// has the focus, it shows its text as any box does.
#pragma once

#include <QString>

class QPlainTextEdit;

namespace kxqt {

// Shows `text` in `box` from the box's picture; false when the box shows it
// otherwise (the caller then sets the box's text): a box that is editable,
// wraps, scrolls, has the focus, a font not of one width or a ground not of
// one colour, a text with characters other than printable ASCII and line
// breaks, a screen whose pixels are not the widget's, or no room at all.
bool show_as_picture(QPlainTextEdit* box, const QString& text);
// The text `box` shows, from its picture or its document.
QString text_shown(const QPlainTextEdit* box);

} // namespace kxqt
