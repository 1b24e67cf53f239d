#pragma once
// The colours the program's own windows were laid out in. Their panels, strips and buttons have
// fixed light colours of their own; a desktop's dark palette would put its light texts on them.
// Qt's own dialogs (font, colour, message boxes) are left to the desktop.

#include <QPalette>

class QWidget;

namespace quill {

// A light palette: dark texts on light window, button and field colours.
const QPalette& layoutPalette();

// Gives a window of the program the layout's palette, whatever the application palette is now
// or becomes later. Call it before the window's controls are made: they take their colours from
// it.
void useLayoutPalette(QWidget& window);

} // namespace quill
