#include "decoder/PictureRewrites.h"

#include "imaging/PixelLimit.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quill::pictures {

namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

void putBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

constexpr std::size_t kFileHeader = 14;
constexpr std::uint32_t kBitfields = 3;
constexpr std::uint32_t kAlphaBitfields = 6;

// One channel of a bit-field pixel: its lowest run of set mask bits.
struct Channel {
    unsigned shift = 0;
    std::uint64_t max = 0; // 0 for an empty mask

    explicit Channel(std::uint32_t mask) {
        if (mask == 0) {
            return;
        }
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        unsigned bits = 0;
        while (mask & 1) {
            mask >>= 1;
            ++bits;
        }
        max = (std::uint64_t{1} << bits) - 1;
    }

    // Scaled, not shifted, to 8 bits: the widest value of the channel is 255.
    std::uint8_t operator()(std::uint32_t pixel) const {
        return max == 0 ? 0 : std::uint8_t(((pixel >> shift) & max) * 255 / max);
    }
};

struct BitfieldBmp {
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    unsigned bpp = 0;
    std::uint32_t compression = 0;
    std::uint32_t masks[4] = {};
};

// Writers of the 40-byte header put an alpha mask after the three colour masks, where the 56-byte
// header keeps it, and start the pixels after it. Taken only when nothing else can lie there (no
// colours in use) and it is one run of bits of the pixel apart from the colours; the alpha byte of
// such 32-bit pictures is read as alpha already.
std::uint32_t alphaAfterColourMasks(const std::uint8_t* data, std::size_t size,
                                    const BitfieldBmp& bmp) {
    const std::size_t at = kFileHeader + 40 + 12;
    if (bmp.headerSize != 40 || bmp.compression != kBitfields || size < at + 4 ||
        le32(data + 10) < at + 4 || le32(data + kFileHeader + 32) != 0) {
        return 0;
    }
    const std::uint32_t mask = le32(data + at);
    const std::uint32_t colours = bmp.masks[0] | bmp.masks[1] | bmp.masks[2];
    const std::uint32_t run = mask == 0 ? 0 : mask >> std::countr_zero(mask);
    const bool oneRun = run != 0 && (run & (run + 1)) == 0;
    const bool inPixel = bmp.bpp == 32 || mask <= 0xffff;
    return oneRun && inPixel && (mask & colours) == 0 ? mask : 0;
}

std::optional<BitfieldBmp> readBitfieldHeader(const std::uint8_t* data, std::size_t size) {
    if (size < kFileHeader + 40 || data[0] != 'B' || data[1] != 'M') {
        return std::nullopt;
    }
    const std::uint8_t* info = data + kFileHeader;
    BitfieldBmp bmp;
    bmp.headerSize = le32(info);
    bmp.width = std::int32_t(le32(info + 4));
    bmp.height = std::int32_t(le32(info + 8));
    bmp.bpp = le16(info + 14);
    bmp.compression = le32(info + 16);
    if ((bmp.compression != kBitfields && bmp.compression != kAlphaBitfields) ||
        (bmp.bpp != 16 && bmp.bpp != 32)) {
        return std::nullopt;
    }
    // The 40-byte header has its masks after it; the newer ones hold them from byte 40 on.
    const std::size_t masksAt = kFileHeader + 40;
    std::size_t count = 0;
    if (bmp.headerSize == 40) {
        count = bmp.compression == kAlphaBitfields ? 4 : 3;
    } else if (bmp.headerSize == 52 || bmp.headerSize == 56 || bmp.headerSize == 108 ||
               bmp.headerSize == 124) {
        count = bmp.headerSize == 52 ? 3 : 4;
    } else {
        return std::nullopt;
    }
    if (size < masksAt + count * 4) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < count; ++i) {
        bmp.masks[i] = le32(data + masksAt + 4 * i);
    }
    if (count == 3) {
        bmp.masks[3] = alphaAfterColourMasks(data, size, bmp);
    }
    return bmp;
}

} // namespace

