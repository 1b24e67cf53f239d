#pragma once
// The EXIF "Orientation" of a photo: how its stored rows must be turned and mirrored to stand
// upright. Cameras and phones store a portrait photo as a landscape picture plus this tag; the
// decoder process reads it (decoder/ExifOrientation.h) and the program turns the picture.

#include <QImage>

#include <cstddef>
#include <cstdint>

namespace quill {

inline constexpr int kUpright = 1;

// The transform code (see Rotate.h) that makes a picture stored with the orientation upright; 0
// for kUpright and values outside 1 to 8.
int transformCodeForOrientation(int orientation);

// Turns and mirrors picture upright, in place. Nothing happens for kUpright.
void applyOrientation(QImage& picture, int orientation);

} // namespace quill
