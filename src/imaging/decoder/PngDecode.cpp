#include "imaging/decoder/PngDecode.h"

#include "imaging/PixelLimit.h"

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace quill::decode {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// libpng's limits as Debian builds it: a side longer than this, or a chunk other than IDAT
// larger than this, makes it refuse the file, and FreeImage with it.
constexpr std::uint32_t kMaxSide = 1000000;
constexpr std::uint32_t kMaxChunkBytes = 8000000;

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
}

constexpr std::uint32_t chunkType(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

// Chunks that never change the pixels FreeImage gives (it reads no gamma from them that matters,
// and a colour profile is read separately). Any other chunk, PLTE, tRNS and gAMA among them,
// leaves the file to FreeImage.
bool isHarmless(std::uint32_t type) {
    switch (type) {
    case chunkType("iCCP"):
    case chunkType("sRGB"):
    case chunkType("cHRM"):
    case chunkType("sBIT"):
    case chunkType("bKGD"):
    case chunkType("pHYs"):
    case chunkType("tIME"):
    case chunkType("tEXt"):
    case chunkType("zTXt"):
    case chunkType("iTXt"):
    case chunkType("eXIf"):
        return true;
    default:
        return false;
    }
}

struct DecompressorFree {
    void operator()(libdeflate_decompressor* decompressor) const {
        libdeflate_free_decompressor(decompressor);
    }
};

struct MemoryFree {
    void operator()(std::uint8_t* memory) const { std::free(memory); }
};
using Buffer = std::unique_ptr<std::uint8_t[], MemoryFree>;

// malloc rather than new: at the pixel limit these are a gigabyte, and a failed allocation must
// leave the file to FreeImage, not end the process.
Buffer allocateBuffer(std::size_t bytes, bool zeroed) {
    return Buffer(static_cast<std::uint8_t*>(zeroed ? std::calloc(bytes, 1) : std::malloc(bytes)));
}

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    unsigned channels = 0;
};

// 8-bit grey, RGB or RGBA, compressed and filtered the only standard way, not interlaced, and a
// size FreeImage takes.
bool readHeader(const std::uint8_t* data, std::uint32_t length, Header& header) {
    if (length != 13) {
        return false;
    }
    header.width = bigEndian32(data);
    header.height = bigEndian32(data + 4);
    const std::uint8_t bitDepth = data[8];
    const std::uint8_t colourType = data[9];
    header.channels = colourType == 0 ? 1 : colourType == 2 ? 3 : colourType == 6 ? 4 : 0;
    return header.width > 0 && header.height > 0 && header.width <= kMaxSide &&
           header.height <= kMaxSide && bitDepth == 8 && header.channels != 0 && data[10] == 0 &&
           data[11] == 0 && data[12] == 0 &&
           !pictures::exceedsPixelLimit(header.width, header.height);
}

// Reverses one row's filter in place. prev is the row above (zeros above the first) in the same
// byte order: the filters work on bytes Step apart, so they do not care in which order a pixel's
// channels lie.
template <std::size_t Step>
void unfilterRow(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* prev,
                 std::size_t bytes) {
    switch (filter) {
    case 1:
        for (std::size_t i = Step; i < bytes; ++i) {
            row[i] = std::uint8_t(row[i] + row[i - Step]);
        }
        break;
    case 2:
        for (std::size_t i = 0; i < bytes; ++i) {
            row[i] = std::uint8_t(row[i] + prev[i]);
        }
        break;
    case 3:
        for (std::size_t i = 0; i < Step; ++i) {
            row[i] = std::uint8_t(row[i] + (prev[i] >> 1));
        }
        for (std::size_t i = Step; i < bytes; ++i) {
            row[i] = std::uint8_t(row[i] + ((unsigned(row[i - Step]) + prev[i]) >> 1));
        }
        break;
    case 4:
        // Left of the first pixel counts as zero, which makes the predictor the byte above.
        for (std::size_t i = 0; i < Step; ++i) {
            row[i] = std::uint8_t(row[i] + prev[i]);
        }
        for (std::size_t i = Step; i < bytes; ++i) {
            const int a = row[i - Step];
            const int b = prev[i];
            const int c = prev[i - Step];
            const int towardsA = b - c;
            const int towardsB = a - c;
            const int pa = towardsA < 0 ? -towardsA : towardsA;
            const int pb = towardsB < 0 ? -towardsB : towardsB;
            const int pc = towardsA + towardsB < 0 ? -(towardsA + towardsB) : towardsA + towardsB;
            const int predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            row[i] = std::uint8_t(row[i] + predictor);
        }
        break;
    default:
        break;
    }
}

// Copies a row of the file's pixels into the bitmap's byte order.
template <std::size_t Step>
void copyRow(const std::uint8_t* from, std::uint8_t* to, std::uint32_t width) {
    if constexpr (Step == 1) {
        std::memcpy(to, from, width);
    } else {
        for (std::uint32_t x = 0; x < width; ++x, from += Step, to += Step) {
            to[FI_RGBA_RED] = from[0];
            to[FI_RGBA_GREEN] = from[1];
            to[FI_RGBA_BLUE] = from[2];
            if constexpr (Step == 4) {
                to[FI_RGBA_ALPHA] = from[3];
            }
        }
    }
}

