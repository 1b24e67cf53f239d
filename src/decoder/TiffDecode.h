#pragma once
// The TIFF files FreeImage reads wrong or refuses, read with libtiff from the file's bytes in
// memory: associated alpha, CIELab, signed and floating-point samples, 2-, 12- and 16-bit grey,
// CMYK in tiles or with an extra channel, tiles with separate planes, palettes whose 16-bit colour
// map holds only small values, files without a SamplesPerPixel tag, and every kind that libtiff
// turns while FreeImage reads it (JPEG-compressed, YCbCr, CMYK) when it carries an Orientation.
// Every other TIFF is left to FreeImage, so what becomes of it stays as it was. No Qt here.

#include "decoder/FreeImageDecode.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace quill::decode {

// Decodes the first picture of the TIFF in data into stored rows of RGB (sRGB when it embeds a
// usable profile), blending alpha onto white, and its Orientation tag (1 to 8) into orientation:
// the rows do not follow it. Nothing, and nothing touched, when FreeImage reads the file right;
// NoPicture for a file that is damaged or too short for the strips or tiles it claims; Refused
// for too many pixels, samples of a kind no picture has, or no memory for the rows.
std::optional<Status> decodeTiffItself(const std::uint8_t* data, std::size_t size,
                                       const Allocate& allocate, std::uint32_t& width,
                                       std::uint32_t& height, std::uint32_t* orientation);

// The same without asking whether FreeImage would read the file right: every TIFF libtiff can
// read. For the tests and tools that compare both readers.
Status decodeTiffAlways(const std::uint8_t* data, std::size_t size, const Allocate& allocate,
                        std::uint32_t& width, std::uint32_t& height, std::uint32_t* orientation);

} // namespace quill::decode
