#include "decoder/PngDecode.h"

#include "imaging/PixelLimit.h"

#include <libdeflate.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <utility>

namespace quill::decode {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// libpng's limits as Debian builds it: a side longer than this, or a chunk other than IDAT
// larger than this, makes it refuse the file, and FreeImage with it.
constexpr std::uint32_t kMaxSide = 1000000;
constexpr std::uint32_t kMaxChunkBytes = 8000000;

// What one buffer may hold on this machine.
constexpr std::uint64_t kMaxBufferBytes = std::uint64_t(std::numeric_limits<std::ptrdiff_t>::max());

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

// Where each of the file's channels goes in FreeImage's pixel (grey, R G B, R G B A).
template <std::size_t Channels> constexpr std::array<std::size_t, Channels> kPlace = {0};
template <>
constexpr std::array<std::size_t, 3> kPlace<3> = {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE};
template <>
constexpr std::array<std::size_t, 4> kPlace<4> = {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE,
                                                  FI_RGBA_ALPHA};

inline unsigned paeth(unsigned a, unsigned b, unsigned c) {
    const int towardsA = int(b) - int(c);
    const int towardsB = int(a) - int(c);
    const int pa = std::abs(towardsA);
    const int pb = std::abs(towardsB);
    const int pc = std::abs(towardsA + towardsB);
    // Chosen with masks rather than branches: in photos the choice is close to random.
    const unsigned notB = 0u - unsigned(pc < pb);
    const unsigned bOrC = b ^ ((b ^ c) & notB);
    const unsigned notA = 0u - unsigned((pb < pa) | (pc < pa));
    return a ^ ((a ^ bOrC) & notA);
}

// step(c) for every channel c as a constant, unrolled: the channel's place and its left neighbour
// are then known at compile time and stay in registers.
template <std::size_t Channels, typename Step> inline void eachChannel(const Step& step) {
    [&]<std::size_t... C>(std::index_sequence<C...>) {
        (step(std::integral_constant<std::size_t, C>{}), ...);
    }
    (std::make_index_sequence<Channels>{});
}

#if defined(__SSE2__)
// Paeth's filter on whole pixels, each channel a 16-bit lane: the pixel to the left is the only
// value carried from one pixel to the next, and the fewer steps between the two, the faster the
// row goes. in is in the file's channel order, out and above in FreeImage's.
template <std::size_t Channels>
void unpaethRow(const std::uint8_t* in, std::uint8_t* out, const std::uint8_t* above,
                std::uint32_t width) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowByte = _mm_set1_epi16(0xff);
    const auto absolute = [zero](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    __m128i left = zero;
    __m128i aboveLeft = zero;
    for (std::uint32_t x = 0; x < width; ++x, in += Channels, out += Channels, above += Channels) {
        std::uint32_t placed = 0;
        eachChannel<Channels>(
            [&](auto c) { placed |= std::uint32_t(in[c]) << (8 * kPlace<Channels>[c]); });
        std::uint32_t up = 0;
        eachChannel<Channels>([&](auto c) { up |= std::uint32_t(above[c]) << (8 * c); });
        const __m128i filtered = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(placed)), zero);
        const __m128i b = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(up)), zero);
        const __m128i towardsA = _mm_sub_epi16(b, aboveLeft);
        const __m128i towardsB = _mm_sub_epi16(left, aboveLeft);
        const __m128i pa = absolute(towardsA);
        const __m128i pb = absolute(towardsB);
        const __m128i pc = absolute(_mm_add_epi16(towardsA, towardsB));
        const __m128i notB = _mm_cmpgt_epi16(pb, pc);
        const __m128i bOrC = _mm_xor_si128(b, _mm_and_si128(_mm_xor_si128(b, aboveLeft), notB));
        const __m128i notA = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
        const __m128i predictor =
            _mm_xor_si128(left, _mm_and_si128(_mm_xor_si128(left, bOrC), notA));
        left = _mm_and_si128(_mm_add_epi16(filtered, predictor), lowByte);
        aboveLeft = b;
        const auto pixel = std::uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(left, zero)));
        eachChannel<Channels>([&](auto c) { out[c] = std::uint8_t(pixel >> (8 * c)); });
    }
}
#endif