template <std::size_t Step>
void fillBitmap(FIBITMAP* dib, const std::uint8_t* raw, const std::uint8_t* zeros,
                const Header& header) {
    const std::size_t rowBytes = std::size_t{header.width} * Step;
    const std::uint8_t* prev = zeros;
    for (std::uint32_t y = 0; y < header.height; ++y) {
        const std::uint8_t* line = raw + std::size_t{y} * (rowBytes + 1);
        std::uint8_t* row = FreeImage_GetScanLine(dib, int(header.height - 1 - y));
        copyRow<Step>(line + 1, row, header.width);
        unfilterRow<Step>(line[0], row, prev, rowBytes);
        prev = row;
    }
}

} // namespace

DibPtr loadCommonPng(std::vector<std::uint8_t> file) {
    const std::size_t size = file.size();
    std::uint8_t* const bytes = file.data();
    if (size < sizeof kSignature || std::memcmp(bytes, kSignature, sizeof kSignature) != 0) {
        return nullptr;
    }

    // Every chunk up to IEND, each checked whole; the IDAT data is gathered at the start of the
    // first IDAT's data as it goes (only over chunks already checked), so the stream lies in one
    // piece without a copy of the file.
    Header header;
    std::uint64_t rawSize = 0;
    std::size_t at = sizeof kSignature;
    std::size_t idatStart = 0;
    std::size_t idatEnd = 0;
    enum class Idat { Before, Within, After } idat = Idat::Before;
    for (bool first = true;; first = false) {
        if (size - at < 12) {
            return nullptr; // ends without IEND
        }
        const std::uint32_t length = bigEndian32(bytes + at);
        if (length > size - at - 12) {
            return nullptr;
        }
        const std::uint32_t type = bigEndian32(bytes + at + 4);
        const std::uint8_t* data = bytes + at + 8;
        if (libdeflate_crc32(0, bytes + at + 4, std::size_t{length} + 4) !=
            bigEndian32(data + length)) {
            return nullptr;
        }
        if (first != (type == chunkType("IHDR"))) {
            return nullptr;
        }
        if (type == chunkType("IDAT")) {
            // libpng takes an IDAT larger than its chunk limit only up to about the size of the
            // rows it holds.
            if (idat == Idat::After || (length > kMaxChunkBytes && length > rawSize)) {
                return nullptr;
            }
            if (idat == Idat::Before) {
                idatStart = idatEnd = at + 8;
                idat = Idat::Within;
            }
            if (bytes + idatEnd != data) {
                std::memmove(bytes + idatEnd, data, length);
            }
            idatEnd += length;
        } else {
            if (length > kMaxChunkBytes) {
                return nullptr;
            }
            if (idat == Idat::Within) {
                idat = Idat::After;
            }
            if (type == chunkType("IEND")) {
                if (idat != Idat::After || length != 0) {
                    return nullptr;
                }
                break;
            }
            if (type == chunkType("IHDR")) {
                if (!readHeader(data, length, header)) {
                    return nullptr;
                }
                rawSize = std::uint64_t{header.height} *
                          (std::uint64_t{header.width} * header.channels + 1);
            } else if (!isHarmless(type)) {
                return nullptr;
            }
        }
        at += 12 + std::size_t{length};
    }

    // The zlib header names the window the stream was made with; zlib holds a stream to it,
    // libdeflate does not, so a stream that could reach beyond it is left to FreeImage.
    const std::size_t streamBytes = idatEnd - idatStart;
    if (streamBytes < 2) {
        return nullptr;
    }
    const unsigned windowBits = (bytes[idatStart] >> 4) + 8;
    if (windowBits < 15 && rawSize > (std::uint64_t{1} << windowBits)) {
        return nullptr;
    }

    const Buffer raw = allocateBuffer(std::size_t(rawSize), false);
    const std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
        libdeflate_alloc_decompressor());
    if (!raw || !decompressor) {
        return nullptr;
    }
    std::size_t usedIn = 0;
    std::size_t madeOut = 0;
    if (libdeflate_zlib_decompress_ex(decompressor.get(), bytes + idatStart, streamBytes, raw.get(),
                                      std::size_t(rawSize), &usedIn,
                                      &madeOut) != LIBDEFLATE_SUCCESS ||
        usedIn != streamBytes || madeOut != rawSize) {
        return nullptr;
    }
    std::vector<std::uint8_t>().swap(file);

    const std::size_t rowBytes = std::size_t{header.width} * header.channels;
    for (std::size_t line = 0; line < rawSize; line += rowBytes + 1) {
        if (raw[line] > 4) {
            return nullptr;
        }
    }
    const Buffer zeros = allocateBuffer(rowBytes, true);
    if (!zeros) {
        return nullptr;
    }
    const unsigned bpp = 8 * header.channels;
    DibPtr dib(bpp == 8
                   ? FreeImage_Allocate(int(header.width), int(header.height), 8)
                   : FreeImage_Allocate(int(header.width), int(header.height), int(bpp),
                                        FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    if (!dib) {
        return nullptr;
    }
    switch (header.channels) {
    case 1: {
        RGBQUAD* palette = FreeImage_GetPalette(dib.get());
        for (unsigned i = 0; i < 256; ++i) {
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = BYTE(i);
        }
        fillBitmap<1>(dib.get(), raw.get(), zeros.get(), header);
        break;
    }
    case 3:
        fillBitmap<3>(dib.get(), raw.get(), zeros.get(), header);
        break;
    default:
        fillBitmap<4>(dib.get(), raw.get(), zeros.get(), header);
        break;
    }
    return dib;
}

} // namespace quill::decode
