#pragma once
// Turning by quarter or half turns and mirroring, as one table of transform codes.

#include <QImage>

namespace quill {

// Bits of a transform code: one turn (or none) plus one mirror (or none).
inline constexpr int TurnLeft = 1;         // a quarter turn counter-clockwise
inline constexpr int TurnRight = 2;        // a quarter turn clockwise
inline constexpr int TurnHalf = 4;         // a half turn
inline constexpr int MirrorHorizontal = 8; // left and right exchanged, after the turn
inline constexpr int MirrorVertical = 16;  // top and bottom exchanged, after the turn

// True for 0 and the eleven codes that the two radio groups can produce.
bool isTransformCode(int code);

// True when the code swaps width and height.
bool turnsByQuarter(int code);

// The turned and mirrored picture, always Format_RGB888 (palette and other formats come back as
// true colour with the same colours). Code 0 gives an unchanged true-colour copy. Throws
// std::invalid_argument for a code outside isTransformCode() and PictureTooLarge when the result
// cannot be allocated. A null source gives a null result.
QImage rotatedAndMirrored(const QImage& source, int code);

// Rewrites the bitmap in place with rotatedAndMirrored(); on a failure the bitmap is unchanged.
void RotateAndMirror(QImage& bitmap, int code);

} // namespace quill
