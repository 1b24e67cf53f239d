#pragma once
// The look of the main window's buttons.

#include <QString>

namespace quill {

class TXAquaButton;

// Gives one of the main window's four aqua buttons its look, in the order the window applies
// it: the "Start" button (isStart) has the red mouse-over gradient and its own mouse-over
// colours. Font attributes are set on the button's own objects, so the last style rebuild comes
// before the window's Font and the normal caption keeps the construction font's shade colour
// until the pointer has entered and left the button once.
void applyMainWindowLook(TXAquaButton& button, const QString& text, bool isStart);

} // namespace quill
