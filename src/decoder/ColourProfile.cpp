#include "decoder/ColourProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quill::colour {

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

cmsUInt32Number formatOf(Pixels pixels) {
    switch (pixels) {
    case Pixels::Rgb:
        return TYPE_RGB_8;
    case Pixels::Grey:
        return TYPE_GRAY_8;
    case Pixels::GreyInRgb:
        // The two copies of the grey byte are skipped as extra channels.
        return COLORSPACE_SH(PT_GRAY) | EXTRA_SH(2) | CHANNELS_SH(1) | BYTES_SH(1);
    case Pixels::Cmyk:
        return TYPE_CMYK_8;
    case Pixels::CmykInverted:
        return TYPE_CMYK_8_REV;
    }
    return 0;
}

cmsColorSpaceSignature spaceOf(Pixels pixels) {
    switch (pixels) {
    case Pixels::Rgb:
        return cmsSigRgbData;
    case Pixels::Grey:
    case Pixels::GreyInRgb:
        return cmsSigGrayData;
    case Pixels::Cmyk:
    case Pixels::CmykInverted:
        break;
    }
    return cmsSigCmykData;
}

bool isDeviceProfile(cmsHPROFILE profile) {
    switch (cmsGetDeviceClass(profile)) {
    case cmsSigInputClass:
    case cmsSigDisplayClass:
    case cmsSigOutputClass:
    case cmsSigColorSpaceClass:
        return true;
    default:
        return false;
    }
}

bool within(int a, int b) {
    return std::abs(a - b) <= 1;
}

// An sRGB profile (there are many slightly different ones) must leave today's bytes alone, so a
// profile is tested on a grid of colours rather than recognised by its name.
bool amountsToSrgb(cmsHTRANSFORM transform, Pixels pixels) {
    constexpr int kStep = 15; // 18 levels per channel, 0 to 255
    std::vector<std::uint8_t> in;
    std::size_t count = 0;
    if (pixels == Pixels::Rgb) {
        for (int r = 0; r <= 255; r += kStep) {
            for (int g = 0; g <= 255; g += kStep) {
                for (int b = 0; b <= 255; b += kStep) {
                    in.insert(in.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
                    ++count;
                }
            }
        }
    } else {
        const std::size_t width = pixels == Pixels::Grey ? 1 : 3;
        for (int v = 0; v <= 255; ++v) {
            in.insert(in.end(), width, std::uint8_t(v));
            ++count;
        }
    }
    std::vector<std::uint8_t> out(count * 3);
    cmsDoTransform(transform, in.data(), out.data(), cmsUInt32Number(count));
    const std::size_t inWidth = in.size() / count;
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t c = 0; c < 3; ++c) {
            const std::uint8_t expected = in[i * inWidth + (inWidth == 3 ? c : 0)];
            if (!within(out[i * 3 + c], expected)) {
                return false;
            }
        }
    }
    return true;
}

// Grid positions are fixed point with 15 fraction bits; node values are sRGB levels times 256,
// so that the weighted sums of one interpolation stay within 32 bits.
constexpr std::uint32_t kFractionBits = 15;
constexpr std::uint32_t kOne = 1u << kFractionBits;
constexpr std::uint32_t kNodeScale = 255 * 256;
// Nodes per input channel: an 8-bit RGB picture needs 33 to stay within a level of the exact
// colours; 17 keeps the four-dimensional CMYK grid small enough for the cache.
constexpr std::uint32_t kRgbNodes = 33;
constexpr std::uint32_t kCmykNodes = 17;
// Linear light in fixed point with 14 fraction bits, as Little CMS's own 8-bit matrix path.
constexpr std::int32_t kLinearOne = 1 << 14;

