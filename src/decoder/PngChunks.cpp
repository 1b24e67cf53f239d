#include "decoder/PngChunks.h"

#include "imaging/PixelLimit.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace quill::decode {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

constexpr std::uint32_t chunkType(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

// Ancillary, private, safe to copy: every reader skips it unread.
constexpr char kBlank[5] = "skIp";

// The rows of a picture at the pixel limit, 16-bit RGBA, with their filter bytes: the stored
// stream that replaces surplus data never needs more.
constexpr std::uint64_t kMaxRawBytes = pictures::kMaxPixels * 8 + (std::uint64_t{1} << 20);

// Rows handed on stored when their data holds no more than them: a 16-bit 24-megapixel photo's.
constexpr std::uint64_t kMaxStoredRows = std::uint64_t{256} << 20;

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
}

void putBigEndian32(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = std::uint8_t(value >> 24);
    bytes[1] = std::uint8_t(value >> 16);
    bytes[2] = std::uint8_t(value >> 8);
    bytes[3] = std::uint8_t(value);
}

struct Span {
    std::size_t at = 0; // the data of one IDAT chunk
    std::uint32_t length = 0;
};

// Inflates the picture data as far as the rows and one byte beyond: whether it holds more than
// the rows. With rows given, the rows are kept there. Never inflates further, however much the
// stream holds.
enum class Inflated { Rows, Surplus, Short };
Inflated inflateRows(const std::vector<std::uint8_t>& file, const std::vector<Span>& data,
                     std::uint64_t rawBytes, std::vector<std::uint8_t>* rows) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return Inflated::Short;
    }
    std::array<std::uint8_t, 1 << 16> scratch;
    std::uint64_t produced = 0;
    Inflated outcome = Inflated::Short;
    for (const Span& span : data) {
        stream.next_in = const_cast<Bytef*>(file.data() + span.at);
        stream.avail_in = span.length;
        int result = Z_OK;
        while (stream.avail_in > 0) {
            const auto room =
                uInt(std::min<std::uint64_t>(scratch.size(), rawBytes - produced + 1));
            stream.next_out = scratch.data();
            stream.avail_out = room;
            result = inflate(&stream, Z_NO_FLUSH);
            const uInt got = room - stream.avail_out;
            if (rows) {
                const auto kept = std::size_t(std::min<std::uint64_t>(got, rawBytes - produced));
                rows->insert(rows->end(), scratch.data(), scratch.data() + kept);
            }
            produced += got;
            if (produced > rawBytes) {
                outcome = Inflated::Surplus;
                break;
            }
            if (result != Z_OK) {
                break;
            }
        }
        if (outcome == Inflated::Surplus || (result != Z_OK && result != Z_BUF_ERROR)) {
            break;
        }
    }
    inflateEnd(&stream);
    if (outcome != Inflated::Surplus && produced == rawBytes) {
        outcome = Inflated::Rows;
    }
    return outcome;
}

struct Free {
    void operator()(void* memory) const { std::free(memory); }
    void operator()(libdeflate_decompressor* decompressor) const {
        libdeflate_free_decompressor(decompressor);
    }
};
using Memory = std::unique_ptr<std::uint8_t, Free>;

// The same question answered about three times faster with libdeflate, which needs the stream and
// the rows in one piece each; when their memory is not to be had, zlib answers it. The rows are
// left in rows when they are all there is.
Inflated inflateRowsAtOnce(const std::vector<std::uint8_t>& file, const std::vector<Span>& data,
                           std::uint64_t rawBytes, Memory& rows) {
    std::size_t streamBytes = 0;
    for (const Span& span : data) {
        streamBytes += span.length;
    }
    const Memory stream(
        static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(streamBytes, 1))));
    rows.reset(static_cast<std::uint8_t*>(std::malloc(std::size_t(rawBytes))));
    const std::unique_ptr<libdeflate_decompressor, Free> decompressor(
        libdeflate_alloc_decompressor());
    if (!stream || !rows || !decompressor) {
        rows.reset();
        return inflateRows(file, data, rawBytes, nullptr);
    }
    std::size_t at = 0;
    for (const Span& span : data) {
        std::memcpy(stream.get() + at, file.data() + span.at, span.length);
        at += span.length;
    }
    std::size_t made = 0;
    const libdeflate_result result =
        libdeflate_zlib_decompress_ex(decompressor.get(), stream.get(), streamBytes, rows.get(),
                                      std::size_t(rawBytes), nullptr, &made);
    if (result == LIBDEFLATE_SUCCESS && made == rawBytes) {
        return Inflated::Rows;
    }
    rows.reset();
    return result == LIBDEFLATE_INSUFFICIENT_SPACE ? Inflated::Surplus : Inflated::Short;
}

