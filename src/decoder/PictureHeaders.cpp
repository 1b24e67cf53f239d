#include "decoder/PictureHeaders.h"

#include <algorithm>
#include <cstring>

namespace quill::pictures {

namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

std::uint16_t le16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | p[1] << 8);
}

std::uint16_t be16(const std::uint8_t* p) {
    return std::uint16_t(p[0] << 8 | p[1]);
}

bool sameTag(const std::uint8_t* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

constexpr std::size_t kBmpFileHeader = 14;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

} // namespace

std::uint32_t bmpInfoHeaderSize(const std::uint8_t* data, std::size_t size) {
    if (size < kBmpFileHeader + 4 || data[0] != 'B' || data[1] != 'M') {
        return 0;
    }
    return le32(data + kBmpFileHeader);
}

bool pcxHoldsClaimedPicture(const std::uint8_t* head, std::size_t headSize,
                            std::uint64_t fileSize) {
    constexpr std::size_t kPcxHeader = 128;
    if (headSize < kPcxHeader || fileSize < kPcxHeader) {
        return false;
    }
    const unsigned xMin = le16(head + 4);
    const unsigned yMin = le16(head + 6);
    const unsigned xMax = le16(head + 8);
    const unsigned yMax = le16(head + 10);
    if (xMax < xMin || yMax < yMin) {
        return false;
    }
    const std::uint64_t width = xMax - xMin + 1;
    const std::uint64_t height = yMax - yMin + 1;
    const unsigned bitsPerPixel = head[3];
    const unsigned planes = head[65];
    const std::uint64_t bytesPerLine = le16(head + 66);
    const std::uint64_t rowBytes = (width * bitsPerPixel + 7) / 8;
    if (rowBytes > bytesPerLine) {
        return false;
    }
    // Counted generously: as run-length data whatever the encoding byte says, as one stream
    // (some writers run on from one row into the next), without row padding or a palette.
    const std::uint64_t pictureBytes = rowBytes * planes * height;
    return fileSize - kPcxHeader >= leastRunLengthBytes(pictureBytes, 63, 2);
}

bool bmpHoldsClaimedPicture(const std::uint8_t* head, std::size_t headSize,
                            std::uint64_t fileSize) {
    constexpr std::uint32_t kBiRle8 = 1;
    constexpr std::uint32_t kBiRle4 = 2;
    const std::uint32_t headerSize = bmpInfoHeaderSize(head, headSize);
    if (headerSize < 40 || headSize < kBmpFileHeader + 20) {
        return true;
    }
    const std::uint32_t compression = le32(head + kBmpFileHeader + 16);
    if (compression != kBiRle8 && compression != kBiRle4) {
        return true;
    }
    // Widths and heights are signed; a top-down picture has a negative height.
    const std::int64_t width = std::int32_t(le32(head + kBmpFileHeader + 4));
    const std::int64_t height = std::int32_t(le32(head + kBmpFileHeader + 8));
    const std::uint64_t pixels =
        std::uint64_t(width < 0 ? -width : width) * std::uint64_t(height < 0 ? -height : height);
    // End-of-line, delta and end-of-bitmap codes can skip pixels for less, but writers code every
    // pixel in runs; without this bound a few hundred bytes could claim a quarter gigapixel.
    const std::uint64_t least = kBmpFileHeader + headerSize + leastRunLengthBytes(pixels, 255, 2);
    return fileSize >= least;
}

std::optional<std::vector<std::uint8_t>> rewriteBmpToInfoHeader(const std::uint8_t* data,
                                                                std::size_t size) {
    const std::uint32_t headerSize = bmpInfoHeaderSize(data, size);
    if (headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124) {
        return std::nullopt;
    }
    const std::size_t oldPixelsAt = kBmpFileHeader + headerSize;
    if (size < oldPixelsAt) {
        return std::nullopt;
    }
    const std::uint32_t offBits = le32(data + 10);
    if (offBits < oldPixelsAt || offBits > size) {
        return std::nullopt;
    }
    std::uint32_t compression = le32(data + kBmpFileHeader + 16);
    const bool bitfields = compression == kBiBitfields || compression == kBiAlphaBitfields;
    const std::size_t masks = bitfields ? 12 : 0;

    std::vector<std::uint8_t> out;
    out.reserve(size - headerSize + 40 + masks);
    out.insert(out.end(), data, data + kBmpFileHeader + 40);
    putLe32(out.data() + kBmpFileHeader, 40);
    if (compression == kBiAlphaBitfields) {
        compression = kBiBitfields;
        putLe32(out.data() + kBmpFileHeader + 16, compression);
    }
    if (bitfields) {
        // The red, green and blue masks sit right after the first 40 bytes of the newer headers;
        // the 40-byte form expects them after the header.
        out.insert(out.end(), data + kBmpFileHeader + 40, data + kBmpFileHeader + 52);
    }
    out.insert(out.end(), data + oldPixelsAt, data + size);
    const std::size_t shrink = headerSize - 40 - masks;
    putLe32(out.data() + 2, std::uint32_t(out.size()));
    putLe32(out.data() + 10, std::uint32_t(offBits - shrink));
    return out;
}