// What real profiles stay far below. A press profile with a fine four-ink grid is a few
// megabytes; a float pipeline has a handful of stages (curves, matrix, grid, curves) of a few
// curve segments each. Every stage and segment is evaluated for each of the tens of thousands of
// colours the tables are made of, which is what a crafted profile of thousands of stages makes
// cost seconds.
constexpr std::size_t kMaxProfileBytes = std::size_t{16} << 20;
constexpr std::uint32_t kMaxTags = 100; // Little CMS reads no more
constexpr std::uint32_t kMaxStages = 8;
constexpr std::uint32_t kMaxSegments = 16;  // pieces of one curve
constexpr std::uint32_t kMaxGridInputs = 8; // interpolation visits 2^inputs nodes
constexpr std::uint32_t kMaxChannels = 16;  // channels between two stages

constexpr std::uint32_t signature(const char (&name)[5]) {
    return std::uint32_t(std::uint8_t(name[0])) << 24 | std::uint32_t(std::uint8_t(name[1])) << 16 |
           std::uint32_t(std::uint8_t(name[2])) << 8 | std::uint32_t(std::uint8_t(name[3]));
}

// Reads big-endian numbers within a span of the profile; reads past its end give zero, and the
// spans checked below are always looked up with within() first.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool within(std::size_t at, std::size_t count) const {
        return at <= size_ && count <= size_ - at;
    }
    std::uint32_t u8(std::size_t at) const { return within(at, 1) ? data_[at] : 0; }
    std::uint32_t u16(std::size_t at) const { return u8(at) << 8 | u8(at + 1); }
    std::uint32_t u32(std::size_t at) const { return u16(at) << 16 | u16(at + 2); }
    Bytes span(std::size_t at, std::size_t count) const {
        return within(at, count) ? Bytes(data_ + at, count) : Bytes(data_, 0);
    }
    std::size_t size() const { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// The nodes of a grid must be in the bytes that hold it: Little CMS allocates them before it
// reads, so a grid that claims billions of nodes would cost their memory.
std::string gridBeyondBounds(const Bytes& tag, std::size_t pointsAt, std::uint32_t inputs,
                             std::uint32_t outputs, std::size_t bytesPerValue, std::size_t dataAt) {
    if (inputs > kMaxGridInputs) {
        return "a grid of " + std::to_string(inputs) + " inputs";
    }
    std::uint64_t values = outputs;
    for (std::uint32_t i = 0; i < inputs; ++i) {
        values *= tag.u8(pointsAt + i);
        if (values * bytesPerValue > tag.size()) {
            return "a grid larger than its bytes";
        }
    }
    if (!tag.within(dataAt, std::size_t(values * bytesPerValue))) {
        return "a grid larger than its bytes";
    }
    return {};
}

// A pipeline of processing elements: its stages are counted before any is read.
std::string pipelineBeyondBounds(const Bytes& tag) {
    const std::uint32_t stages = tag.u32(12);
    if (stages > kMaxStages) {
        return "a pipeline of " + std::to_string(stages) + " stages";
    }
    for (std::uint32_t i = 0; i < stages; ++i) {
        const std::size_t entry = 16 + std::size_t(i) * 8;
        const Bytes stage = tag.span(tag.u32(entry), tag.u32(entry + 4));
        const std::uint32_t inputs = stage.u16(8);
        const std::uint32_t outputs = stage.u16(10);
        if (inputs > kMaxChannels || outputs > kMaxChannels) {
            return "a pipeline stage of " + std::to_string(std::max(inputs, outputs)) + " channels";
        }
        switch (stage.u32(0)) {
        case signature("cvst"):
            for (std::uint32_t c = 0; c < inputs; ++c) {
                const std::size_t at = 12 + std::size_t(c) * 8;
                const Bytes curve = stage.span(stage.u32(at), stage.u32(at + 4));
                if (curve.u16(8) > kMaxSegments) {
                    return "a curve of " + std::to_string(curve.u16(8)) + " segments";
                }
            }
            break;
        case signature("clut"): {
            std::string why = gridBeyondBounds(stage, 12, inputs, outputs, 4, 28);
            if (!why.empty()) {
                return why;
            }
            break;
        }
        default:
            break;
        }
    }
    return {};
}

std::string tagBeyondBounds(const Bytes& tag) {
    switch (tag.u32(0)) {
    case signature("mpet"):
        return pipelineBeyondBounds(tag);
    case signature("mAB "):
    case signature("mBA "): {
        const std::uint32_t gridAt = tag.u32(24);
        if (gridAt == 0) {
            return {};
        }
        const std::uint32_t precision = tag.u8(gridAt + 16);
        return gridBeyondBounds(tag, gridAt, tag.u8(8), tag.u8(9), precision == 1 ? 1 : 2,
                                std::size_t(gridAt) + 20);
    }
    case signature("mft1"):
    case signature("mft2"): {
        const std::uint32_t inputs = tag.u8(8);
        if (inputs > kMaxGridInputs) {
            return "a grid of " + std::to_string(inputs) + " inputs";
        }
        std::uint64_t values = tag.u8(9);
        for (std::uint32_t i = 0; i < inputs && values <= tag.size(); ++i) {
            values *= tag.u8(10);
        }
        if (values > tag.size()) {
            return "a grid larger than its bytes";
        }
        return {};
    }
    default:
        return {};
    }
}

} // namespace