// Appends the rows as IDAT chunks holding a zlib stream of stored blocks: nothing to inflate
// beyond them, and next to nothing to inflate at all. Written in place, each byte once.
void appendStoredRows(std::vector<std::uint8_t>& out, const std::uint8_t* rows, std::size_t size,
                      std::size_t followingBytes) {
    constexpr std::size_t kBlock = 65535;
    constexpr std::size_t kBlocksPerChunk = 8192; // half a gigabyte, well within a chunk's length
    const std::size_t blocks = std::max<std::size_t>(1, (size + kBlock - 1) / kBlock);
    const std::size_t chunks = (blocks + kBlocksPerChunk - 1) / kBlocksPerChunk;
    out.reserve(out.size() + size + blocks * 5 + chunks * 12 + 6 + followingBytes);
    const std::uint32_t check = std::uint32_t(adler32_z(adler32(0, nullptr, 0), rows, size));
    std::size_t at = 0;
    for (std::size_t block = 0, chunk = 0; chunk < chunks; ++chunk) {
        const std::size_t start = out.size();
        out.insert(out.end(), {0, 0, 0, 0, 'I', 'D', 'A', 'T'});
        if (chunk == 0) {
            out.insert(out.end(), {0x78, 0x01});
        }
        for (const std::size_t last = std::min(blocks, block + kBlocksPerChunk); block < last;
             ++block) {
            const std::size_t length = std::min(kBlock, size - at);
            const bool final = block + 1 == blocks;
            out.insert(out.end(), {std::uint8_t(final ? 1 : 0), std::uint8_t(length),
                                   std::uint8_t(length >> 8), std::uint8_t(~length),
                                   std::uint8_t(~length >> 8)});
            out.insert(out.end(), rows + at, rows + at + length);
            at += length;
        }
        if (chunk + 1 == chunks) {
            out.insert(out.end(), {std::uint8_t(check >> 24), std::uint8_t(check >> 16),
                                   std::uint8_t(check >> 8), std::uint8_t(check)});
        }
        const std::size_t length = out.size() - start - 8;
        putBigEndian32(out.data() + start, std::uint32_t(length));
        const auto crc = std::uint32_t(crc32_z(0, out.data() + start + 4, length + 4));
        out.insert(out.end(), {std::uint8_t(crc >> 24), std::uint8_t(crc >> 16),
                               std::uint8_t(crc >> 8), std::uint8_t(crc)});
    }
}

} // namespace

std::uint64_t pngRawBytes(std::uint32_t width, std::uint32_t height, unsigned bitDepth,
                          unsigned colourType, bool interlaced) {
    const unsigned channels = colourType == 0   ? 1
                              : colourType == 2 ? 3
                              : colourType == 3 ? 1
                              : colourType == 4 ? 2
                              : colourType == 6 ? 4
                                                : 0;
    const bool depthFits = colourType == 0   ? (bitDepth <= 16 && (bitDepth & (bitDepth - 1)) == 0)
                           : colourType == 3 ? (bitDepth <= 8 && (bitDepth & (bitDepth - 1)) == 0)
                                             : (bitDepth == 8 || bitDepth == 16);
    if (channels == 0 || !depthFits || bitDepth == 0 || width == 0 || height == 0) {
        return 0;
    }
    const std::uint64_t bits = std::uint64_t{channels} * bitDepth;
    const auto rows = [bits](std::uint64_t w, std::uint64_t h) {
        return w == 0 || h == 0 ? 0 : h * (1 + (w * bits + 7) / 8);
    };
    if (!interlaced) {
        return rows(width, height);
    }
    static constexpr unsigned kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8},
                                               {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2},
                                               {0, 1, 1, 2}};
    std::uint64_t total = 0;
    for (const auto& [x0, y0, dx, dy] : kPasses) {
        total += rows((std::uint64_t{width} + dx - 1 - x0) / dx,
                      (std::uint64_t{height} + dy - 1 - y0) / dy);
    }
    return total;
}