std::optional<PictureSize> readIlbmSize(const std::uint8_t* data, std::size_t size) {
    if (size < 12 || !sameTag(data, "FORM") ||
        !(sameTag(data + 8, "ILBM") || sameTag(data + 8, "PBM "))) {
        return std::nullopt;
    }
    const bool planar = sameTag(data + 8, "ILBM");
    const std::size_t end = std::min<std::uint64_t>(size, std::uint64_t{8} + be32(data + 4));
    std::size_t at = 12;
    std::optional<PictureSize> found;
    unsigned planes = 0;
    unsigned compression = 0;
    while (at + 8 <= end) {
        const std::uint32_t length = be32(data + at + 4);
        const std::uint8_t* body = data + at + 8;
        if (length > end - at - 8) {
            return std::nullopt;
        }
        if (sameTag(data + at, "BMHD")) {
            if (length < 20) {
                return std::nullopt;
            }
            found = PictureSize{be16(body), be16(body + 2)};
            planes = body[8];
            compression = body[10];
        } else if (sameTag(data + at, "BODY")) {
            if (!found || found->width == 0 || found->height == 0 || compression > 1) {
                return std::nullopt;
            }
            if (planar && (planes == 0 || (planes > 8 && planes != 24 && planes != 32))) {
                return std::nullopt;
            }
            const std::uint64_t rowBytes =
                planar ? ((found->width + 15) / 16) * 2 * std::uint64_t{planes}
                       : found->width + (found->width & 1);
            const std::uint64_t bodyBytes = rowBytes * found->height;
            const std::uint64_t least =
                compression == 0 ? bodyBytes : leastRunLengthBytes(bodyBytes, 128, 2);
            if (least > length) {
                return std::nullopt;
            }
            return found;
        }
        at += 8 + length + (length & 1);
    }
    return std::nullopt;
}

std::optional<PictureSize> readMngSize(const std::uint8_t* data, std::size_t size) {
    static const std::uint8_t signature[8] = {0x8a, 'M', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size < 8 + 12 + 28 || std::memcmp(data, signature, 8) != 0 || !sameTag(data + 12, "MHDR") ||
        be32(data + 8) < 8) {
        return std::nullopt;
    }
    const PictureSize frame{be32(data + 16), be32(data + 20)};
    if (exceedsPixelLimit(frame.width, frame.height)) {
        return frame;
    }
    std::size_t at = 8;
    std::optional<PictureSize> picture;
    while (at + 12 <= size) {
        const std::uint32_t length = be32(data + at);
        if (length > size - at - 12) {
            return std::nullopt;
        }
        const std::uint8_t* tag = data + at + 4;
        if ((sameTag(tag, "IHDR") || sameTag(tag, "JHDR")) && !picture) {
            if (length < 8) {
                return std::nullopt;
            }
            picture = PictureSize{be32(tag + 4), be32(tag + 8)};
        } else if (sameTag(tag, "IEND") && picture) {
            return picture;
        } else if (sameTag(tag, "MEND")) {
            return std::nullopt;
        }
        at += 12 + length;
    }
    return std::nullopt;
}

