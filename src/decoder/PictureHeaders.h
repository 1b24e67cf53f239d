#pragma once
// Header reading for the picture formats whose loaders trust their input: sizes before any pixel
// is allocated, structure checks for loaders that would otherwise loop or read garbage, and the
// rewrite of newer BMP info headers into the form the decoder library understands. Decoder side:
// no Qt here.

#include "imaging/PixelLimit.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quill::pictures {

struct PictureSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// A run-length coder does no better than one code of `codeBytes` bytes for `unitsPerCode` units
// (bytes or pixels): the fewest bytes that can hold `units` of them.
constexpr std::uint64_t leastRunLengthBytes(std::uint64_t units, std::uint64_t unitsPerCode,
                                            std::uint64_t codeBytes) {
    return (units + unitsPerCode - 1) / unitsPerCode * codeBytes;
}

// PCX (the first bytes of the file, and its length): a row of the claimed width fits the header's
// bytes per line, and the file is long enough for every row even if all of it came in runs of
// 63 bytes (two bytes each). A loader given less makes the rest up from whatever lies in memory.
bool pcxHoldsClaimedPicture(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize);

// BMP (the first bytes of the file, and its length): a run-length picture (RLE8 or RLE4) is long
// enough for its pixels in runs of 255 (two bytes each). Other BMPs, and heads too short to tell,
// pass.
bool bmpHoldsClaimedPicture(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize);

// A BMP whose info header is of version 2 to 5 (52, 56, 108 or 124 bytes) becomes the same
// picture with the 40-byte header (plus the three colour masks for bit-field pictures). Returns
// nothing when the data is no such BMP or its offsets do not fit.
std::optional<std::vector<std::uint8_t>> rewriteBmpToInfoHeader(const std::uint8_t* data,
                                                                std::size_t size);

// The info header size of a BMP file (0 when the data is too short or not "BM").
std::uint32_t bmpInfoHeaderSize(const std::uint8_t* data, std::size_t size);

// ILBM/PBM ("FORM"): the size from BMHD, provided BMHD precedes a BODY chunk and every chunk up
// to BODY lies inside the file, and BODY is long enough for all rows: uncompressed, or in
// ByteRun1 runs of 128 bytes (two bytes each).
std::optional<PictureSize> readIlbmSize(const std::uint8_t* data, std::size_t size);

// MNG: the size of the first embedded PNG or JNG picture, provided the signature, MHDR and
// every chunk up to that picture's IEND lie inside the file. The frame size of MHDR must be
// within the pixel limit as well (it is returned when it is the larger).
std::optional<PictureSize> readMngSize(const std::uint8_t* data, std::size_t size);

// Targa: the pixel data (raw, or run-length packets that stay inside the picture) is all there.
bool isSoundTarga(const std::uint8_t* data, std::size_t size);

// Sun raster: a known depth, and the pixel data (raw or run-length) covers every row.
bool isSoundSunRaster(const std::uint8_t* data, std::size_t size);

// Icon or cursor: the first picture's resource lies inside the file and holds the colour table,
// colour rows and mask rows its bitmap header claims (or is a PNG).
bool isSoundIcon(const std::uint8_t* data, std::size_t size);

// Koala Painter: exactly 10,003 bytes loaded at 0x6000.
bool isKoalaFile(const std::uint8_t* data, std::size_t size);
inline constexpr std::size_t kKoalaFileSize = 10003;

// Photo CD: where the picture of the given loader flags lies (0 and 1: the base picture 768 x 512,
// 2: base/4, 3: base/16), and the smallest file that holds it. Each picture is stored as
// luminance at full size plus two chrominance planes at half width and half height, at a fixed
// offset of the image pack.
struct PhotoCdResolution {
    std::uint64_t offset;
    std::uint32_t width;
    std::uint32_t height;
};
PhotoCdResolution photoCdResolution(int flags);
std::uint64_t photoCdRequiredSize(int flags);

} // namespace quill::pictures
