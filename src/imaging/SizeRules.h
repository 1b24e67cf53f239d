#pragma once
// The four size rules, the explanation texts that go with them, how the target fields are read,
// and the limits that keep an output bitmap allocatable.

#include "platform/Failure.h"

#include <QSize>
#include <QString>
#include <cstdint>

namespace quill {

// Size modes: 1 if the width box is ticked plus 2 if the height box is ticked.
inline constexpr int SizeModeNeither = 0;
inline constexpr int SizeModeWidth = 1;
inline constexpr int SizeModeHeight = 2;
inline constexpr int SizeModeBoth = 3;

// Everything a run needs to size one picture.
struct SizeRule {
    bool resize = true; // "Grösse ändern"
    int mode = SizeModeNeither;
    int targetWidth = 200;
    int targetHeight = 200;
};

// Label texts, exactly as the window shows them.
QString explanationText(int sizeMode);
QString originalSizeText();       // resizing off
QString targetsNotPositiveText(); // a target below 1 at "Start"
QString targetsTooLargeText();    // a target that no output bitmap could hold

// The largest output side: a JPEG file cannot hold more.
inline constexpr int MaxOutputSide = 65500;
// The largest output bitmap in bytes at three bytes per pixel.
inline constexpr std::int64_t MaxOutputBytes = std::int64_t{1} << 30;

// True when a true-colour bitmap of this size stays within the limits above.
bool fitsOutputLimits(std::int64_t width, std::int64_t height);

// A picture that cannot be allocated; the text names its size.
class PictureTooLarge : public Failure {
public:
    PictureTooLarge(std::int64_t width, std::int64_t height);
};

// Reads a target field: leading white space skipped, an optional sign, then decimal digits up to
// the first other character; no digits give 0. Values beyond 32 bits saturate.
int readDecimalInteger(const QString& text);

// Outcome of checking the targets at "Start".
enum class TargetCheck { Ok, NotPositive, TooLarge };

// Both targets are checked, whatever the size mode; with both boxes ticked the output size is
// known and must also fit in memory.
TargetCheck checkTargets(int targetWidth, int targetHeight, int sizeMode);

// target / a * b, rounded to single precision before it is truncated toward zero; results beyond
// 32 bits saturate.
int Scale(int target, int a, int b);

// The output size of a width x height picture (both at least 1). No side is ever 0: a side that
// the arithmetic makes 0 becomes 1, so no empty JPEG file is written.
QSize ComputeOutputSize(int width, int height, const SizeRule& rule);

} // namespace quill
