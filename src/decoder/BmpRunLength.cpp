#include "decoder/BmpRunLength.h"

#include "decoder/PictureHeaders.h"

#include <algorithm>
#include <cstring>

namespace quill::pictures {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr std::size_t kInfoHeader = 40;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

// One row of colour indices being filled; everything past the width is dropped, and noted.
struct Row {
    std::uint8_t* pixels = nullptr; // null once the rows are all done
    std::uint32_t width = 0;
    std::uint64_t x = 0;
    bool cut = false;

    void put(std::uint8_t index) {
        if (pixels && x < width) {
            pixels[x] = index;
        } else {
            cut = true;
        }
        ++x;
    }
};

// Whether run-length data after the last row still holds pixels before its end-of-bitmap.
bool pixelsFollow(const std::uint8_t* data, std::size_t size, std::size_t at) {
    while (size - at >= 2) {
        if (data[at] != 0 || data[at + 1] >= 3) {
            return true;
        }
        if (data[at + 1] == 1) {
            return false;
        }
        at += data[at + 1] == 2 ? 4 : 2;
        at = std::min(at, size);
    }
    return false;
}

} // namespace

bool isRunLengthBmp(const std::uint8_t* data, std::size_t size) {
    if (size < kFileHeader + kInfoHeader || data[0] != 'B' || data[1] != 'M' ||
        le32(data + kFileHeader) < kInfoHeader) {
        return false;
    }
    const std::uint32_t compression = le32(data + kFileHeader + 16);
    return compression == kRle8 || compression == kRle4;
}

std::optional<std::vector<std::uint8_t>> expandRunLengthBmp(const std::uint8_t* data,
                                                            std::size_t size, bool* cut) {
    if (!isRunLengthBmp(data, size)) {
        return std::nullopt;
    }
    const std::uint8_t* info = data + kFileHeader;
    const std::uint32_t headerSize = le32(info);
    const std::int32_t width = std::int32_t(le32(info + 4));
    const std::int32_t signedHeight = std::int32_t(le32(info + 8));
    const unsigned bpp = le16(info + 14);
    const std::uint32_t compression = le32(info + 16);
    if ((compression == kRle8) != (bpp == 8) || (compression == kRle4) != (bpp == 4) ||
        width <= 0 || signedHeight == 0 || signedHeight == INT32_MIN) {
        return std::nullopt;
    }
    const bool topDown = signedHeight < 0;
    const std::uint32_t height = std::uint32_t(topDown ? -signedHeight : signedHeight);
    if (exceedsPixelLimit(std::uint32_t(width), height)) {
        return std::nullopt;
    }
    const std::uint32_t used = le32(info + 32);
    const std::uint32_t colours = used == 0 ? 1u << bpp : std::min(used, 1u << bpp);
    const std::uint64_t paletteAt = kFileHeader + std::uint64_t{headerSize};
    const std::uint64_t runsAt = le32(data + 10);
    if (paletteAt + std::uint64_t{colours} * 4 > size || runsAt > size) {
        return std::nullopt;
    }

    const std::size_t stride = (std::size_t(width) + 3) & ~std::size_t{3};
    const std::size_t pixelsAt = kFileHeader + kInfoHeader + std::size_t{colours} * 4;
    std::vector<std::uint8_t> out(pixelsAt + stride * height, 0);
    std::memcpy(out.data(), data, 2);
    putLe32(out.data() + 2, std::uint32_t(out.size()));
    putLe32(out.data() + 10, std::uint32_t(pixelsAt));
    std::uint8_t* header = out.data() + kFileHeader;
    std::memcpy(header, info, kInfoHeader);
    putLe32(header, kInfoHeader);
    putLe32(header + 8, height);
    header[14] = 8;
    header[15] = 0;
    putLe32(header + 16, 0); // uncompressed
    putLe32(header + 20, std::uint32_t(stride * height));
    putLe32(header + 32, colours);
    putLe32(header + 36, 0);
    std::memcpy(header + kInfoHeader, data + paletteAt, std::size_t{colours} * 4);
    std::uint8_t* const pixels = out.data() + pixelsAt;

    // The runs come bottom row first (top row first in a top-down file); the output is bottom-up.
    std::uint64_t line = 0;
    Row row;
    const auto startLine = [&] {
        row.width = std::uint32_t(width);
        row.x = 0;
        row.pixels = nullptr;
        if (line < height) {
            const std::uint64_t stored = topDown ? height - 1 - line : line;
            row.pixels = pixels + stored * stride;
        }
    };
    startLine();
    std::size_t at = std::size_t(runsAt);
    while (line < height) {
        if (size - at < 2) {
            // Data that stops without its end marker is still whole once the last row is reached.
            if (line + 1 < height) {
                return std::nullopt;
            }
            break;
        }
        const unsigned count = data[at];
        const unsigned value = data[at + 1];
        at += 2;
        if (count > 0) {
            if (bpp == 8) {
                if (row.pixels && row.x < row.width) {
                    const std::uint64_t n = std::min<std::uint64_t>(count, row.width - row.x);
                    std::memset(row.pixels + row.x, int(value), std::size_t(n));
                }
                row.x += count;
                row.cut |= row.x > row.width;
            } else {
                for (unsigned i = 0; i < count; ++i) {
                    row.put(std::uint8_t(i % 2 == 0 ? value >> 4 : value & 0x0f));
                }
            }
            continue;
        }
        if (value == 0) { // end of line
            ++line;
            startLine();
        } else if (value == 1) { // end of bitmap
            at = size;
            break;
        } else if (value == 2) { // delta: right and up (down in a top-down file)
            if (size - at < 2) {
                return std::nullopt;
            }
            const std::uint64_t x = row.x + data[at];
            line += data[at + 1];
            at += 2;
            startLine();
            row.x = x;
            row.cut |= x > row.width || line >= height;
        } else { // a literal run of `value` indices, padded to a 16-bit boundary
            const std::size_t bytes = bpp == 8 ? value : (value + 1) / 2;
            if (size - at < bytes) {
                return std::nullopt;
            }
            for (unsigned i = 0; i < value; ++i) {
                const std::uint8_t byte = data[at + (bpp == 8 ? i : i / 2)];
                row.put(bpp == 8 ? byte : std::uint8_t(i % 2 == 0 ? byte >> 4 : byte & 0x0f));
            }
            at += std::min(size - at, bytes + (bytes & 1));
        }
    }
    if (cut) {
        *cut = row.cut || pixelsFollow(data, size, at);
    }
    return out;
}

} // namespace quill::pictures
