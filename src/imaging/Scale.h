#pragma once
// Scaling the working bitmap into the output bitmap: nearest neighbour, each output pixel a copy
// of exactly one source pixel, no averaging.

#include "imaging/SizeRules.h"

#include <QImage>
#include <QSize>

namespace quill {

// Makes `output` a Format_RGB888 bitmap of `size` holding `source` stretched over it. The output's
// memory is reused when it already has that size and format. Throws PictureTooLarge when the size
// is beyond the output limits or cannot be allocated (the output is then left as it was).
void stretchNearest(const QImage& source, QImage& output, QSize size);

// Makes `output` an unscaled Format_RGB888 copy of `source` (resizing off).
void copyUnscaled(const QImage& source, QImage& output);

// The whole step of a run: computes the output size of `working` by the rule and fills `output`;
// returns the output size.
QSize scaleToOutput(const QImage& working, QImage& output, const SizeRule& rule);

} // namespace quill