std::string costBeyondBounds(const std::uint8_t* profile, std::size_t size) {
    if (size > kMaxProfileBytes) {
        return "a profile of " + std::to_string(size) + " bytes";
    }
    const Bytes bytes(profile, size);
    const std::uint32_t tags = bytes.u32(128);
    if (tags > kMaxTags) {
        return std::to_string(tags) + " tags";
    }
    for (std::uint32_t i = 0; i < tags; ++i) {
        const std::size_t entry = 132 + std::size_t(i) * 12;
        std::string why = tagBeyondBounds(bytes.span(bytes.u32(entry + 4), bytes.u32(entry + 8)));
        if (!why.empty()) {
            return why;
        }
    }
    return {};
}

namespace {

// Which pipeline Little CMS evaluates for a profile used as the source with the perceptual
// intent: its float pipeline (D2B0) before all else, then its grid (A2B0), then the matrix and
// curves.
bool hasGridOrFloatPipeline(cmsHPROFILE profile) {
    return cmsIsTag(profile, cmsSigDToB0Tag) ||
           cmsIsCLUT(profile, INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT);
}

} // namespace

struct SrgbConversion::Table {
    enum class Kind { Grey, Matrix, Grid };
    Kind kind = Kind::Grid;
    std::size_t inputWidth = 3;
    // Matrix and curves: what each input level of each channel adds to linear sRGB red, green
    // and blue (its linear light through the matrix; 1.0 = kLinearOne), and the sRGB level of
    // each linear amount. A pixel is then three lookups and two additions of four lanes.
    using Share = std::array<std::int32_t, 4>;
    alignas(16) std::array<std::array<Share, 256>, 3> share{};
    std::array<std::uint8_t, kLinearOne + 1> encode{};
    // Grey: the sRGB colour of each grey level.
    std::array<std::uint8_t, 256 * 3> grey{};
    // Grids: for each input channel and 8-bit value, where its cell starts (in node values) and
    // how far into the cell it lies.
    std::array<std::array<std::uint32_t, 256>, 4> cell{};
    std::array<std::array<std::uint32_t, 256>, 4> fraction{};
    std::array<std::uint32_t, 4> step{}; // node values from one node to the next, per channel
    std::vector<std::uint16_t> nodes;    // R, G, B for each node

    void convertGrey(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const noexcept {
        const std::size_t width = inputWidth;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* colour = &grey[std::size_t(in[i * width]) * 3];
            out[i * 3] = colour[0];
            out[i * 3 + 1] = colour[1];
            out[i * 3 + 2] = colour[2];
        }
    }

