#pragma once
// The formats phones, cameras and the web bring today, each read with its own library from the
// file's bytes in the decoder process: HEIF and AVIF (libheif), JPEG XL (libjxl), WebP (libwebp),
// camera raw (LibRaw). Each gives upright RGB rows where its format says how to turn the picture
// (HEIF's transforms, JPEG XL's orientation), in sRGB, alpha blended onto white. No Qt here.

#include "decoder/DecodeTarget.h"

#include <optional>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quill::decode {

using Bytes = std::span<const std::uint8_t>;

// What the libraries need from files: libheif's codec plugins. Done once; the decoder process
// calls it before it confines itself, since the plugins are loaded from a folder.
void prepareModernReaders();

// NoPicture for damaged, truncated or foreign files, Refused for too many pixels or no memory.
Status decodeHeif(Bytes file, const Allocate& allocate, std::uint32_t& width,
                  std::uint32_t& height);
Status decodeJxl(Bytes file, const Allocate& allocate, std::uint32_t& width, std::uint32_t& height);
// The first frame of an animation, composited on its canvas.
Status decodeWebp(Bytes file, const Allocate& allocate, std::uint32_t& width,
                  std::uint32_t& height);
// The rows as the sensor lies; orientation receives the camera's (1 to 8), which the program
// applies as it does a TIFF's.
Status decodeRaw(Bytes file, const Allocate& allocate, std::uint32_t& width, std::uint32_t& height,
                 std::uint32_t* orientation);

// A JPEG (a raw's preview) through FreeImage's loader, with its embedded profile; nothing, before
// any rows are asked for, when it cannot be read.
std::optional<Status> decodeJpegPreview(Bytes jpeg, const Allocate& allocate, std::uint32_t& width,
                                        std::uint32_t& height);

// Decoded pixels of 8 bits, three (RGB) or four (RGBA) to a pixel.
struct SourceRows {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned channels = 3;
    bool premultiplied = false;
};

// Asks allocate for the rows, blends alpha onto white and converts through the ICC profile
// (when there is one) to sRGB. Refused when no rows are given.
Status deliverRows(const SourceRows& source, const Allocate& allocate, Bytes profile,
                   std::uint32_t& width, std::uint32_t& height);

// Converts rows already in the target through the profile to sRGB.
void convertRowsToSrgb(std::uint8_t* rows, std::size_t stride, std::uint32_t width,
                       std::uint32_t height, Bytes profile);

// The chromaticities a picture's colour description (nclx, H.273) names.
struct Chromaticities {
    double white[2];
    double red[2];
    double green[2];
    double blue[2];
};
// An ICC profile for RGB of these primaries and the H.273 transfer characteristic; empty for the
// transfers no 8-bit picture is shown through a profile (PQ, HLG) and for ones unknown.
std::vector<std::uint8_t> profileForPrimaries(const Chromaticities& primaries, int transfer);

} // namespace quill::decode
