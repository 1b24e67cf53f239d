#pragma once
// The PNG files most pictures come as (8-bit RGB, RGBA or grey, not interlaced) decoded without
// FreeImage: libdeflate inflates them about twice as fast as the zlib inside FreeImage's loader.
// Only files checked through and through are decoded here, and only kinds whose FreeImage bitmap
// is reproduced exactly; everything else, the slightest fault included, is left to FreeImage, so
// what becomes of it stays as it was. One kind of damage cannot be told without inflating the
// stream with zlib: libdeflate reads a few incomplete Huffman codes that zlib refuses. No encoder
// writes them (zlib's and libdeflate's own always write complete codes), and the chunk checksums
// must still match, so only a file made to be odd gives a picture here where FreeImage gave none.
// No Qt here.

#include "decoder/FreeImageDecode.h"

#include <cstdint>
#include <vector>

namespace quill::decode {

// The bitmap FreeImage_Load(FIF_PNG, path, 0) gives for the file's bytes: the same type, size,
// bits per pixel, colour masks, palette and rows (bottom row first, in FreeImage's byte order).
// Null, and never an error of its own, for every file it does not handle. Takes the bytes over to
// let go of them as soon as they are inflated.
DibPtr loadCommonPng(std::vector<std::uint8_t> file);

} // namespace quill::decode