    void convertMatrix(const std::uint8_t* in, std::uint8_t* out,
                       std::size_t count) const noexcept {
        const std::uint8_t* level = encode.data();
        std::size_t i = 0;
#if defined(__SSE2__)
        // Two pixels at a time: their sums packed into one register with saturation, clamped
        // there. Both pixels are read before either is written, for conversion in place.
        const auto sumOf = [this](const std::uint8_t* pixel) {
            const auto lanes = [](const Share& row) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row.data()));
            };
            return _mm_add_epi32(
                _mm_add_epi32(lanes(share[0][pixel[0]]), lanes(share[1][pixel[1]])),
                lanes(share[2][pixel[2]]));
        };
        const __m128i zero = _mm_setzero_si128();
        const __m128i one = _mm_set1_epi16(std::int16_t(kLinearOne));
        for (; i + 2 <= count; i += 2) {
            const __m128i first = sumOf(in + i * 3);
            const __m128i second = sumOf(in + i * 3 + 3);
            const __m128i steps =
                _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(first, second), zero), one);
            std::uint8_t* pixels = out + i * 3;
            pixels[0] = level[_mm_extract_epi16(steps, 0)];
            pixels[1] = level[_mm_extract_epi16(steps, 1)];
            pixels[2] = level[_mm_extract_epi16(steps, 2)];
            pixels[3] = level[_mm_extract_epi16(steps, 4)];
            pixels[4] = level[_mm_extract_epi16(steps, 5)];
            pixels[5] = level[_mm_extract_epi16(steps, 6)];
        }