bool needsBitfieldRewrite(const std::uint8_t* data, std::size_t size) {
    const std::optional<BitfieldBmp> bmp = readBitfieldHeader(data, size);
    if (!bmp) {
        return false;
    }
    const std::uint32_t* m = bmp->masks;
    if (bmp->bpp == 16) {
        // Colour masks of any layout are read right; an alpha mask is dropped.
        return m[3] != 0 || (bmp->headerSize == 40 && bmp->compression == kAlphaBitfields);
    }
    const bool usual = m[0] == 0x00ff0000 && m[1] == 0x0000ff00 && m[2] == 0x000000ff &&
                       (m[3] == 0 || m[3] == 0xff000000);
    return !usual || (bmp->headerSize == 40 && bmp->compression == kAlphaBitfields);
}

std::optional<std::vector<std::uint8_t>> rewriteBitfieldBmp(const std::uint8_t* data,
                                                            std::size_t size) {
    if (!needsBitfieldRewrite(data, size)) {
        return std::nullopt;
    }
    const BitfieldBmp bmp = *readBitfieldHeader(data, size);
    if (bmp.width <= 0 || bmp.height == 0 || bmp.height == INT32_MIN) {
        return std::nullopt;
    }
    const std::uint64_t width = std::uint64_t(bmp.width);
    const std::uint64_t height =
        std::uint64_t(bmp.height < 0 ? -std::int64_t(bmp.height) : std::int64_t(bmp.height));
    if (exceedsPixelLimit(width, height)) {
        return std::nullopt;
    }
    const std::uint64_t bytesPerPixel = bmp.bpp / 8;
    const std::uint64_t stride = (width * bytesPerPixel + 3) & ~std::uint64_t{3};
    const std::uint64_t pixelsAt = le32(data + 10);
    if (pixelsAt > size || (size - pixelsAt) / stride < height) {
        return std::nullopt;
    }
    const Channel red(bmp.masks[0]);
    const Channel green(bmp.masks[1]);
    const Channel blue(bmp.masks[2]);
    const Channel alpha(bmp.masks[3]);

    constexpr std::size_t kOutPixelsAt = kFileHeader + 40;
    const std::uint64_t outBytes = kOutPixelsAt + width * height * 4;
    std::vector<std::uint8_t> out(std::size_t(outBytes), 0);
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out.data() + 2, std::uint32_t(outBytes));
    putLe32(out.data() + 10, kOutPixelsAt);
    std::uint8_t* info = out.data() + kFileHeader;
    putLe32(info, 40);
    putLe32(info + 4, std::uint32_t(bmp.width));
    putLe32(info + 8, std::uint32_t(bmp.height));
    info[12] = 1;
    info[14] = 32;
    putLe32(info + 20, std::uint32_t(width * height * 4));
    std::memcpy(info + 24, data + kFileHeader + 24, 8); // resolution
    std::uint8_t* dst = out.data() + kOutPixelsAt;
    for (std::uint64_t y = 0; y < height; ++y) {
        const std::uint8_t* src = data + pixelsAt + y * stride;
        for (std::uint64_t x = 0; x < width; ++x, dst += 4) {
            const std::uint32_t pixel = bytesPerPixel == 4 ? le32(src + 4 * x) : le16(src + 2 * x);
            dst[0] = blue(pixel);
            dst[1] = green(pixel);
            dst[2] = red(pixel);
            dst[3] = alpha(pixel);
        }
    }
    return out;
}

