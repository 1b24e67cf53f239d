#pragma once
// Where a decoded picture goes and what became of the file: shared by every reader of the decoder
// process, also those that must not see FreeImage's header (LibRaw's defines the same names).

#include "decoder/DecoderProtocol.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quill::decode {

// What became of a file: the status the decoder process replies with.
using Status = decoder_protocol::Status;

// Where the converted picture goes: rows of 3 bytes per pixel (R, G, B), top row first.
struct RgbTarget {
    std::uint8_t* pixels = nullptr;
    std::size_t stride = 0;
};

// Provides the rows for a picture of the given size; a target with null pixels refuses it.
using Allocate = std::function<RgbTarget(std::uint32_t width, std::uint32_t height)>;

// Tells the claim sink (see setClaimSink) the size a file's header claims.
void tellClaimedSize(std::uint32_t width, std::uint32_t height);

} // namespace quill::decode