#endif
        const auto clamp = [](std::int32_t v) {
            return std::size_t(std::clamp<std::int32_t>(v, 0, kLinearOne));
        };
        for (; i < count; ++i) {
            const Share& r = share[0][in[i * 3]];
            const Share& g = share[1][in[i * 3 + 1]];
            const Share& b = share[2][in[i * 3 + 2]];
            out[i * 3] = level[clamp(r[0] + g[0] + b[0])];
            out[i * 3 + 1] = level[clamp(r[1] + g[1] + b[1])];
            out[i * 3 + 2] = level[clamp(r[2] + g[2] + b[2])];
        }
    }

    // The tetrahedron of a grid cell that holds a point: the cube is cut along its diagonal by
    // which coordinate is largest, middle, least. Chosen without branches, since in a noisy
    // photo the order changes from pixel to pixel.
    struct Tetrahedron {
        std::uint32_t first, second, last; // node offsets from the cell's base
        std::uint32_t a, b, c, d;          // corner weights, summing to kOne
    };
    static Tetrahedron tetrahedron(std::uint32_t sx, std::uint32_t sy, std::uint32_t sz,
                                   std::uint32_t fx, std::uint32_t fy, std::uint32_t fz) noexcept {
        const auto order = [](std::uint32_t& f1, std::uint32_t& s1, std::uint32_t& f2,
                              std::uint32_t& s2) {
            const bool swap = f1 < f2;
            const std::uint32_t fa = swap ? f2 : f1, fb = swap ? f1 : f2;
            const std::uint32_t sa = swap ? s2 : s1, sb = swap ? s1 : s2;
            f1 = fa, f2 = fb, s1 = sa, s2 = sb;
        };
        order(fx, sx, fy, sy);
        order(fy, sy, fz, sz);
        order(fx, sx, fy, sy);
        return {sx, sx + sy, sx + sy + sz, kOne - fx, fx - fy, fy - fz, fz};
    }

    static void interpolate(const std::uint16_t* base, const Tetrahedron& t,
                            std::uint32_t out[3]) noexcept {
        const std::uint16_t* p1 = base + t.first;
        const std::uint16_t* p2 = base + t.second;
        const std::uint16_t* p3 = base + t.last;
        for (int ch = 0; ch < 3; ++ch) {
            out[ch] = t.a * base[ch] + t.b * p1[ch] + t.c * p2[ch] + t.d * p3[ch];
        }
    }

    void convertRgb(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const noexcept {
        const std::uint16_t* grid = nodes.data();
        const std::uint32_t sx = step[0], sy = step[1], sz = step[2];
        constexpr std::uint32_t half = 1u << (kFractionBits + 7);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t r = in[i * 3], g = in[i * 3 + 1], b = in[i * 3 + 2];
            std::uint32_t value[3];
            interpolate(grid + cell[0][r] + cell[1][g] + cell[2][b],
                        tetrahedron(sx, sy, sz, fraction[0][r], fraction[1][g], fraction[2][b]),
                        value);
            out[i * 3] = std::uint8_t((value[0] + half) >> (kFractionBits + 8));
            out[i * 3 + 1] = std::uint8_t((value[1] + half) >> (kFractionBits + 8));
            out[i * 3 + 2] = std::uint8_t((value[2] + half) >> (kFractionBits + 8));
        }
    }

    // Four inks: the two grids of the black amounts either side, blended.
    void convertCmyk(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const noexcept {
        const std::uint16_t* grid = nodes.data();
        const std::uint32_t sx = step[0], sy = step[1], sz = step[2], sk = step[3];
        constexpr std::uint32_t halfStep = 1u << (kFractionBits - 1);
        constexpr std::uint32_t half = 1u << (kFractionBits + 7);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t c = in[i * 4], m = in[i * 4 + 1], y = in[i * 4 + 2],
                               k = in[i * 4 + 3];
            const std::uint16_t* base = grid + cell[0][c] + cell[1][m] + cell[2][y] + cell[3][k];
            const std::uint32_t fc = fraction[0][c], fm = fraction[1][m], fy = fraction[2][y];
            const std::uint32_t fk = fraction[3][k];
            const Tetrahedron t = tetrahedron(sx, sy, sz, fc, fm, fy);
            std::uint32_t lower[3], upper[3];
            interpolate(base, t, lower);
            interpolate(base + sk, t, upper);
            for (int ch = 0; ch < 3; ++ch) {
                const std::uint32_t below = (lower[ch] + halfStep) >> kFractionBits;
                const std::uint32_t above = (upper[ch] + halfStep) >> kFractionBits;
                out[i * 3 + std::size_t(ch)] =
                    std::uint8_t((below * (kOne - fk) + above * fk + half) >> (kFractionBits + 8));
            }
        }
    }

    // A profile made of three primaries and their curves: its matrix and curves joined with
    // sRGB's, as Little CMS does for such a pair. False when the profile holds a grid for the
    // intent, or its tags do not make a usable matrix.
    bool joinMatrices(cmsHPROFILE source, cmsHPROFILE srgb);

    // Samples the transform (16 bits a channel in and out) on `points` nodes per channel.
    void sample(cmsHTRANSFORM transform, std::uint32_t channels, std::uint32_t points,
                bool inverted);

    void convert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const noexcept {
        switch (kind) {
        case Kind::Matrix:
            convertMatrix(in, out, count);
            break;
        case Kind::Grey:
            convertGrey(in, out, count);
            break;
        case Kind::Grid:
            if (inputWidth == 4) {
                convertCmyk(in, out, count);
            } else {
                convertRgb(in, out, count);
            }
            break;
        }
    }
};

SrgbConversion::SrgbConversion() = default;
SrgbConversion::SrgbConversion(SrgbConversion&&) noexcept = default;
SrgbConversion& SrgbConversion::operator=(SrgbConversion&&) noexcept = default;
SrgbConversion::~SrgbConversion() = default;

std::size_t SrgbConversion::inputWidth() const noexcept {
    return table_ ? table_->inputWidth : 3;
}

