#pragma once
// Facts that FreeImage's loaders (as Debian builds them) read but do not pass on: a PNG's
// embedded colour profile (iCCP) and a TIFF's Orientation tag. Read straight from the file's
// bytes, in the decoder process. No Qt here.

#include <cstdint>
#include <span>
#include <vector>

namespace quill::decode {

// The uncompressed ICC profile of a PNG file's iCCP chunk; empty without one or when the chunk
// cannot be read.
std::vector<std::uint8_t> pngIccProfile(std::span<const std::uint8_t> file);

// The Orientation (1 to 8) of a TIFF file's first picture, where FreeImage hands its rows over as
// stored; 1 without a valid tag, and for the kinds of TIFF that libtiff itself turns while
// reading (those FreeImage reads as RGBA), so that no picture is turned twice.
std::uint32_t tiffOrientation(std::span<const std::uint8_t> file);

} // namespace quill::decode
