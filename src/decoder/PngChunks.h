#pragma once
// A PNG file made ready for FreeImage's loader so that it costs no more than its rows: libpng
// inflates every compressed text chunk whether anyone reads it or not, and after the last row it
// inflates whatever the picture data holds beyond the rows to its very end. A file of a few
// megabytes can hold gigabytes of either. No Qt here.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quill::decode {

// What the chunks say about a PNG file's pixels.
struct PngFacts {
    bool header = false;         // a sound IHDR came first
    std::uint8_t bitDepth = 0;   // 1, 2, 4, 8 or 16
    std::uint8_t colourType = 0; // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    std::uint32_t gamma = 0;     // gAMA times 100000; 0 without one
    bool colourSpace = false;    // an sRGB or iCCP chunk, which take precedence over gAMA
    bool surplusCut = false;     // the picture data held more than the rows and was cut
    int transparentGrey = -1;    // a grey picture's tRNS value as stored; -1 without one
};

// Rewrites the file in place: every text chunk (tEXt, zTXt, iTXt) becomes an empty private chunk,
// so the chunks keep their order and places, and when the picture data inflates to more than the
// rows, it is replaced by the rows alone, stored without compression. The rows are inflated at
// most once here (and only as far as the rows go); a file whose chunks cannot be walked, or whose
// data ends before its rows, is left as it is, for the loader to refuse.
PngFacts preparePngForLoader(std::vector<std::uint8_t>& file);

// The bytes of the rows as they are compressed: for each row of each pass (all of them when not
// interlaced) its filter byte and its pixels. 0 for a header no reader takes.
std::uint64_t pngRawBytes(std::uint32_t width, std::uint32_t height, unsigned bitDepth,
                          unsigned colourType, bool interlaced);

// The 8-bit levels a gAMA of gamma (times 100000) gives on a display of gamma 2.2, worked out as
// libpng does for the kinds it corrects itself (8-bit grey and colour); every level stays as it is
// when the correction is too small to matter.
std::array<std::uint8_t, 256> pngGammaLevels(std::uint32_t gamma);

} // namespace quill::decode
