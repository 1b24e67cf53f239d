#include "imaging/decoder/EmbeddedTags.h"

#include <tiffio.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

namespace quill::decode {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// Profiles are a few kilobytes to a few megabytes; a chunk that inflates beyond this is no
// profile worth reading.
constexpr std::size_t kMaxProfileBytes = std::size_t{16} << 20;
constexpr std::uint32_t kMaxChunkBytes = std::uint32_t{16} << 20;

std::uint32_t bigEndian32(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
}

std::vector<std::uint8_t> inflateProfile(const std::uint8_t* data, std::size_t size) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return {};
    }
    std::vector<std::uint8_t> out;
    std::array<std::uint8_t, 65536> block;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = uInt(size);
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = block.data();
        stream.avail_out = uInt(block.size());
        result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t got = block.size() - stream.avail_out;
        if (out.size() + got > kMaxProfileBytes || (result != Z_OK && result != Z_STREAM_END) ||
            (result == Z_OK && got == 0)) {
            out.clear();
            break;
        }
        out.insert(out.end(), block.data(), block.data() + got);
    }
    inflateEnd(&stream);
    return out;
}

} // namespace

std::vector<std::uint8_t> pngIccProfile(const char* path) {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    std::array<std::uint8_t, 8> head{};
    if (!file || std::fread(head.data(), 1, head.size(), file.get()) != head.size() ||
        std::memcmp(head.data(), kSignature, sizeof kSignature) != 0) {
        return {};
    }
    // The profile must come before the picture data; the chunks up to there are few and small.
    for (;;) {
        if (std::fread(head.data(), 1, 8, file.get()) != 8) {
            return {};
        }
        const std::uint32_t length = bigEndian32(head.data());
        if (std::memcmp(head.data() + 4, "IDAT", 4) == 0 || length > kMaxChunkBytes) {
            return {};
        }
        if (std::memcmp(head.data() + 4, "iCCP", 4) != 0) {
            if (std::fseek(file.get(), long(length) + 4, SEEK_CUR) != 0) {
                return {};
            }
            continue;
        }
        std::vector<std::uint8_t> chunk(length);
        if (std::fread(chunk.data(), 1, length, file.get()) != length) {
            return {};
        }
        // A name of 1 to 79 bytes, its zero, the compression method 0, then the zlib stream.
        const auto* end = static_cast<const std::uint8_t*>(
            std::memchr(chunk.data(), 0, std::min<std::size_t>(chunk.size(), 80)));
        if (!end || end == chunk.data()) {
            return {};
        }
        const std::size_t start = std::size_t(end - chunk.data()) + 2;
        if (start > chunk.size() || end[1] != 0) {
            return {};
        }
        return inflateProfile(chunk.data() + start, chunk.size() - start);
    }
}

std::uint32_t tiffOrientation(const char* path) {
    const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(path, "r"));
    std::uint16_t orientation = 0;
    std::uint16_t photometric = 0;
    std::uint16_t compression = COMPRESSION_NONE;
    if (!tiff || TIFFGetField(tiff.get(), TIFFTAG_ORIENTATION, &orientation) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric) != 1) {
        return 1;
    }
    TIFFGetField(tiff.get(), TIFFTAG_COMPRESSION, &compression);
    const bool rowsAsStored =
        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK ||
         photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_PALETTE) &&
        compression != COMPRESSION_JPEG && compression != COMPRESSION_OJPEG;
    return rowsAsStored && orientation >= 1 && orientation <= 8 ? orientation : 1;
}

} // namespace quill::decode