namespace {

struct IconEntry {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

std::optional<IconEntry> firstIconEntry(const std::uint8_t* data, std::size_t size) {
    if (size < 6 + 16 || data[0] != 0 || data[1] != 0 || (data[2] != 1 && data[2] != 2) ||
        data[3] != 0 || (data[4] | data[5]) == 0) {
        return std::nullopt;
    }
    const IconEntry entry{le32(data + 6 + 12), le32(data + 6 + 8)};
    if (entry.offset > size || entry.length > size - entry.offset || entry.length < 40) {
        return std::nullopt;
    }
    return entry;
}

// Where the embedded profile of a 124-byte header lies in the picture's resource: its offset
// counts from the header. A bitmap file turned into an icon keeps it between its pixels and the
// mask, where a loader would take it for the mask.
struct Span {
    std::uint64_t at = 0;
    std::uint64_t length = 0;
};

constexpr std::uint32_t kProfileEmbedded = 0x4D424544; // 'MBED'

Span embeddedProfile(const std::uint8_t* resource, const IconEntry& entry) {
    if (le32(resource) != 124 || le32(resource + 56) != kProfileEmbedded) {
        return {};
    }
    const std::uint64_t at = le32(resource + 112);
    const std::uint64_t length = le32(resource + 116);
    if (at < 124 || at > entry.length || length > entry.length - at) {
        return {};
    }
    return {at, length};
}

} // namespace

std::vector<std::uint8_t> iconIccProfile(const std::uint8_t* data, std::size_t size) {
    const std::optional<IconEntry> entry = firstIconEntry(data, size);
    if (!entry || entry->length < 124) {
        return {};
    }
    const std::uint8_t* resource = data + entry->offset;
    const Span profile = embeddedProfile(resource, *entry);
    return {resource + profile.at, resource + profile.at + profile.length};
}

unsigned iconBitsPerPixel(const std::uint8_t* data, std::size_t size) {
    const std::optional<IconEntry> entry = firstIconEntry(data, size);
    const std::uint32_t headerSize = entry ? le32(data + entry->offset) : 0;
    if (headerSize < 40 || headerSize > 124) { // a PNG starts with far more
        return 0;
    }
    return le16(data + entry->offset + 14);
}

std::optional<std::vector<std::uint8_t>> rewriteIconToInfoHeader(const std::uint8_t* data,
                                                                 std::size_t size) {
    const std::optional<IconEntry> entry = firstIconEntry(data, size);
    if (!entry) {
        return std::nullopt;
    }
    const std::uint8_t* resource = data + entry->offset;
    const std::uint32_t headerSize = le32(resource);
    if ((headerSize != 108 && headerSize != 124) || entry->length < headerSize) {
        return std::nullopt;
    }
    const Span profile = embeddedProfile(resource, *entry);
    const std::uint64_t length = entry->length - headerSize + 40 - profile.length;
    std::vector<std::uint8_t> out(6 + 16);
    std::memcpy(out.data(), data, 6 + 16);
    out[4] = 1; // the one picture
    out[5] = 0;
    putLe32(out.data() + 6 + 8, std::uint32_t(length));
    putLe32(out.data() + 6 + 12, 6 + 16);
    out.insert(out.end(), resource, resource + 40);
    putLe32(out.data() + 6 + 16, 40);
    if (profile.length == 0) {
        out.insert(out.end(), resource + headerSize, resource + entry->length);
    } else {
        out.insert(out.end(), resource + headerSize, resource + profile.at);
        out.insert(out.end(), resource + profile.at + profile.length, resource + entry->length);
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> rewriteSunRaster(const std::uint8_t* data,
                                                          std::size_t size) {
    constexpr std::size_t kHeader = 32;
    constexpr std::uint32_t kStandard = 1;
    constexpr std::uint32_t kRunLength = 2;
    if (size < kHeader || be32(data) != 0x59a66a95) {
        return std::nullopt;
    }
    const std::uint64_t width = be32(data + 4);
    const std::uint64_t height = be32(data + 8);
    const std::uint32_t depth = be32(data + 12);
    const std::uint32_t type = be32(data + 20);
    const std::uint64_t mapLength = be32(data + 28);
    const bool setBitIsBlack = depth == 1 && (be32(data + 24) == 0 || mapLength == 0);
    if ((type != kRunLength && depth != 1) || exceedsPixelLimit(width, height) ||
        (depth != 1 && depth != 8 && depth != 24 && depth != 32)) {
        return std::nullopt;
    }
    const std::uint64_t needed = ((width * depth + 15) / 16) * 2 * height;
    const std::uint64_t pixelsAt = kHeader + mapLength;
    if (pixelsAt > size) {
        return std::nullopt;
    }
    // A run of 256 bytes takes three: the most the data can expand to.
    if (needed / 86 > size - pixelsAt) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(data, data + pixelsAt);
    out.reserve(std::size_t(pixelsAt + needed));
    if (type == kRunLength) {
        // 0x80 n v is n + 1 times v, 0x80 0 is one 0x80, any other byte is itself.
        std::size_t at = std::size_t(pixelsAt);
        while (out.size() - pixelsAt < needed) {
            if (at >= size) {
                return std::nullopt;
            }
            const std::uint8_t byte = data[at++];
            if (byte != 0x80) {
                out.push_back(byte);
                continue;
            }
            if (at >= size) {
                return std::nullopt;
            }
            const unsigned count = data[at++];
            if (count == 0) {
                out.push_back(0x80);
                continue;
            }
            if (at >= size) {
                return std::nullopt;
            }
            const std::uint64_t room = pixelsAt + needed - out.size();
            out.insert(out.end(), std::size_t(std::min<std::uint64_t>(count + 1, room)),
                       data[at++]);
        }
    } else {
        if (size - pixelsAt < needed) {
            return std::nullopt;
        }
        out.insert(out.end(), data + pixelsAt, data + pixelsAt + needed);
    }
    if (setBitIsBlack) {
        for (std::size_t i = std::size_t(pixelsAt); i < out.size(); ++i) {
            out[i] = std::uint8_t(~out[i]);
        }
    } else if (depth == 1) {
        // Bits with a colour map: the library takes the map only for bytes.
        const std::uint64_t bitRow = needed / height;
        const std::uint64_t byteRow = (width + 1) & ~std::uint64_t{1};
        std::vector<std::uint8_t> bytes(out.begin(), out.begin() + std::ptrdiff_t(pixelsAt));
        bytes.reserve(std::size_t(pixelsAt + byteRow * height));
        for (std::uint64_t y = 0; y < height; ++y) {
            const std::uint8_t* bits = out.data() + pixelsAt + y * bitRow;
            for (std::uint64_t x = 0; x < byteRow; ++x) {
                bytes.push_back(x < width ? (bits[x / 8] >> (7 - x % 8)) & 1 : 0);
            }
        }
        out = std::move(bytes);
        putBe32(out.data() + 12, 8);
    }
    putBe32(out.data() + 16, std::uint32_t(out.size() - pixelsAt));
    putBe32(out.data() + 20, kStandard);
    return out;
}

std::optional<std::vector<std::uint8_t>> spacePlainBitmap(const std::uint8_t* data,
                                                          std::size_t size) {
    if (size < 2 || data[0] != 'P' || data[1] != '1') {
        return std::nullopt;
    }
    const auto isBlank = [](std::uint8_t c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    };
    // The width and the height, each after blanks and comments; the raster follows.
    std::size_t at = 2;
    for (int number = 0; number < 2; ++number) {
        for (;;) {
            while (at < size && isBlank(data[at])) {
                ++at;
            }
            if (at < size && data[at] == '#') {
                while (at < size && data[at] != '\n' && data[at] != '\r') {
                    ++at;
                }
                continue;
            }
            break;
        }
        const std::size_t digits = at;
        while (at < size && data[at] >= '0' && data[at] <= '9') {
            ++at;
        }
        if (at == digits) {
            return std::nullopt;
        }
    }
    bool touching = false;
    for (std::size_t i = at; i + 1 < size && !touching; ++i) {
        touching = (data[i] == '0' || data[i] == '1') && (data[i + 1] == '0' || data[i + 1] == '1');
    }
    if (!touching) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(data, data + at);
    out.reserve(at + 2 * (size - at));
    bool comment = false;
    for (std::size_t i = at; i < size; ++i) {
        const std::uint8_t c = data[i];
        out.push_back(c);
        if (comment) {
            comment = c != '\n' && c != '\r';
        } else if (c == '#') {
            comment = true;
        } else if (c == '0' || c == '1') {
            out.push_back(' ');
        }
    }
    return out;
}

} // namespace quill::pictures
