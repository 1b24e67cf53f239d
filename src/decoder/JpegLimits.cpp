#include "decoder/JpegLimits.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace quill::jpeg_limits {

namespace {

constexpr unsigned char kMarker = 0xff;
constexpr unsigned char kStartOfImage = 0xd8;
constexpr unsigned char kEndOfImage = 0xd9;
constexpr unsigned char kStartOfScan = 0xda;

bool isRestart(unsigned char code) {
    return code >= 0xd0 && code <= 0xd7;
}

// Frame headers: 0xc0 to 0xcf but for the Huffman table (0xc4), JPG (0xc8) and arithmetic
// conditioning (0xcc) segments.
bool isFrameHeader(unsigned char code) {
    return code >= 0xc0 && code <= 0xcf && code != 0xc4 && code != 0xc8 && code != 0xcc;
}
constexpr unsigned char kProgressiveHuffman = 0xc2;

// The end of the entropy-coded data that starts at `at`: a 0xff in it is followed by a stuffed
// zero or a restart marker.
std::size_t entropyEnd(const unsigned char* data, std::size_t size, std::size_t at) {
    while (at < size) {
        const void* marker = std::memchr(data + at, kMarker, size - at);
        if (!marker) {
            return size;
        }
        at = std::size_t(static_cast<const unsigned char*>(marker) - data);
        if (at + 1 < size && (data[at + 1] == 0 || isRestart(data[at + 1]))) {
            at += 2;
            continue;
        }
        return at;
    }
    return size;
}

// Walks a JPEG stream as libjpeg reads it, up to its end-of-image marker, and calls
// segment(code, at, length) for each marker segment (at: its first byte after the marker) and
// scan(header, length, dataEnd) for each scan, with the end of its entropy-coded data.
template <typename Segment, typename Scan>
void walkStream(Bytes jpeg, Segment&& segment, Scan&& scan) {
    const unsigned char* data = jpeg.data();
    const std::size_t size = jpeg.size();
    if (size < 2 || data[0] != kMarker || data[1] != kStartOfImage) {
        return;
    }
    std::size_t at = 2;
    while (at < size) {
        // Like libjpeg, skip anything up to the next marker and its fill bytes.
        const void* next = std::memchr(data + at, kMarker, size - at);
        if (!next) {
            break;
        }
        at = std::size_t(static_cast<const unsigned char*>(next) - data);
        while (at < size && data[at] == kMarker) {
            ++at;
        }
        if (at >= size) {
            break;
        }
        const unsigned char code = data[at++];
        if (code == kEndOfImage) {
            break;
        }
        if (code == 0 || code == 0x01 || isRestart(code)) {
            continue; // no segment of its own
        }
        if (size - at < 2) {
            break;
        }
        const std::size_t length = std::size_t(data[at]) << 8 | data[at + 1];
        if (length < 2) {
            break;
        }
        const std::size_t start = at;
        at += std::min(length, size - at);
        if (code != kStartOfScan) {
            segment(code, start, at - start);
            continue;
        }
        const std::size_t header = start;
        at = entropyEnd(data, size, at);
        scan(header, length, at);
    }
}

} // namespace

int countScans(Bytes jpeg) {
    int scans = 0;
    walkStream(
        jpeg, [](unsigned char, std::size_t, std::size_t) {},
        [&scans](std::size_t, std::size_t, std::size_t) { ++scans; });
    return scans;
}

std::optional<DcScansOnly> leaveOutAcData(Bytes jpeg, const std::vector<int>& components) {
    const unsigned char* data = jpeg.data();
    const std::size_t size = jpeg.size();
    bool progressive = false;
    bool otherFrame = false;
    bool cutShort = false;
    // Per component identifier of the frame, the coefficients sent to their last bit.
    std::map<int, std::uint64_t> exact;
    DcScansOnly result;
    std::size_t copied = 0; // bytes up to here are in the result or left out
    walkStream(
        jpeg,
        [&](unsigned char code, std::size_t at, std::size_t length) {
            if (!isFrameHeader(code)) {
                return;
            }
            (code == kProgressiveHuffman ? progressive : otherFrame) = true;
            // Length, precision, height, width, then the components, three bytes each.
            for (std::size_t c = at + 8; length >= 8 && c < at + length && c < size; c += 3) {
                exact[data[c]] = 0;
            }
        },
        [&](std::size_t header, std::size_t length, std::size_t dataEnd) {
            // Length, the number of components with an identifier and tables for each, then the
            // spectral selection, and the successive approximation's high and low bit.
            const std::size_t headerEnd = std::min(header + length, size);
            const std::size_t count = length > 2 && header + 2 < size ? data[header + 2] : 0;
            const std::size_t selection = header + 3 + 2 * count;
            if (selection + 2 >= headerEnd) {
                result.emptied.push_back(false); // libjpeg refuses it
                return;
            }
            const unsigned start = data[selection];
            const unsigned end = std::min<unsigned>(data[selection + 1], 63);
            const std::uint64_t band =
                start > end ? 0 : (~std::uint64_t{0} >> (63 - (end - start))) << start;
            for (std::size_t c = 0; c < count && (data[selection + 2] & 0x0f) == 0; ++c) {
                exact[data[header + 3 + 2 * c]] |= band;
            }
            // An AC scan holds one component.
            const bool leaveOut = start > 0 && count == 1 && dataEnd > headerEnd &&
                                  std::find(components.begin(), components.end(),
                                            int(data[header + 3])) != components.end();
            if (leaveOut) {
                result.stream.insert(result.stream.end(), data + copied, data + headerEnd);
                copied = dataEnd;
                cutShort = cutShort || dataEnd == size;
            }
            result.emptied.push_back(leaveOut);
        });
    // Where a coefficient is left less than exact, libjpeg smooths the blocks, and how far it
    // does depends on how far the last scan's data went: only the whole stream tells.
    const bool allExact = std::all_of(exact.begin(), exact.end(),
                                      [](const auto& c) { return c.second == ~std::uint64_t{0}; });
    if (!progressive || otherFrame || cutShort || exact.empty() || !allExact ||
        std::find(result.emptied.begin(), result.emptied.end(), true) == result.emptied.end()) {
        return std::nullopt;
    }
    result.stream.insert(result.stream.end(), data + copied, data + size);
    return result;
}

} // namespace quill::jpeg_limits