SrgbConversion SrgbConversion::fromProfile(const std::uint8_t* profile, std::size_t size,
                                           Pixels pixels, std::string* ignoredBecause) {
    SrgbConversion conversion;
    if (!profile || size == 0) {
        return conversion;
    }
    const auto ignore = [ignoredBecause](std::string why) {
        if (ignoredBecause) {
            *ignoredBecause = std::move(why);
        }
    };
    if (std::string why = costBeyondBounds(profile, size); !why.empty()) {
        ignore("colour profile ignored: " + why);
        return conversion;
    }
    const Profile source(cmsOpenProfileFromMem(profile, cmsUInt32Number(size)));
    if (!source) {
        ignore("colour profile ignored: Little CMS cannot read it");
        return conversion;
    }
    if (!isDeviceProfile(source.get()) || cmsGetColorSpace(source.get()) != spaceOf(pixels)) {
        return conversion;
    }
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) {
        return conversion;
    }
    auto table = std::make_unique<Table>();
    const bool cmyk = pixels == Pixels::Cmyk || pixels == Pixels::CmykInverted;
    table->inputWidth = cmyk ? 4 : pixels == Pixels::Grey ? 1 : 3;
    if (!cmyk) {
        const Transform exact(cmsCreateTransform(source.get(), formatOf(pixels), srgb.get(),
                                                 TYPE_RGB_8, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
        if (!exact) {
            ignore("colour profile ignored: Little CMS cannot convert it");
            return conversion;
        }
        if (amountsToSrgb(exact.get(), pixels)) {
            return conversion;
        }
        if (pixels != Pixels::Rgb) {
            // Every grey level once: the table is the exact conversion.
            std::array<std::uint8_t, 256 * 3> levels{};
            for (std::size_t v = 0; v < 256; ++v) {
                levels[v * 3] = std::uint8_t(v);
            }
            const cmsUInt32Number format = formatOf(Pixels::GreyInRgb);
            const Transform spread(cmsCreateTransform(source.get(), format, srgb.get(), TYPE_RGB_8,
                                                      INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
            if (!spread) {
                return conversion;
            }
            cmsDoTransform(spread.get(), levels.data(), table->grey.data(), 256);
            table->kind = Table::Kind::Grey;
            conversion.table_ = std::move(table);
            return conversion;
        }
    }
    if (!cmyk && table->joinMatrices(source.get(), srgb.get())) {
        conversion.table_ = std::move(table);
        return conversion;
    }
    const Transform sampler(cmsCreateTransform(source.get(), cmyk ? TYPE_CMYK_16 : TYPE_RGB_16,
                                               srgb.get(), TYPE_RGB_16, INTENT_PERCEPTUAL,
                                               cmsFLAGS_NOCACHE));
    if (!sampler) {
        ignore("colour profile ignored: Little CMS cannot convert it");
        return conversion;
    }
    table->sample(sampler.get(), cmyk ? 4 : 3, cmyk ? kCmykNodes : kRgbNodes,
                  pixels == Pixels::CmykInverted);
    conversion.table_ = std::move(table);
    return conversion;
}

void SrgbConversion::Table::sample(cmsHTRANSFORM transform, std::uint32_t channels,
                                   std::uint32_t points, bool inverted) {
    std::size_t count = 1;
    for (std::uint32_t c = 0; c < channels; ++c) {
        count *= points;
    }
    // Node order: the last channel varies fastest, so that for CMYK the two nodes either side of
    // a black amount share a cache line.
    std::vector<std::uint16_t> in(count * channels);
    std::vector<std::uint16_t> out(count * 3);
    const auto level = [points](std::uint32_t node) {
        return std::uint16_t((node * 65535u + (points - 1) / 2) / (points - 1));
    };
    for (std::size_t n = 0; n < count; ++n) {
        std::size_t rest = n;
        for (std::uint32_t c = channels; c-- > 0;) {
            in[n * channels + c] = level(std::uint32_t(rest % points));
            rest /= points;
        }
    }
    cmsDoTransform(transform, in.data(), out.data(), cmsUInt32Number(count));
    nodes.resize(count * 3);
    for (std::size_t i = 0; i < out.size(); ++i) {
        nodes[i] = std::uint16_t((std::uint32_t(out[i]) * kNodeScale + 32767) / 65535);
    }
    for (std::uint32_t c = channels, stride = 3; c-- > 0; stride *= points) {
        step[c] = stride;
    }
    for (std::uint32_t v = 0; v < 256; ++v) {
        const std::uint32_t position = (v * (points - 1) * kOne + 127) / 255;
        std::uint32_t node = position >> kFractionBits;
        std::uint32_t within = position & (kOne - 1);
        if (node == points - 1) {
            node = points - 2;
            within = kOne;
        }
        for (std::uint32_t c = 0; c < channels; ++c) {
            const std::uint32_t index = inverted ? 255 - v : v;
            cell[c][index] = node * step[c];
            fraction[c][index] = within;
        }
    }
}

namespace {

using Matrix3 = std::array<double, 9>;

bool colorants(cmsHPROFILE profile, Matrix3& m) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz) {
            return false;
        }
        m[std::size_t(c)] = xyz->X;
        m[std::size_t(3 + c)] = xyz->Y;
        m[std::size_t(6 + c)] = xyz->Z;
    }
    return true;
}

bool invert(const Matrix3& m, Matrix3& inverse) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (std::abs(det) < 1e-9) {
        return false;
    }
    inverse = {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
               (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
               (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
               (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
               (m[0] * m[4] - m[1] * m[3]) / det};
    return true;
}

} // namespace

bool SrgbConversion::Table::joinMatrices(cmsHPROFILE source, cmsHPROFILE srgb) {
    if (hasGridOrFloatPipeline(source) || !cmsIsMatrixShaper(source) || !cmsIsMatrixShaper(srgb)) {
        return false;
    }
    Matrix3 from{}, to{}, back{}, matrix{};
    if (!colorants(source, from) || !colorants(srgb, to) || !invert(to, back)) {
        return false;
    }
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t col = 0; col < 3; ++col) {
            double sum = 0;
            for (std::size_t k = 0; k < 3; ++k) {
                sum += back[row * 3 + k] * from[k * 3 + col];
            }
            if (!(std::abs(sum) < 64)) {
                return false; // also NaN: nothing a real profile holds
            }
            matrix[row * 3 + col] = sum;
        }
    }
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (std::size_t c = 0; c < 3; ++c) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curves[c]));
        if (!curve) {
            return false;
        }
        for (std::size_t v = 0; v < 256; ++v) {
            const double amount = cmsEvalToneCurveFloat(curve, cmsFloat32Number(v / 255.0));
            const double light = std::clamp(amount, 0.0, 1.0) * kLinearOne;
            for (std::size_t row = 0; row < 3; ++row) {
                share[c][v][row] = std::int32_t(std::lround(matrix[row * 3 + c] * light));
            }
        }
    }
    // sRGB's three curves are one; a reversed curve gives the level of each linear amount.
    const auto* srgbCurve = static_cast<const cmsToneCurve*>(cmsReadTag(srgb, cmsSigRedTRCTag));
    if (!srgbCurve) {
        return false;
    }
    std::unique_ptr<cmsToneCurve, void (*)(cmsToneCurve*)> reversed(cmsReverseToneCurve(srgbCurve),
                                                                    cmsFreeToneCurve);
    if (!reversed) {
        return false;
    }
    for (std::size_t i = 0; i <= std::size_t(kLinearOne); ++i) {
        const double v =
            cmsEvalToneCurveFloat(reversed.get(), cmsFloat32Number(double(i) / kLinearOne));
        encode[i] = std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255));
    }
    kind = Kind::Matrix;
    return true;
}

