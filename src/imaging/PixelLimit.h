#pragma once
// The largest picture the program takes, from any decoder: the JPEG decoder here and the decoder
// process both refuse larger ones before allocating their pixels. No Qt here.

#include <cstdint>

namespace quill::pictures {

// Pictures with more pixels than this are refused before decoding (768 MB as 24-bit pixels).
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;

inline bool exceedsPixelLimit(std::uint64_t width, std::uint64_t height) {
    return width * height > kMaxPixels;
}

} // namespace quill::pictures
