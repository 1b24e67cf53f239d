#pragma once
// Rewrites of picture files, in memory, into a form the decoder library reads right: each takes
// a whole file's bytes and gives the same picture in a plainer form of the same format, or
// nothing when the file needs no rewrite (or is not sound enough to rewrite). Decoder side: no Qt
// and no decoder library here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quill::pictures {

// A BMP of 16 or 32 bits per pixel with colour masks the library misreads (any 32-bit layout but
// 8-8-8 in the usual places, any alpha mask on 16 bits, an alpha mask after a 40-byte header)
// becomes an uncompressed 32-bit BMP with a 40-byte header: each channel read through its mask
// and scaled to 8 bits, alpha likewise or 0 when there is no alpha mask (a picture whose alpha is
// zero everywhere counts as opaque). The rows keep their order and the height its sign.
bool needsBitfieldRewrite(const std::uint8_t* data, std::size_t size);
std::optional<std::vector<std::uint8_t>> rewriteBitfieldBmp(const std::uint8_t* data,
                                                            std::size_t size);

// An icon whose first picture has a bitmap header of 108 or 124 bytes becomes an icon holding
// that one picture with the 40-byte header, and without the colour profile it embeds.
std::optional<std::vector<std::uint8_t>> rewriteIconToInfoHeader(const std::uint8_t* data,
                                                                 std::size_t size);

// The colour profile embedded in an icon's first picture (a 124-byte header); empty without one.
std::vector<std::uint8_t> iconIccProfile(const std::uint8_t* data, std::size_t size);

// The bits per pixel of an icon's first picture (0 when it is a PNG or cannot be told).
unsigned iconBitsPerPixel(const std::uint8_t* data, std::size_t size);

// A Sun raster file that is run-length coded, or of one bit per pixel, becomes an uncompressed
// one: bits without a colour map (where a set bit is black) turned, so that clear bits are black;
// bits with a map widened to a byte per pixel. Nothing for other files, and when the data does
// not cover every row.
std::optional<std::vector<std::uint8_t>> rewriteSunRaster(const std::uint8_t* data,
                                                          std::size_t size);

// A plain portable bitmap (P1) whose digits run together becomes one with a blank after every
// digit. Nothing when no two digits touch, or the data is no such file.
std::optional<std::vector<std::uint8_t>> spacePlainBitmap(const std::uint8_t* data,
                                                          std::size_t size);

} // namespace quill::pictures