void SrgbConversion::convert(const std::uint8_t* in, std::uint8_t* out,
                             std::size_t count) const noexcept {
    if (table_) {
        table_->convert(in, out, count);
    }
}

void SrgbConversion::convertRows(std::uint8_t* pixels, std::size_t stride, std::uint32_t width,
                                 std::uint32_t height) const {
    if (!table_) {
        return;
    }
    const auto rows = [&](std::uint32_t from, std::uint32_t to) noexcept {
        for (std::uint32_t y = from; y < to; ++y) {
            std::uint8_t* row = pixels + std::size_t(y) * stride;
            table_->convert(row, row, width);
        }
    };
    constexpr std::uint64_t kShareFrom = 1u << 20; // below, a thread costs more than it saves
    const std::uint32_t middle = height / 2;
    std::thread lower;
    if (std::uint64_t(width) * height >= kShareFrom) {
        try {
            lower = std::thread(rows, middle, height);
        } catch (const std::system_error&) {
            // No second thread: this one does all rows.
        }
    }
    rows(0, lower.joinable() ? middle : height);
    if (lower.joinable()) {
        lower.join();
    }
}

// ConversionBehind

namespace {
constexpr std::uint32_t kBand = 16;             // rows handed over at a time
constexpr std::uint32_t kRingBands = 4;         // bands of input rows in the ring
constexpr std::uint64_t kThreadFrom = 1u << 20; // pixels: below, no thread is worth it
} // namespace