PngFacts preparePngForLoader(std::vector<std::uint8_t>& file) {
    PngFacts facts;
    const std::size_t size = file.size();
    if (size < sizeof kSignature || std::memcmp(file.data(), kSignature, sizeof kSignature) != 0) {
        return facts;
    }
    std::uint64_t rawBytes = 0;
    std::vector<Span> data;  // the IDAT chunks of the first run
    std::size_t dataEnd = 0; // where the chunk after that run starts
    bool palette = false;
    for (std::size_t at = sizeof kSignature; size - at >= 12;) {
        const std::uint32_t length = bigEndian32(file.data() + at);
        if (length > size - at - 12) {
            break;
        }
        std::uint8_t* const chunk = file.data() + at;
        const std::uint32_t type = bigEndian32(chunk + 4);
        const std::uint8_t* const body = chunk + 8;
        const bool first = at == sizeof kSignature;
        at += 12 + std::size_t{length};
        if (first) {
            if (type != chunkType("IHDR") || length != 13) {
                return facts;
            }
            facts.bitDepth = body[8];
            facts.colourType = body[9];
            const std::uint32_t width = bigEndian32(body);
            const std::uint32_t height = bigEndian32(body + 4);
            rawBytes = pngRawBytes(width, height, body[8], body[9], body[12] == 1);
            // Too many pixels are refused by their count, before any data is inflated.
            facts.header = rawBytes != 0 && !pictures::exceedsPixelLimit(width, height);
            continue;
        }
        if (type == chunkType("IDAT")) {
            if (dataEnd == 0) {
                data.push_back({std::size_t(body - file.data()), length});
            }
            continue;
        }
        if (!data.empty() && dataEnd == 0) {
            dataEnd = std::size_t(chunk - file.data());
        }
        switch (type) {
        case chunkType("tEXt"):
        case chunkType("zTXt"):
        case chunkType("iTXt"): {
            std::memcpy(chunk + 4, kBlank, 4);
            const std::uint32_t crc = std::uint32_t(crc32_z(crc32(0, chunk + 4, 4), body, length));
            putBigEndian32(chunk + 8 + length, crc);
            break;
        }
        case chunkType("PLTE"):
            palette = true;
            break;
        case chunkType("gAMA"):
            // Where a reader takes it: before the palette and the picture data, the first one.
            if (length == 4 && facts.gamma == 0 && !palette && data.empty()) {
                facts.gamma = bigEndian32(body);
            }
            break;
        case chunkType("tRNS"):
            // Where libpng takes it: before the picture data, the first one.
            if (length == 2 && facts.colourType == 0 && facts.transparentGrey < 0 && data.empty()) {
                facts.transparentGrey = int(body[0]) << 8 | body[1];
            }
            break;
        case chunkType("sRGB"):
        case chunkType("iCCP"):
            facts.colourSpace = facts.colourSpace || data.empty();
            break;
        case chunkType("IEND"):
            at = size;
            break;
        default:
            break;
        }
    }
    if (!facts.header || data.empty() || rawBytes > kMaxRawBytes) {
        return facts;
    }
    // The rows inflated for the question are handed on stored: libpng then only copies them,
    // which costs less than the question did.
    // Short of memory for the copy (a picture near the pixel limit), the file goes as it is.
    try {
        Memory inflated;
        std::vector<std::uint8_t> rows;
        const std::uint8_t* stored = nullptr;
        switch (inflateRowsAtOnce(file, data, rawBytes, inflated)) {
        case Inflated::Rows:
            // None when zlib answered; for the largest pictures the copy would crowd the
            // loader's own memory, and their data holds nothing more to cut.
            stored = rawBytes <= kMaxStoredRows ? inflated.get() : nullptr;
            break;
        case Inflated::Surplus:
            if (inflateRows(file, data, rawBytes, &rows) == Inflated::Surplus) {
                stored = rows.data();
            }
            break;
        case Inflated::Short:
            break;
        }
        if (!stored) {
            return facts;
        }
        const std::size_t dataStart = data.front().at - 8;
        const std::size_t after = dataEnd != 0 ? dataEnd : data.back().at + data.back().length + 4;
        std::vector<std::uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(dataStart));
        appendStoredRows(cut, stored, std::size_t(rawBytes), size - after);
        cut.insert(cut.end(), file.begin() + std::ptrdiff_t(after), file.end());
        file.swap(cut);
        facts.surplusCut = !rows.empty();
    } catch (const std::bad_alloc&) {
    }
    return facts;
}

std::array<std::uint8_t, 256> pngGammaLevels(std::uint32_t gamma) {
    std::array<std::uint8_t, 256> levels{};
    for (std::size_t v = 0; v < levels.size(); ++v) {
        levels[v] = std::uint8_t(v);
    }
    // Fixed point with five decimals, the display's gamma 2.2, and libpng's threshold of 5%
    // both for the product of the two gammas and for the exponent.
    constexpr double kOne = 100000;
    constexpr double kDisplay = 2.2 * kOne;
    const auto significant = [](double value) {
        return value < kOne - 5000 || value > kOne + 5000;
    };
    if (gamma == 0 || !significant(std::floor(gamma * kDisplay / kOne + 0.5))) {
        return levels;
    }
    const double exponent = std::floor(1e15 / gamma / kDisplay + 0.5);
    if (!significant(exponent)) {
        return levels;
    }
    for (std::size_t v = 1; v < 255; ++v) {
        levels[v] =
            std::uint8_t(std::floor(255 * std::pow(double(v) / 255, exponent / kOne) + 0.5));
    }
    return levels;
}

} // namespace quill::decode
