#pragma once
// Run-length BMPs (8 and 4 bits per pixel) expanded into the uncompressed form before the decoder
// library sees them. Its own reader refuses the end-of-line marker that most encoders write after
// the last row, right before the end-of-bitmap marker; expanded here, no run-length quirk reaches
// it at all. Decoder side: no Qt here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quill::pictures {

// True for a BMP with an info header of 40 bytes or more whose compression is RLE8 or RLE4.
bool isRunLengthBmp(const std::uint8_t* data, std::size_t size);

// A run-length BMP with the 40-byte info header becomes the same picture as an uncompressed
// 8-bit BMP with the same colour table, stored bottom-up (a top-down source is turned the right
// way). Pixels the runs never reach (skipped by a delta, or left after an early end-of-bitmap)
// take colour index 0; runs past the end of a row are cut there. Nothing when the data is no
// such BMP, its colour table lies outside the file, its picture exceeds the pixel limit, or the
// run data ends before the last row is reached. cut, when given, tells whether runs or deltas
// went past a row's end or the picture's last row (their pixels are dropped).
std::optional<std::vector<std::uint8_t>> expandRunLengthBmp(const std::uint8_t* data,
                                                            std::size_t size, bool* cut = nullptr);

} // namespace quill::pictures