bool isSoundTarga(const std::uint8_t* data, std::size_t size) {
    if (size < 18) {
        return false;
    }
    const unsigned idLength = data[0];
    const unsigned mapType = data[1];
    const unsigned type = data[2];
    const unsigned mapLength = unsigned(data[5] | data[6] << 8);
    const unsigned mapEntryBytes = (data[7] + 7u) / 8;
    const std::uint64_t width = unsigned(data[12] | data[13] << 8);
    const std::uint64_t height = unsigned(data[14] | data[15] << 8);
    const unsigned pixelBytes = (data[16] + 7u) / 8;
    if (width == 0 || height == 0 || pixelBytes == 0 || pixelBytes > 4) {
        return false;
    }
    std::uint64_t at = 18 + idLength + (mapType ? std::uint64_t{mapLength} * mapEntryBytes : 0);
    const std::uint64_t pixels = width * height;
    if (type == 1 || type == 2 || type == 3) {
        return at + pixels * pixelBytes <= size;
    }
    if (type != 9 && type != 10 && type != 11) {
        return false;
    }
    for (std::uint64_t done = 0; done < pixels;) {
        if (at >= size) {
            return false;
        }
        const unsigned packet = data[at++];
        const unsigned count = (packet & 0x7f) + 1;
        if (done + count > pixels) {
            return false; // a run past the last pixel overflows the decoder's picture
        }
        at += (packet & 0x80) ? pixelBytes : std::uint64_t{count} * pixelBytes;
        done += count;
    }
    return at <= size;
}

bool isSoundSunRaster(const std::uint8_t* data, std::size_t size) {
    if (size < 32 || be32(data) != 0x59a66a95) {
        return false;
    }
    const std::uint64_t width = be32(data + 4);
    const std::uint64_t height = be32(data + 8);
    const std::uint32_t depth = be32(data + 12);
    const std::uint32_t type = be32(data + 20);
    const std::uint64_t mapLength = be32(data + 28);
    if (width == 0 || height == 0 || (depth != 1 && depth != 8 && depth != 24 && depth != 32)) {
        return false;
    }
    const std::uint64_t rowBytes = ((width * depth + 15) / 16) * 2;
    const std::uint64_t needed = rowBytes * height;
    std::uint64_t at = 32 + mapLength;
    if (type != 2) {
        return at + needed <= size;
    }
    // Run-length: 0x80 n v is n + 1 times v, 0x80 0 is one 0x80, any other byte is itself.
    for (std::uint64_t produced = 0; produced < needed;) {
        if (at >= size) {
            return false;
        }
        if (data[at++] != 0x80) {
            ++produced;
            continue;
        }
        if (at >= size) {
            return false;
        }
        const unsigned count = data[at++];
        if (count == 0) {
            ++produced;
        } else {
            if (at >= size) {
                return false;
            }
            ++at;
            produced += count + 1;
        }
    }
    return true;
}

bool isSoundIcon(const std::uint8_t* data, std::size_t size) {
    if (size < 6 + 16 || data[0] != 0 || data[1] != 0 || (data[2] != 1 && data[2] != 2) ||
        data[3] != 0 || (data[4] | data[5]) == 0) {
        return false;
    }
    const std::uint64_t length = le32(data + 6 + 8);
    const std::uint64_t offset = le32(data + 6 + 12);
    if (offset + length > size || length < 8) {
        return false;
    }
    const std::uint8_t* resource = data + offset;
    static const std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    if (std::memcmp(resource, png, 8) == 0) {
        return true;
    }
    if (length < 40) {
        return false;
    }
    const std::uint32_t headerSize = le32(resource);
    const std::int32_t width = std::int32_t(le32(resource + 4));
    const std::int32_t doubleHeight = std::int32_t(le32(resource + 8));
    const unsigned bpp = unsigned(resource[14] | resource[15] << 8);
    const std::uint32_t used = le32(resource + 32);
    if (headerSize < 40 || width <= 0 || doubleHeight <= 0 ||
        (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)) {
        return false;
    }
    const std::uint64_t height = std::uint64_t(doubleHeight) / 2;
    const std::uint64_t colours = bpp <= 8 ? (used ? used : 1u << bpp) : 0;
    if (colours > 256) {
        return false;
    }
    const std::uint64_t colourRows = ((std::uint64_t(width) * bpp + 31) / 32) * 4 * height;
    const std::uint64_t maskRows = ((std::uint64_t(width) + 31) / 32) * 4 * height;
    return headerSize + colours * 4 + colourRows + maskRows <= length;
}

bool isKoalaFile(const std::uint8_t* data, std::size_t size) {
    return size == kKoalaFileSize && data[0] == 0x00 && data[1] == 0x60;
}

PhotoCdResolution photoCdResolution(int flags) {
    return flags == 2   ? PhotoCdResolution{0xB800, 384, 256}
           : flags == 3 ? PhotoCdResolution{0x2000, 192, 128}
                        : PhotoCdResolution{0x30000, 768, 512};
}

std::uint64_t photoCdRequiredSize(int flags) {
    const PhotoCdResolution r = photoCdResolution(flags);
    return r.offset + std::uint64_t{r.width} * r.height * 3 / 2;
}

} // namespace quill::pictures
