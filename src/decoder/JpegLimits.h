#pragma once
// What one JPEG input may cost. Besides the decoder process's own time and memory limits, the
// decoder's work, the picture's pixels times its scans, has a budget, so that a small crafted file
// that claims a huge picture and a thousand scans fails at once instead of running into the time
// limit. No Qt here.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quill::jpeg_limits {

using Bytes = std::span<const std::uint8_t>;

// Pixels times scans. libjpeg's own progressive files have 10 scans, so a 50-megapixel one
// costs 5 * 10^8; the budget lets 85 scans through at that size and 16 at the largest picture
// decoded at all (2^28 pixels).
inline constexpr std::uint64_t kMaxScanPixels = std::uint64_t{1} << 32;

// The start-of-scan markers of a JPEG stream, up to its end-of-image marker; marker segments
// and the entropy-coded data between them are stepped over as libjpeg reads them.
int countScans(Bytes jpeg);

// A Huffman-coded progressive stream with the entropy-coded data of the AC scans of some
// components left out. Every marker segment and every scan header stays, so that libjpeg reads
// the same tables and scan parameters, refuses what it would refuse in the whole stream and
// records the same coefficients as sent; it finds those AC scans empty at once and has only
// their DC coefficients to decode, all that an eighth-size decode draws on for a component at
// the frame's full resolution. emptied tells, per scan in order, whether its data was left out.
struct DcScansOnly {
    std::vector<std::uint8_t> stream;
    std::vector<bool> emptied;
};
// Nothing for a stream that is not Huffman-coded progressive, has no AC scan with data of the
// components whose identifiers are given, breaks off inside one, or leaves any coefficient less
// than exact (libjpeg then smooths the blocks by what it received of the last scan).
std::optional<DcScansOnly> leaveOutAcData(Bytes jpeg, const std::vector<int>& components);

// True when decoding width x height pixels through this many scans exceeds the budget.
inline bool exceedsScanBudget(std::uint64_t width, std::uint64_t height, std::uint64_t scans) {
    const std::uint64_t pixels = width * height; // both below 2^16 in any JPEG
    return scans != 0 && pixels > kMaxScanPixels / scans;
}

} // namespace quill::jpeg_limits
