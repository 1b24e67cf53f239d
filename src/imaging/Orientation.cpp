#include "imaging/Orientation.h"

#include "imaging/Rotate.h"

namespace quill {

int transformCodeForOrientation(int orientation) {
    switch (orientation) {
    case 2: // stored mirrored
        return MirrorHorizontal;
    case 3: // stored upside down
        return TurnHalf;
    case 4: // stored upside down and mirrored
        return MirrorVertical;
    case 5: // stored transposed
        return TurnRight | MirrorHorizontal;
    case 6: // stored turned a quarter to the left
        return TurnRight;
    case 7: // stored transposed across the other diagonal
        return TurnLeft | MirrorHorizontal;
    case 8: // stored turned a quarter to the right
        return TurnLeft;
    default:
        return 0;
    }
}

void applyOrientation(QImage& picture, int orientation) {
    const int code = transformCodeForOrientation(orientation);
    if (code != 0 && !picture.isNull()) {
        RotateAndMirror(picture, code);
    }
}

} // namespace quill
