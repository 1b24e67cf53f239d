#include "decoder/OwnReaders.h"

#include "decoder/PictureHeaders.h"
#include "imaging/PixelLimit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace quill::decode {

namespace {

using pictures::exceedsPixelLimit;

std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

std::uint16_t be16(const std::uint8_t* p) {
    return std::uint16_t(p[0] << 8 | p[1]);
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

using Rgba = std::array<std::uint8_t, 4>;

// A bitmap of 8 (with a palette), 24 or 32 bits per pixel in FreeImage's byte order.
DibPtr allocate(unsigned width, unsigned height, unsigned bpp) {
    if (width == 0 || height == 0 || exceedsPixelLimit(width, height)) {
        return nullptr;
    }
    return DibPtr(FreeImage_Allocate(int(width), int(height), int(bpp), FI_RGBA_RED_MASK,
                                     FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
}

void putPixel(BYTE* pixel, const Rgba& c, bool withAlpha) {
    pixel[FI_RGBA_RED] = c[0];
    pixel[FI_RGBA_GREEN] = c[1];
    pixel[FI_RGBA_BLUE] = c[2];
    if (withAlpha) {
        pixel[FI_RGBA_ALPHA] = c[3];
    }
}

std::uint8_t scale5(unsigned v) {
    return std::uint8_t((v & 31) * 255 / 31);
}

// ---- Targa ----

struct TargaHeader {
    unsigned idLength, mapType, type, mapFirst, mapLength, mapEntry, width, height, bpp, descriptor;
};

TargaHeader targaHeader(const std::uint8_t* d) {
    return {d[0], d[1],         d[2],         le16(d + 3), le16(d + 5),
            d[7], le16(d + 12), le16(d + 14), d[16],       d[17]};
}

} // namespace

bool isOwnTarga(const std::uint8_t* data, std::size_t size) {
    if (size < 18) {
        return false;
    }
    const TargaHeader h = targaHeader(data);
    const bool mapped = (h.type == 1 || h.type == 9) && h.mapType == 1 && h.bpp == 8;
    const bool greyAlpha = (h.type == 3 || h.type == 11) && h.bpp == 16;
    return (mapped && (h.mapFirst != 0 || h.mapEntry == 15 || h.mapEntry == 16)) || greyAlpha;
}

DibPtr readTarga(const std::uint8_t* data, std::size_t size) {
    if (!isOwnTarga(data, size) || !pictures::isSoundTarga(data, size)) {
        return nullptr;
    }
    const TargaHeader h = targaHeader(data);
    const bool mapped = h.type == 1 || h.type == 9;
    const bool runLength = h.type >= 9;
    const unsigned entryBytes = (h.mapEntry + 7) / 8;
    if (mapped && (entryBytes < 2 || entryBytes > 4)) {
        return nullptr;
    }
    std::size_t at = 18 + h.idLength;
    const std::size_t mapBytes = h.mapType ? std::size_t{h.mapLength} * entryBytes : 0;
    if (at + mapBytes > size) {
        return nullptr;
    }
    // Colours by index: those before the map's first entry and past its last are black.
    std::array<Rgba, 256> colours{};
    colours.fill(Rgba{0, 0, 0, 255});
    bool alpha = !mapped;
    if (mapped) {
        for (unsigned i = 0; i < h.mapLength && h.mapFirst + i < 256; ++i) {
            const std::uint8_t* e = data + at + std::size_t{i} * entryBytes;
            Rgba& c = colours[h.mapFirst + i];
            if (entryBytes == 2) {
                const unsigned v = le16(e);
                c = {scale5(v >> 10), scale5(v >> 5), scale5(v), 255};
            } else {
                c = {e[2], e[1], e[0], std::uint8_t(entryBytes == 4 ? e[3] : 255)};
            }
        }
        alpha = entryBytes == 4;
    }
    at += mapBytes;
    DibPtr dib = allocate(h.width, h.height, alpha ? 32 : 24);
    if (!dib) {
        return nullptr;
    }
    const unsigned pixelBytes = mapped ? 1 : 2;
    const unsigned step = alpha ? 4 : 3;
    const bool topDown = h.descriptor & 0x20;
    const bool rightToLeft = h.descriptor & 0x10;
    const std::uint64_t pixels = std::uint64_t{h.width} * h.height;
    const auto colourOf = [&](const std::uint8_t* p) -> Rgba {
        return mapped ? colours[p[0]] : Rgba{p[0], p[0], p[0], p[1]};
    };
    const auto store = [&](std::uint64_t i, const Rgba& c) {
        const unsigned row = unsigned(i / h.width);
        const unsigned column = unsigned(i % h.width);
        const unsigned x = rightToLeft ? h.width - 1 - column : column;
        const unsigned line = topDown ? h.height - 1 - row : row; // FreeImage's rows: bottom first
        putPixel(FreeImage_GetScanLine(dib.get(), int(line)) + std::size_t{x} * step, c, alpha);
    };
    for (std::uint64_t i = 0; i < pixels;) {
        unsigned count = 1;
        bool repeat = false;
        if (runLength) {
            if (at >= size) {
                return nullptr;
            }
            count = (data[at] & 0x7f) + 1u;
            repeat = data[at] & 0x80;
            ++at;
        }
        const std::size_t bytes = repeat ? pixelBytes : std::size_t{count} * pixelBytes;
        if (size - at < bytes || count > pixels - i) {
            return nullptr;
        }
        for (unsigned k = 0; k < count; ++k, ++i) {
            store(i, colourOf(data + at + (repeat ? 0 : std::size_t{k} * pixelBytes)));
        }
        at += bytes;
    }
    return dib;
}

// ---- PCX ----

namespace {

constexpr std::size_t kPcxHeader = 128;

struct PcxHeader {
    unsigned version, encoding, bits, width, height, planes, bytesPerLine;
};

std::optional<PcxHeader> pcxHeader(const std::uint8_t* d, std::size_t size) {
    if (size < kPcxHeader || d[0] != 10 || d[1] > 5 || d[1] == 1 || d[2] > 1) {
        return std::nullopt;
    }
    const unsigned xMin = le16(d + 4);
    const unsigned yMin = le16(d + 6);
    const unsigned xMax = le16(d + 8);
    const unsigned yMax = le16(d + 10);
    if (xMax < xMin || yMax < yMin) {
        return std::nullopt;
    }
    return PcxHeader{d[1], d[2], d[3], xMax - xMin + 1, yMax - yMin + 1, d[65], le16(d + 66)};
}

// The colours of the header's palette where it is left empty (version 3 files).
constexpr std::array<std::array<std::uint8_t, 3>, 16> kEgaColours{{
    {0, 0, 0},
    {0, 0, 170},
    {0, 170, 0},
    {0, 170, 170},
    {170, 0, 0},
    {170, 0, 170},
    {170, 85, 0},
    {170, 170, 170},
    {85, 85, 85},
    {85, 85, 255},
    {85, 255, 85},
    {85, 255, 255},
    {255, 85, 85},
    {255, 85, 255},
    {255, 255, 85},
    {255, 255, 255},
}};

} // namespace

bool isOwnPcx(const std::uint8_t* data, std::size_t size) {
    const std::optional<PcxHeader> h = pcxHeader(data, size);
    if (!h) {
        return false;
    }
    const unsigned depth = h->bits * h->planes;
    return (h->bits == 1 || h->bits == 2 || h->bits == 4) && h->planes >= 1 && depth <= 8 &&
           depth > 1;
}

namespace {

bool isEightBitPcx(const std::uint8_t* data, std::size_t size) {
    const std::optional<PcxHeader> h = pcxHeader(data, size);
    return h && h->bits == 8 && h->planes == 1;
}

// The 256 colours: a 12 and 768 bytes, at the end of the file.
bool coloursAtEnd(const std::uint8_t* data, std::size_t size) {
    return size >= kPcxHeader + 769 && data[size - 769] == 12;
}

} // namespace

bool isPcxWithColoursInside(const std::uint8_t* data, std::size_t size) {
    return isEightBitPcx(data, size) && !coloursAtEnd(data, size);
}

DibPtr readPcx(const std::uint8_t* data, std::size_t size) {
    if (!(isOwnPcx(data, size) || isPcxWithColoursInside(data, size)) ||
        !pictures::pcxHoldsClaimedPicture(data, size, size)) {
        return nullptr;
    }
    const PcxHeader h = *pcxHeader(data, size);
    const unsigned depth = h.bits * h.planes;
    const std::uint64_t rowBytes = (std::uint64_t{h.width} * h.bits + 7) / 8;
    if (rowBytes > h.bytesPerLine) {
        return nullptr;
    }
    DibPtr dib = allocate(h.width, h.height, 8);
    if (!dib) {
        return nullptr;
    }
    RGBQUAD* palette = FreeImage_GetPalette(dib.get());
    if (depth <= 4) {
        const std::uint8_t* colours = data + 16;
        const bool empty =
            std::all_of(colours, colours + 48, [](std::uint8_t c) { return c == 0; });
        for (unsigned i = 0; i < 16; ++i) {
            const std::uint8_t* c = empty ? kEgaColours[i].data() : colours + 3 * i;
            palette[i] = RGBQUAD{c[2], c[1], c[0], 0};
        }
    } else if (coloursAtEnd(data, size)) {
        const std::uint8_t* colours = data + size - 768;
        for (unsigned i = 0; i < 256; ++i) {
            palette[i] = RGBQUAD{colours[3 * i + 2], colours[3 * i + 1], colours[3 * i], 0};
        }
    } else if (isEightBitPcx(data, size)) {
        // Until the colours are found after the picture data: grey, as FreeImage shows a file
        // without them.
        for (unsigned i = 0; i < 256; ++i) {
            palette[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
        }
    } else {
        return nullptr;
    }
    // The planes of a row follow each other; runs may carry on from one row into the next.
    const std::size_t lineBytes = std::size_t{h.bytesPerLine} * h.planes;
    std::vector<std::uint8_t> line(lineBytes);
    std::size_t at = kPcxHeader;
    unsigned pending = 0;
    std::uint8_t value = 0;
    const unsigned mask = (1u << h.bits) - 1;
    for (unsigned y = 0; y < h.height; ++y) {
        for (std::size_t i = 0; i < lineBytes;) {
            if (pending == 0) {
                if (at >= size) {
                    return nullptr;
                }
                value = data[at++];
                pending = 1;
                if (h.encoding == 1 && value >= 0xc0) {
                    pending = value & 0x3fu;
                    if (at >= size) {
                        return nullptr;
                    }
                    value = data[at++];
                    continue; // a run of none is skipped
                }
            }
            line[i++] = value;
            --pending;
        }
        BYTE* out = FreeImage_GetScanLine(dib.get(), int(h.height - 1 - y));
        for (unsigned x = 0; x < h.width; ++x) {
            const unsigned bit = x * h.bits;
            const unsigned shift = 8 - h.bits - bit % 8;
            unsigned index = 0;
            for (unsigned p = 0; p < h.planes; ++p) {
                const std::uint8_t byte = line[std::size_t{p} * h.bytesPerLine + bit / 8];
                index |= ((byte >> shift) & mask) << (p * h.bits);
            }
            out[x] = BYTE(index);
        }
    }
    if (isPcxWithColoursInside(data, size) && size - at >= 769 && data[at] == 12) {
        const std::uint8_t* colours = data + at + 1;
        for (unsigned i = 0; i < 256; ++i) {
            palette[i] = RGBQUAD{colours[3 * i + 2], colours[3 * i + 1], colours[3 * i], 0};
        }
    }
    return dib;
}

// ---- Photo CD ----

DibPtr readPhotoCd(const std::uint8_t* data, std::size_t size, int flags) {
    const pictures::PhotoCdResolution r = pictures::photoCdResolution(flags);
    if (size < pictures::photoCdRequiredSize(flags)) {
        return nullptr;
    }
    DibPtr dib = allocate(r.width, r.height, 24);
    if (!dib) {
        return nullptr;
    }
    // Luma runs to 1.3584 times the stored level, so that white sits at 188 and brighter
    // highlights are clipped; the chroma planes are centred on 156 and 137.
    std::array<int, 256> luma{}, blue{}, red{}, greenFromBlue{}, greenFromRed{};
    for (int i = 0; i < 256; ++i) {
        const double c1 = 2.2179 * (i - 156);
        const double c2 = 1.8215 * (i - 137);
        const auto fixed = [](double v) { return int(std::lround(v * 256)); };
        luma[std::size_t(i)] = fixed(1.3584 * i);
        blue[std::size_t(i)] = fixed(c1);
        red[std::size_t(i)] = fixed(c2);
        greenFromBlue[std::size_t(i)] = fixed(-0.194 * c1);
        greenFromRed[std::size_t(i)] = fixed(-0.509 * c2);
    }
    const auto level = [](int fixed) { return BYTE(std::clamp((fixed + 128) >> 8, 0, 255)); };
    const std::uint32_t half = r.width / 2;
    const std::uint8_t* pair = data + r.offset;
    for (std::uint32_t y = 0; y < r.height; y += 2, pair += std::size_t{r.width} * 3) {
        const std::uint8_t* c1 = pair + 2 * std::size_t{r.width};
        const std::uint8_t* c2 = c1 + half;
        for (std::uint32_t row = 0; row < 2; ++row) {
            const std::uint8_t* lumaRow = pair + row * r.width;
            BYTE* out = FreeImage_GetScanLine(dib.get(), int(r.height - 1 - y - row));
            for (std::uint32_t x = 0; x < r.width; ++x, out += 3) {
                const int l = luma[lumaRow[x]];
                const std::uint8_t b = c1[x / 2];
                const std::uint8_t c = c2[x / 2];
                out[FI_RGBA_RED] = level(l + red[c]);
                out[FI_RGBA_GREEN] = level(l + greenFromBlue[b] + greenFromRed[c]);
                out[FI_RGBA_BLUE] = level(l + blue[b]);
            }
        }
    }
    return dib;
}

// ---- ILBM ----

namespace {

constexpr std::uint32_t kHam = 0x800;
constexpr std::uint32_t kHalfBrite = 0x80;

bool sameTag(const std::uint8_t* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

struct Ilbm {
    bool acbm = false;
    unsigned width = 0, height = 0, planes = 0, masking = 0, compression = 0;
    std::uint32_t viewModes = 0;
    const std::uint8_t* colours = nullptr;
    std::size_t colourCount = 0;
    const std::uint8_t* body = nullptr;
    std::size_t bodySize = 0;
    bool paletteChanges = false;
};

std::optional<Ilbm> parseIlbm(const std::uint8_t* data, std::size_t size) {
    if (size < 12 || !sameTag(data, "FORM") ||
        !(sameTag(data + 8, "ILBM") || sameTag(data + 8, "ACBM"))) {
        return std::nullopt;
    }
    Ilbm ilbm;
    ilbm.acbm = sameTag(data + 8, "ACBM");
    const std::size_t end =
        std::size_t(std::min<std::uint64_t>(size, 8 + std::uint64_t{be32(data + 4)}));
    bool header = false;
    for (std::size_t at = 12; at + 8 <= end;) {
        const std::uint32_t length = be32(data + at + 4);
        const std::uint8_t* chunk = data + at + 8;
        if (length > end - at - 8) {
            return std::nullopt;
        }
        if (sameTag(data + at, "BMHD") && length >= 20) {
            header = true;
            ilbm.width = be16(chunk);
            ilbm.height = be16(chunk + 2);
            ilbm.planes = chunk[8];
            ilbm.masking = chunk[9];
            ilbm.compression = chunk[10];
        } else if (sameTag(data + at, "CMAP")) {
            ilbm.colours = chunk;
            ilbm.colourCount = length / 3;
        } else if (sameTag(data + at, "CAMG") && length >= 4) {
            ilbm.viewModes = be32(chunk);
        } else if (sameTag(data + at, "PCHG") || sameTag(data + at, "SHAM") ||
                   sameTag(data + at, "CTBL") || sameTag(data + at, "CMYK")) {
            ilbm.paletteChanges = true;
        } else if (sameTag(data + at, ilbm.acbm ? "ABIT" : "BODY")) {
            ilbm.body = chunk;
            ilbm.bodySize = length;
        }
        at += 8 + std::size_t{length} + (length & 1);
    }
    if (!header || !ilbm.body) {
        return std::nullopt;
    }
    return ilbm;
}

// The body unpacked: ByteRun1 runs (which may carry on from one row into the next), or as stored.
std::optional<std::vector<std::uint8_t>> unpackBody(const Ilbm& ilbm, std::size_t bytes) {
    if (ilbm.compression == 0) {
        if (ilbm.bodySize < bytes) {
            return std::nullopt;
        }
        return std::vector<std::uint8_t>(ilbm.body, ilbm.body + bytes);
    }
    // ByteRun1 does no better than two bytes for 128.
    if (ilbm.compression != 1 || pictures::leastRunLengthBytes(bytes, 128, 2) > ilbm.bodySize) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out;
    out.reserve(bytes);
    std::size_t at = 0;
    while (out.size() < bytes) {
        if (at >= ilbm.bodySize) {
            return std::nullopt;
        }
        const int n = std::int8_t(ilbm.body[at++]);
        if (n >= 0) {
            const std::size_t count = std::min<std::size_t>(std::size_t(n) + 1, bytes - out.size());
            if (ilbm.bodySize - at < count) {
                return std::nullopt;
            }
            out.insert(out.end(), ilbm.body + at, ilbm.body + at + count);
            at += std::size_t(n) + 1;
        } else if (n != -128) {
            if (at >= ilbm.bodySize) {
                return std::nullopt;
            }
            out.insert(out.end(), std::min<std::size_t>(std::size_t(1 - n), bytes - out.size()),
                       ilbm.body[at++]);
        }
    }
    return out;
}

} // namespace

IlbmReading ilbmReading(const std::uint8_t* data, std::size_t size) {
    const std::optional<Ilbm> ilbm = parseIlbm(data, size);
    if (!ilbm) {
        return IlbmReading::Library;
    }
    if (ilbm->paletteChanges) {
        return IlbmReading::Refuse;
    }
    const bool ham =
        (ilbm->viewModes & kHam) && ilbm->planes >= 5 && ilbm->planes <= 8 && ilbm->planes != 7;
    const bool halfBrite = (ilbm->viewModes & kHalfBrite) && ilbm->planes == 6;
    // FreeImage takes the mask plane after each row's colour planes (a stencil, say) for the
    // next row's first plane.
    const bool maskPlane = ilbm->masking == 1;
    return ilbm->acbm || ham || halfBrite || maskPlane || ilbm->planes == 32 ? IlbmReading::Own
                                                                             : IlbmReading::Library;
}

DibPtr readIlbm(const std::uint8_t* data, std::size_t size) {
    const std::optional<Ilbm> parsed = parseIlbm(data, size);
    if (!parsed || ilbmReading(data, size) != IlbmReading::Own) {
        return nullptr;
    }
    const Ilbm& ilbm = *parsed;
    const unsigned planes = ilbm.planes;
    if ((planes > 8 && planes != 24 && planes != 32) || planes == 0 ||
        exceedsPixelLimit(ilbm.width, ilbm.height)) {
        return nullptr;
    }
    const bool ham = (ilbm.viewModes & kHam) && planes >= 5 && planes <= 8 && planes != 7;
    const bool deep = planes > 8;
    // A mask plane follows the colour planes of every row in ILBM.
    const unsigned storedPlanes = planes + (ilbm.masking == 1 && !ilbm.acbm ? 1 : 0);
    const std::size_t rowBytes = (std::size_t{ilbm.width} + 15) / 16 * 2;
    const std::optional<std::vector<std::uint8_t>> body =
        unpackBody(ilbm, rowBytes * storedPlanes * ilbm.height);
    if (!body) {
        return nullptr;
    }
    // Extra half-brite colours are always the first 32 at half brightness, whatever the map says.
    const bool halfBrite = (ilbm.viewModes & kHalfBrite) && planes == 6 && !ham;
    std::array<Rgba, 256> palette{};
    for (unsigned i = 0; i < 256; ++i) {
        if (halfBrite && i >= 32 && i < 64) {
            const Rgba& bright = palette[i - 32];
            palette[i] = {std::uint8_t(bright[0] >> 1), std::uint8_t(bright[1] >> 1),
                          std::uint8_t(bright[2] >> 1), 255};
        } else if (i < ilbm.colourCount) {
            const std::uint8_t* c = ilbm.colours + 3 * i;
            palette[i] = {c[0], c[1], c[2], 255};
        } else {
            palette[i] = {0, 0, 0, 255};
        }
    }
    const bool withAlpha = planes == 32;
    DibPtr dib = allocate(ilbm.width, ilbm.height, withAlpha ? 32 : 24);
    if (!dib) {
        return nullptr;
    }
    const unsigned step = withAlpha ? 4 : 3;
    const auto planeRow = [&](unsigned y, unsigned p) {
        const std::size_t index =
            ilbm.acbm ? std::size_t{p} * ilbm.height + y : std::size_t{y} * storedPlanes + p;
        return body->data() + index * rowBytes;
    };
    // Of a hold-and-modify pixel: with five planes the missing sixth reads as 0, so that the
    // control is the fifth plane alone (palette or blue).
    const unsigned dataBits = planes == 8 ? 6 : 4;
    // A colour map written for 4-bit hardware keeps each gun in the high nibble (15 as 0xF0):
    // a modified gun must land on that same scale, or held and modified guns drift apart. A map
    // of nothing but black tells no scale.
    const std::uint8_t* const mapEnd = ilbm.colours + 3 * ilbm.colourCount;
    const bool nibbleColours =
        std::any_of(ilbm.colours, mapEnd, [](std::uint8_t v) { return v != 0; }) &&
        std::all_of(ilbm.colours, mapEnd, [](std::uint8_t v) { return (v & 0x0f) == 0; });
    bool anyAlpha = false;
    for (unsigned y = 0; y < ilbm.height; ++y) {
        BYTE* out = FreeImage_GetScanLine(dib.get(), int(ilbm.height - 1 - y));
        Rgba held = palette[0];
        for (unsigned x = 0; x < ilbm.width; ++x) {
            std::uint32_t value = 0;
            for (unsigned p = 0; p < planes; ++p) {
                value |= std::uint32_t((planeRow(y, p)[x / 8] >> (7 - x % 8)) & 1) << p;
            }
            Rgba c;
            if (deep) {
                c = {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
                     std::uint8_t(withAlpha ? value >> 24 : 255)};
                anyAlpha |= c[3] != 0;
            } else if (ham) {
                const unsigned level = value & ((1u << dataBits) - 1);
                // The modified channel gets the level widened to 8 bits by repeating its bits,
                // or on the colour map's own 4-bit scale.
                const std::uint8_t wide = dataBits == 6   ? std::uint8_t(level << 2 | level >> 4)
                                          : nibbleColours ? std::uint8_t(level << 4)
                                                          : std::uint8_t(level * 17);
                switch (value >> dataBits) {
                case 0:
                    held = palette[level];
                    break;
                case 1:
                    held[2] = wide;
                    break;
                case 2:
                    held[0] = wide;
                    break;
                default:
                    held[1] = wide;
                    break;
                }
                c = held;
            } else {
                c = palette[value & 0xff];
            }
            putPixel(out + std::size_t{x} * step, c, withAlpha);
        }
    }
    if (withAlpha && !anyAlpha) {
        // A fourth plane left empty everywhere is no transparency.
        for (unsigned y = 0; y < ilbm.height; ++y) {
            BYTE* out = FreeImage_GetScanLine(dib.get(), int(y));
            for (unsigned x = 0; x < ilbm.width; ++x) {
                out[4 * x + FI_RGBA_ALPHA] = 255;
            }
        }
    }
    return dib;
}

} // namespace quill::decode
