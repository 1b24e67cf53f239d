#pragma once
// Decoding a JPEG file with libjpeg in the decoder process: the whole picture, or one made smaller
// by libjpeg's DCT scaling for the preview, with the marker and size checks that bound its cost,
// the EXIF orientation and the conversion through an embedded colour profile. No Qt here.

#include "decoder/DecoderProtocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace quill::decode {

using Status = decoder_protocol::Status;

// Where the decoded rows go: 3 bytes a pixel (R, G, B), or 1 for a palette picture, whose colours
// (0xffRRGGBB) go to palette. A target with null pixels refuses the picture.
struct PixelTarget {
    std::uint8_t* pixels = nullptr;
    std::size_t stride = 0;
    std::uint32_t* palette = nullptr; // room for 256 colours when bytesPerPixel is 1
};
using PixelAllocate =
    std::function<PixelTarget(std::uint32_t width, std::uint32_t height, unsigned bytesPerPixel)>;

// What was learnt of the file, also when it did not decode: once its header was read, the
// header's facts are valid, as the program's JPEG object keeps them after a failed decode.
struct JpegFacts {
    bool headerRead = false;
    std::uint32_t width = 0; // the whole picture as stored
    std::uint32_t height = 0;
    bool grey = false;
    bool progressive = false; // more than one scan
    std::uint32_t orientation = 1;
    // The decoded rows.
    std::uint32_t rowsWidth = 0;
    std::uint32_t rowsHeight = 0;
    unsigned bytesPerPixel = 3;
    std::uint32_t colours = 0; // of the palette
    bool damaged = false;
    int error = 0; // libjpeg's message code when there is no picture
};

// Decodes file as ask says. Picture, or NoPicture / Refused with facts.error set.
Status decodeJpeg(std::span<const std::uint8_t> file, const decoder_protocol::JpegAsk& ask,
                  const PixelAllocate& allocate, JpegFacts& facts);

} // namespace quill::decode
