#include "decoder/EmbeddedTags.h"

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace quill::decode {

namespace {

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

std::vector<std::uint8_t> pngIccProfile(std::span<const std::uint8_t> file) {
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < sizeof kSignature ||
        std::memcmp(file.data(), kSignature, sizeof kSignature) != 0) {
        return {};
    }
    // The profile must come before the picture data; the chunks up to there are few and small.
    std::size_t at = sizeof kSignature;
    for (;;) {
        if (file.size() - at < 8) {
            return {};
        }
        const std::uint8_t* head = file.data() + at;
        const std::uint32_t length = bigEndian32(head);
        if (std::memcmp(head + 4, "IDAT", 4) == 0 || length > kMaxChunkBytes) {
            return {};
        }
        at += 8;
        if (std::memcmp(head + 4, "iCCP", 4) != 0) {
            if (file.size() - at < std::size_t{length} + 4) {
                return {};
            }
            at += std::size_t{length} + 4;
            continue;
        }
        if (file.size() - at < length) {
            return {};
        }
        const std::span<const std::uint8_t> chunk = file.subspan(at, length);
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

namespace {

// libtiff reading the file's bytes in memory, through the procedures of its client interface.
struct TiffMemory {
    std::span<const std::uint8_t> bytes;
    std::uint64_t at = 0;
};

tmsize_t tiffRead(thandle_t handle, void* buffer, tmsize_t size) {
    auto& memory = *static_cast<TiffMemory*>(handle);
    if (size < 0 || memory.at >= memory.bytes.size()) {
        return size < 0 ? -1 : 0;
    }
    const std::size_t count =
        std::min<std::uint64_t>(std::uint64_t(size), memory.bytes.size() - memory.at);
    std::memcpy(buffer, memory.bytes.data() + memory.at, count);
    memory.at += count;
    return tmsize_t(count);
}

tmsize_t tiffWrite(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto& memory = *static_cast<TiffMemory*>(handle);
    const std::uint64_t base = whence == SEEK_CUR   ? memory.at
                               : whence == SEEK_END ? memory.bytes.size()
                                                    : 0;
    // libtiff passes negative offsets as their two's complement.
    memory.at = base + offset;
    return memory.at;
}

int tiffClose(thandle_t) {
    return 0;
}

toff_t tiffSize(thandle_t handle) {
    return static_cast<TiffMemory*>(handle)->bytes.size();
}

int tiffMap(thandle_t handle, void** base, toff_t* size) {
    auto& memory = *static_cast<TiffMemory*>(handle);
    *base = const_cast<std::uint8_t*>(memory.bytes.data());
    *size = memory.bytes.size();
    return 1;
}

void tiffUnmap(thandle_t, void*, toff_t) {}

} // namespace

std::uint32_t tiffOrientation(std::span<const std::uint8_t> file) {
    TiffMemory memory{file, 0};
    const std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpen("picture", "r", &memory, tiffRead,
                                                                tiffWrite, tiffSeek, tiffClose,
                                                                tiffSize, tiffMap, tiffUnmap));
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
