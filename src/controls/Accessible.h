#pragma once
// What a screen reader learns of the program's own controls: the push buttons, the hover label,
// the static texts and the pictures the keyboard can press are buttons with a press action, named
// by their caption (or the name the window gives them); other pictures are graphics.

namespace quill {

// Installs the interfaces once for the whole process; later calls do nothing.
void installControlAccessibility();

} // namespace quill
