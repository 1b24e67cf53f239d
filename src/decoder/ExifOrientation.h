#pragma once
// The EXIF "Orientation" of a photo: how its stored rows must be turned and mirrored to stand
// upright. Cameras and phones store a portrait photo as a landscape picture plus this tag. Read
// with libexif in the decoder process only; no Qt here.

#include <cstddef>
#include <cstdint>

namespace quill::decode {

// The Orientation tag (1 to 8) of an APP1 block's contents ("Exif\0\0" and a TIFF structure);
// 1 (upright) when the block is no EXIF block, is broken, or has no valid tag.
int orientationFromExif(const std::uint8_t* data, std::size_t size);

} // namespace quill::decode
