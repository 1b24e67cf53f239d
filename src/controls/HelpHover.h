#pragma once

#include "controls/PointerHover.h"

namespace quill {

// The "HELP" hover of the main window: the window's start and end reactions turn the label red
// and show the red cross, then turn it black and hide the cross again.
class HelpHover : public PointerHover {
    Q_OBJECT
public:
    using PointerHover::PointerHover;

    void StaticText1MouseMove() { pointerMoved(); }
};

} // namespace quill