// Reverses one row's filter straight into the bitmap's row, each channel to its place. above is
// the bitmap's row above (zeros above the first): the filters relate bytes a pixel apart, so they
// work the same on the channels in either order. The pixel to the left is carried along rather
// than read back from the row just written.
template <std::size_t Channels>
void unfilterRow(std::uint8_t filter, const std::uint8_t* in, std::uint8_t* out,
                 const std::uint8_t* above, std::uint32_t width) {
    std::array<unsigned, Channels> left{};
    const std::uint8_t* const end = in + std::size_t{width} * Channels;
    switch (filter) {
    case 0:
        for (; in != end; in += Channels, out += Channels) {
            eachChannel<Channels>([&](auto c) { out[kPlace<Channels>[c]] = in[c]; });
        }
        break;
    case 1:
        for (; in != end; in += Channels, out += Channels) {
            eachChannel<Channels>([&](auto c) {
                left[c] = (in[c] + left[c]) & 0xff;
                out[kPlace<Channels>[c]] = std::uint8_t(left[c]);
            });
        }
        break;
    case 2:
        for (; in != end; in += Channels, out += Channels, above += Channels) {
            eachChannel<Channels>([&](auto c) {
                constexpr std::size_t to = kPlace<Channels>[c];
                out[to] = std::uint8_t(in[c] + above[to]);
            });
        }
        break;
    case 3:
        for (; in != end; in += Channels, out += Channels, above += Channels) {
            eachChannel<Channels>([&](auto c) {
                constexpr std::size_t to = kPlace<Channels>[c];
                left[c] = (in[c] + ((left[c] + above[to]) >> 1)) & 0xff;
                out[to] = std::uint8_t(left[c]);
            });
        }
        break;
    case 4:
#if defined(__SSE2__)
        if constexpr (Channels > 1) {
            unpaethRow<Channels>(in, out, above, width);
            break;
        }
#endif
        // With nothing to the left the predictor is the byte above.
        eachChannel<Channels>([&](auto c) {
            constexpr std::size_t to = kPlace<Channels>[c];
            left[c] = (in[c] + above[to]) & 0xff;
            out[to] = std::uint8_t(left[c]);
        });
        in += Channels;
        out += Channels;
        above += Channels;
        for (; in < end; in += Channels, out += Channels, above += Channels) {
            eachChannel<Channels>([&](auto c) {
                constexpr std::size_t to = kPlace<Channels>[c];
                left[c] = (in[c] + paeth(left[c], above[to], above[to - Channels])) & 0xff;
                out[to] = std::uint8_t(left[c]);
            });
        }
        break;
    default:
        break;
    }
}

template <std::size_t Channels>
void fillBitmap(FIBITMAP* dib, const std::uint8_t* raw, const std::uint8_t* zeros,
                const Header& header) {
    const std::size_t lineBytes = std::size_t{header.width} * Channels + 1;
    const std::uint8_t* above = zeros;
    for (std::uint32_t y = 0; y < header.height; ++y) {
        const std::uint8_t* line = raw + std::size_t{y} * lineBytes;
        std::uint8_t* row = FreeImage_GetScanLine(dib, int(header.height - 1 - y));
        unfilterRow<Channels>(line[0], line + 1, row, above, header.width);
        above = row;
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

    // Deflate shrinks data at most 1032 to 1: a shorter stream cannot hold the rows, and their
    // memory is not asked for.
    const std::size_t streamBytes = idatEnd - idatStart;
    if (streamBytes < 2 || streamBytes < rawSize / 1032 || rawSize > kMaxBufferBytes) {
        return nullptr;
    }
    // The zlib header names the window the stream was made with; zlib holds a stream to it,
    // libdeflate does not, so a stream that could reach beyond it is left to FreeImage.
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