ConversionBehind::ConversionBehind(const SrgbConversion& conversion, std::uint8_t* pixels,
                                   std::size_t stride, std::uint32_t width, std::uint32_t height)
    : conversion_(conversion), pixels_(pixels), stride_(stride), width_(width), height_(height),
      inputWidth_(conversion.inputWidth()) {
    if (!conversion_ || std::uint64_t(width) * height < kThreadFrom) {
        if (inputWidth_ != 3) {
            ring_.resize(std::size_t(width) * inputWidth_);
            ringRows_ = 1;
        }
        return;
    }
    if (inputWidth_ != 3) {
        ringRows_ = std::min(height, kBand * kRingBands);
        ring_.resize(std::size_t(width) * inputWidth_ * ringRows_);
    }
    try {
        thread_ = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        // Converted on the decoding thread instead.
        if (inputWidth_ != 3) {
            ringRows_ = 1;
            ring_.resize(std::size_t(width) * inputWidth_);
        }
    }
}

ConversionBehind::~ConversionBehind() {
    if (thread_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
}

void ConversionBehind::convertBand(std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t y = from; y < to; ++y) {
        std::uint8_t* row = pixels_ + std::size_t(y) * stride_;
        const std::uint8_t* in =
            ringRows_ ? ring_.data() + std::size_t(y % ringRows_) * width_ * inputWidth_ : row;
        conversion_.convert(in, row, width_);
    }
}

void ConversionBehind::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || ready_ > converted_; });
        if (stopping_) {
            return; // done, or the decoder gave up and the rows are never looked at
        }
        const std::uint32_t from = converted_;
        const std::uint32_t to = ready_;
        lock.unlock();
        convertBand(from, to);
        lock.lock();
        converted_ = to;
        advanced_.notify_one();
    }
}

std::uint8_t* ConversionBehind::rowFor(std::uint32_t y) {
    std::uint8_t* const row = pixels_ + std::size_t(y) * stride_;
    if (!conversion_ || ringRows_ == 0) {
        return row;
    }
    if (thread_.joinable() && y >= ringRows_) {
        std::unique_lock lock(mutex_);
        if (converted_ + ringRows_ <= y) {
            // Rows are decoded in order: all before y are done, and must go to make room.
            announced_ = ready_ = y;
            wake_.notify_one();
            advanced_.wait(lock, [this, y] { return converted_ + ringRows_ > y; });
        }
    }
    return ring_.data() + std::size_t(y % ringRows_) * width_ * inputWidth_;
}

void ConversionBehind::decoded(std::uint32_t rows) {
    if (!conversion_) {
        return;
    }
    decodedRows_ = rows;
    if (!thread_.joinable()) {
        convertBand(announced_, rows);
        announced_ = rows;
        return;
    }
    if (rows < announced_ + kBand && rows < height_) {
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        announced_ = ready_ = rows;
    }
    wake_.notify_one();
}

void ConversionBehind::finish() {
    if (!conversion_ || !thread_.joinable()) {
        return;
    }
    std::unique_lock lock(mutex_);
    announced_ = ready_ = decodedRows_;
    wake_.notify_one();
    advanced_.wait(lock, [this] { return converted_ >= ready_; });
}

} // namespace quill::colour
