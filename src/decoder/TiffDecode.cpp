#include "decoder/TiffDecode.h"

#include "decoder/ColourProfile.h"
#include "imaging/PixelLimit.h"

#include <lcms2.h>
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace quill::decode {

namespace {

// No single buffer of libtiff's or ours grows past this: a band of a picture at the pixel limit
// fits, a strip or tile that claims more does not get its memory.
constexpr std::uint64_t kMaxBufferBytes = std::uint64_t{1} << 30;

// The file's bytes, read by libtiff through these procedures; nothing is ever written.
struct Memory {
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
};

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t count) {
    auto* memory = static_cast<Memory*>(handle);
    if (count <= 0 || memory->position >= memory->size) {
        return 0;
    }
    const std::uint64_t got =
        std::min<std::uint64_t>(std::uint64_t(count), memory->size - memory->position);
    std::memcpy(buffer, memory->data + memory->position, std::size_t(got));
    memory->position += got;
    return tmsize_t(got);
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* memory = static_cast<Memory*>(handle);
    // libtiff passes backward moves as offsets that wrap around; so does the sum.
    switch (whence) {
    case SEEK_SET:
        memory->position = offset;
        break;
    case SEEK_CUR:
        memory->position += offset;
        break;
    case SEEK_END:
        memory->position = memory->size + offset;
        break;
    default:
        return toff_t(-1);
    }
    return memory->position;
}

int closeNothing(thandle_t) {
    return 0;
}

toff_t memorySize(thandle_t handle) {
    return static_cast<Memory*>(handle)->size;
}

// Hands libtiff the bytes themselves, so that strips are decoded straight from them.
int mapMemory(thandle_t handle, void** base, toff_t* size) {
    auto* memory = static_cast<Memory*>(handle);
    *base = const_cast<std::uint8_t*>(memory->data);
    *size = memory->size;
    return 1;
}

void unmapNothing(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

TiffPtr openMemory(Memory& memory) {
    const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) {
        return {};
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMaxBufferBytes));
    return TiffPtr(TIFFClientOpenExt("memory", "r", &memory, readMemory, writeNothing, seekMemory,
                                     closeNothing, memorySize, mapMemory, unmapNothing,
                                     options.get()));
}

// The tags that decide how a picture is read.
struct Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bits = 1;
    std::uint16_t samples = 1;
    bool samplesTag = false;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t orientation = 0; // 0 without the tag
    bool tiled = false;
    std::uint16_t colourSamples = 1; // the samples before the extra ones
    int alpha = -1;                  // the sample that holds alpha
    bool associated = false;         // colours already multiplied by alpha
    bool otherExtra = false;         // an extra sample that is not alpha, which is left out
    std::uint16_t maxSample = 0;     // a MaxSampleValue below the full range of 9 to 16 bits
};

std::optional<Layout> readLayout(TIFF* tiff) {
    Layout layout;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width) != 1 ||
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height) != 1) {
        return std::nullopt;
    }
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &layout.bits);
    layout.samplesTag = TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.samples) == 1;
    if (!layout.samplesTag) {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &layout.samples);
    }
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &layout.format);
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.photometric) != 1) {
        layout.photometric = layout.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &layout.planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &layout.compression);
    TIFFGetField(tiff, TIFFTAG_ORIENTATION, &layout.orientation);
    layout.tiled = TIFFIsTiled(tiff) != 0;
    // Pictures of a narrower range kept in 16 bits (as converted from PGM files of a maxval
    // below 65535) say where their white is.
    std::uint16_t maxSample = 0;
    if (layout.bits > 8 && layout.bits <= 16 && layout.format == SAMPLEFORMAT_UINT &&
        TIFFGetField(tiff, TIFFTAG_MAXSAMPLEVALUE, &maxSample) == 1 && maxSample > 0 &&
        maxSample < (1u << layout.bits) - 1) {
        layout.maxSample = maxSample;
    }
    std::uint16_t extraCount = 0;
    const std::uint16_t* extra = nullptr;
    layout.colourSamples = layout.samples;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) == 1 && extra &&
        extraCount <= layout.samples) {
        // Only a sample declared as alpha is alpha; an unspecified one (as some programs write
        // their matte) is left out, as libtiff's RGBA reading leaves it out: taking it as alpha
        // would blank whatever a program stored there for its own use.
        layout.colourSamples = std::uint16_t(layout.samples - extraCount);
        for (std::uint16_t i = 0; i < extraCount; ++i) {
            if ((extra[i] == EXTRASAMPLE_ASSOCALPHA || extra[i] == EXTRASAMPLE_UNASSALPHA) &&
                layout.alpha < 0) {
                layout.alpha = layout.colourSamples + i;
                layout.associated = extra[i] == EXTRASAMPLE_ASSOCALPHA;
            } else {
                layout.otherExtra = true;
            }
        }
    }
    return layout;
}

bool rowsAsStoredByFreeImage(const Layout& layout) {
    return (layout.photometric == PHOTOMETRIC_MINISWHITE ||
            layout.photometric == PHOTOMETRIC_MINISBLACK || layout.photometric == PHOTOMETRIC_RGB ||
            layout.photometric == PHOTOMETRIC_PALETTE) &&
           layout.compression != COMPRESSION_JPEG && layout.compression != COMPRESSION_OJPEG;
}

// A colour map is 16 bits an entry; one whose entries all lie below 256 was written as if it
// were 8, and FreeImage reads it so.
bool smallColourMap(TIFF* tiff, const Layout& layout) {
    const std::uint16_t* maps[3] = {};
    if (layout.bits > 8 ||
        TIFFGetField(tiff, TIFFTAG_COLORMAP, &maps[0], &maps[1], &maps[2]) != 1) {
        return false;
    }
    const std::size_t entries = std::size_t{1} << layout.bits;
    for (const std::uint16_t* map : maps) {
        if (!map || std::any_of(map, map + entries, [](std::uint16_t v) { return v >= 256; })) {
            return false;
        }
    }
    return true;
}

// The embedded profile of a CMYK picture, which FreeImage's plain ink arithmetic ignores.
colour::SrgbConversion cmykProfile(TIFF* tiff) {
    std::uint32_t size = 0;
    const void* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &profile) != 1 || !profile || size == 0) {
        return {};
    }
    return colour::SrgbConversion::fromProfile(static_cast<const std::uint8_t*>(profile), size,
                                               colour::Pixels::Cmyk);
}

// Whether a profile of CMYK colours is embedded, told from its header alone: the conversion
// itself is made once, by the reading.
bool hasCmykProfile(TIFF* tiff) {
    std::uint32_t size = 0;
    const void* profile = nullptr;
    return TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &profile) == 1 && profile && size >= 20 &&
           std::memcmp(static_cast<const char*>(profile) + 16, "CMYK", 4) == 0;
}

// What FreeImage reads right and upright (checked against its results, kind by kind); the rest
// is read here.
bool freeImageReadsRight(TIFF* tiff, const Layout& layout) {
    if (layout.orientation >= 2 && layout.orientation <= 8 && !rowsAsStoredByFreeImage(layout)) {
        return false; // libtiff only flips such pictures, or FreeImage leaves them as stored
    }
    // FreeImage takes any extra sample for alpha and leaves a palette picture's alpha out.
    if (!layout.samplesTag || layout.format != SAMPLEFORMAT_UINT || layout.associated ||
        layout.otherExtra || layout.maxSample != 0 ||
        (layout.tiled && layout.planar == PLANARCONFIG_SEPARATE) ||
        (layout.photometric == PHOTOMETRIC_PALETTE && layout.samples > 1)) {
        return false;
    }
    switch (layout.photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        if (layout.bits == 16) {
            return layout.samples == 1 && layout.photometric == PHOTOMETRIC_MINISBLACK;
        }
        return (layout.bits == 1 || layout.bits == 4 || layout.bits == 8) &&
               !(layout.tiled && layout.samples > 1);
    case PHOTOMETRIC_RGB:
        return layout.bits == 8 || layout.bits == 16;
    case PHOTOMETRIC_PALETTE:
        return (layout.bits == 1 || layout.bits == 4 || layout.bits == 8) &&
               !smallColourMap(tiff, layout);
    case PHOTOMETRIC_SEPARATED:
        return layout.bits == 8 && layout.samples == 4 && !layout.tiled && !hasCmykProfile(tiff);
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
        return false;
    default:
        return true;
    }
}

// Every strip or tile must lie inside the file: libtiff would otherwise size its buffers by what
// a short or hostile file claims.
bool blocksInsideFile(TIFF* tiff, std::uint64_t fileSize) {
    const std::uint32_t blocks =
        TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    if (blocks == 0) {
        return false;
    }
    for (std::uint32_t i = 0; i < blocks; ++i) {
        int error = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tiff, i, &error);
        const std::uint64_t count = TIFFGetStrileByteCountWithErr(tiff, i, &error);
        if (error != 0 || count == 0 || offset > fileSize || count > fileSize - offset) {
            return false;
        }
    }
    return true;
}

// The blend FreeImage's pictures get, so that both readers show alpha alike.
std::uint8_t blendOnWhite(std::uint32_t colour, std::uint32_t alpha) {
    return std::uint8_t((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

enum class Model { Grey, GreyInverted, Rgb, Palette, Cmyk, Lab };

// Turns packed samples into levels 0 to 65535 (palette indices stay as they are), whatever
// their width and kind, so that every colour model below sees one form.
class Unpacker {
public:
    // peak: the largest floating-point sample of the picture, for a file that states no range.
    Unpacker(TIFF* tiff, const Layout& layout, bool indices, double peak)
        : bits_(layout.bits), format_(layout.format), indices_(indices),
          top_(layout.maxSample != 0 && !indices ? layout.maxSample : 0) {
        if (format_ == SAMPLEFORMAT_IEEEFP) {
            // Without a stated range, floating-point samples run from 0 to 1, or, where they
            // pass 1, to 255 or 65535 as the integer levels they were made from.
            double high = peak <= 1 ? 1 : peak <= 255 ? 255 : peak <= 65535 ? 65535 : peak;
            double statedLow = 0;
            double statedHigh = 0;
            if (TIFFGetField(tiff, TIFFTAG_SMINSAMPLEVALUE, &statedLow) == 1 &&
                TIFFGetField(tiff, TIFFTAG_SMAXSAMPLEVALUE, &statedHigh) == 1 &&
                statedHigh > statedLow && std::isfinite(statedHigh - statedLow)) {
                low_ = statedLow;
                high = statedHigh;
            }
            scale_ = 65535.0 / (high - low_);
        }
    }

    bool supported() const {
        if (format_ == SAMPLEFORMAT_IEEEFP) {
            return bits_ == 32 || bits_ == 64;
        }
        if (format_ != SAMPLEFORMAT_UINT && format_ != SAMPLEFORMAT_INT &&
            format_ != SAMPLEFORMAT_VOID) {
            return false;
        }
        return (bits_ >= 1 && bits_ <= 16) || (bits_ == 32 && !indices_);
    }

    // count samples from packed into out, step apart.
    void unpack(const std::uint8_t* packed, std::size_t count, std::uint16_t* out,
                std::size_t step) const {
        if (format_ == SAMPLEFORMAT_IEEEFP) {
            for (std::size_t i = 0; i < count; ++i, out += step) {
                double value;
                if (bits_ == 32) {
                    float single;
                    std::memcpy(&single, packed + 4 * i, 4);
                    value = single;
                } else {
                    std::memcpy(&value, packed + 8 * i, 8);
                }
                const double level = (value - low_) * scale_;
                *out = std::uint16_t(level >= 0 ? std::min(level, 65535.0) + 0.5 : 0.0);
            }
            return;
        }
        // Signed samples of 8 bits or fewer are shown as their stored bits, as libtiff's RGBA
        // reading and every other reader show them: such files are mostly unsigned pictures
        // relabelled, and shifting them by half the range turns the picture's dark half light.
        // Wider signed samples start at their most negative value.
        const bool isSigned = format_ == SAMPLEFORMAT_INT && bits_ > 8;
        if (bits_ == 8) {
            for (std::size_t i = 0; i < count; ++i, out += step) {
                const unsigned v = packed[i];
                *out = std::uint16_t(indices_ ? v : v * 257);
            }
        } else if (bits_ == 16) {
            for (std::size_t i = 0; i < count; ++i, out += step) {
                std::uint16_t v;
                std::memcpy(&v, packed + 2 * i, 2);
                *out = isSigned ? std::uint16_t(v ^ 0x8000) : widen(v, 65535);
            }
        } else if (bits_ == 32) {
            for (std::size_t i = 0; i < count; ++i, out += step) {
                std::uint32_t v;
                std::memcpy(&v, packed + 4 * i, 4);
                *out = std::uint16_t((isSigned ? v ^ 0x80000000u : v) >> 16);
            }
        } else {
            const std::uint32_t top = (1u << bits_) - 1;
            const std::uint32_t sign = 1u << (bits_ - 1);
            std::size_t bit = 0;
            for (std::size_t i = 0; i < count; ++i, out += step) {
                std::uint32_t v = 0;
                for (unsigned b = 0; b < bits_; ++b, ++bit) {
                    v = v << 1 | ((packed[bit / 8] >> (7 - bit % 8)) & 1u);
                }
                if (isSigned) {
                    v ^= sign; // two's complement shifted to start at 0
                }
                *out = std::uint16_t(indices_ ? v : widen(v, top));
            }
        }
    }

private:
    // A level of 0 to top as 0 to 65535; with a MaxSampleValue below top, that is the white.
    std::uint16_t widen(std::uint32_t v, std::uint32_t top) const {
        if (top_ != 0) {
            top = top_;
            v = std::min(v, top);
        }
        return std::uint16_t(top == 65535 ? v : (v * 65535u + top / 2) / top);
    }

    unsigned bits_;
    std::uint16_t format_;
    bool indices_;
    std::uint32_t top_; // 0: the full range of the bits
    double low_ = 0;
    double scale_ = 65535.0;
};

struct TransformFree {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
struct ProfileClose {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};

// Turns rows of levels into RGB bytes for one colour model.
class RowConverter {
public:
    RowConverter(TIFF* tiff, const Layout& layout, Model model)
        : model_(model), samples_(layout.samples), alpha_(layout.alpha),
          associated_(layout.associated), sixteenBitLab_(layout.bits > 8),
          iccLab_(layout.photometric == PHOTOMETRIC_ICCLAB),
          twosComplementLab_(layout.photometric == PHOTOMETRIC_CIELAB &&
                             (layout.format != SAMPLEFORMAT_INT || layout.bits <= 8)) {
        if (model_ == Model::Palette) {
            const std::uint16_t* maps[3] = {};
            if (TIFFGetField(tiff, TIFFTAG_COLORMAP, &maps[0], &maps[1], &maps[2]) == 1 &&
                maps[0] && maps[1] && maps[2]) {
                const std::size_t entries = std::size_t{1} << layout.bits;
                indexTop_ = unsigned(entries - 1);
                palette_.resize(entries);
                for (std::size_t i = 0; i < entries; ++i) {
                    palette_[i] = {std::uint8_t(maps[0][i] >> 8), std::uint8_t(maps[1][i] >> 8),
                                   std::uint8_t(maps[2][i] >> 8)};
                }
            }
        }
        if (model_ == Model::Cmyk) {
            cmykToSrgb_ = cmykProfile(tiff);
        }
        if (model_ == Model::Lab) {
            const std::unique_ptr<void, ProfileClose> lab(cmsCreateLab4Profile(nullptr));
            const std::unique_ptr<void, ProfileClose> srgb(cmsCreate_sRGBProfile());
            if (lab && srgb) {
                labToSrgb_.reset(cmsCreateTransform(lab.get(), TYPE_Lab_DBL, srgb.get(), TYPE_RGB_8,
                                                    INTENT_RELATIVE_COLORIMETRIC, 0));
            }
        }
    }

    bool ready() const {
        return (model_ != Model::Palette || !palette_.empty()) &&
               (model_ != Model::Lab || labToSrgb_);
    }

    void convert(const std::uint16_t* in, std::uint8_t* out, std::uint32_t width) {
        switch (model_) {
        case Model::Grey:
        case Model::GreyInverted:
            for (std::uint32_t x = 0; x < width; ++x, in += samples_, out += 3) {
                const unsigned grey = model_ == Model::Grey ? in[0] : 65535u - in[0];
                out[0] = out[1] = out[2] = withAlpha(grey, in);
            }
            break;
        case Model::Rgb:
            for (std::uint32_t x = 0; x < width; ++x, in += samples_, out += 3) {
                out[0] = withAlpha(in[0], in);
                out[1] = withAlpha(in[1], in);
                out[2] = withAlpha(in[2], in);
            }
            break;
        case Model::Palette:
            for (std::uint32_t x = 0; x < width; ++x, in += samples_, out += 3) {
                const auto& colour = palette_[std::min<std::size_t>(in[0], palette_.size() - 1)];
                if (alpha_ < 0) {
                    std::memcpy(out, colour.data(), 3);
                    continue;
                }
                // The samples are read as indices: alpha is still at the samples' own width.
                const unsigned alpha = std::min(unsigned(in[alpha_]), indexTop_) * 255u / indexTop_;
                for (int c = 0; c < 3; ++c) {
                    out[c] = associated_ ? std::uint8_t(std::min(255u, colour[c] + 255u - alpha))
                                         : blendOnWhite(colour[c], alpha);
                }
            }
            break;
        case Model::Cmyk:
            if (cmykToSrgb_) {
                // Through the picture's own profile, then alpha onto white.
                inks_.resize(std::size_t(width) * 4);
                for (std::uint32_t x = 0; x < width; ++x) {
                    for (int c = 0; c < 4; ++c) {
                        inks_[std::size_t(x) * 4 + c] = std::uint8_t(in[x * samples_ + c] >> 8);
                    }
                }
                cmykToSrgb_.convert(inks_.data(), out, width);
                for (std::uint32_t x = 0; x < width && alpha_ >= 0; ++x, in += samples_) {
                    for (int c = 0; c < 3; ++c, ++out) {
                        *out = withAlpha(*out * 257u, in);
                    }
                }
                break;
            }
            for (std::uint32_t x = 0; x < width; ++x, in += samples_, out += 3) {
                const unsigned paper = 255 - (in[3] >> 8);
                for (int c = 0; c < 3; ++c) {
                    const unsigned level = (255 - (in[c] >> 8)) * paper / 255;
                    out[c] = withAlpha(level * 257, in);
                }
            }
            break;
        case Model::Lab:
            lab_.resize(std::size_t(width) * 3);
            for (std::uint32_t x = 0; x < width; ++x, in += samples_) {
                double* to = &lab_[std::size_t(x) * 3];
                to[0] = in[0] * (sixteenBitLab_ && iccLab_ ? 100.0 / 65280.0 : 100.0 / 65535.0);
                for (int c = 1; c < 3; ++c) {
                    // CIELab stores a and b as signed numbers whatever its sample format says;
                    // shifted to start at 0 like ICCLab's.
                    unsigned level = in[c];
                    if (twosComplementLab_) {
                        level = sixteenBitLab_ ? level ^ 0x8000u : ((level >> 8) ^ 0x80u) * 257;
                    }
                    to[c] = !sixteenBitLab_ ? level / 257.0 - 128.0
                            : iccLab_       ? level / 256.0 - 128.0
                                            : (level - 32768.0) / 256.0;
                }
            }
            cmsDoTransform(labToSrgb_.get(), lab_.data(), out, width);
            break;
        }
    }

private:
    std::uint8_t withAlpha(unsigned level, const std::uint16_t* pixel) const {
        if (alpha_ < 0) {
            return std::uint8_t(level >> 8);
        }
        const unsigned alpha = pixel[alpha_];
        if (associated_) {
            // Colours already carry their alpha: white shows through what they leave.
            return std::uint8_t(std::min(65535u, level + 65535u - alpha) >> 8);
        }
        return blendOnWhite(level >> 8, alpha >> 8);
    }

    Model model_;
    std::uint16_t samples_;
    int alpha_;
    bool associated_;
    bool sixteenBitLab_;
    bool iccLab_;
    bool twosComplementLab_;
    std::vector<std::array<std::uint8_t, 3>> palette_;
    unsigned indexTop_ = 1;
    std::unique_ptr<void, TransformFree> labToSrgb_;
    colour::SrgbConversion cmykToSrgb_;
    std::vector<std::uint8_t> inks_;
    std::vector<double> lab_;
};

std::optional<Model> modelOf(const Layout& layout) {
    switch (layout.photometric) {
    case PHOTOMETRIC_MINISBLACK:
        return Model::Grey;
    case PHOTOMETRIC_MINISWHITE:
        return Model::GreyInverted;
    case PHOTOMETRIC_RGB:
        return layout.colourSamples >= 3 ? std::optional(Model::Rgb) : std::nullopt;
    case PHOTOMETRIC_PALETTE:
        return layout.bits <= 16 ? std::optional(Model::Palette) : std::nullopt;
    case PHOTOMETRIC_SEPARATED:
        return layout.colourSamples >= 4 ? std::optional(Model::Cmyk) : std::nullopt;
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
        return layout.colourSamples >= 3 && (layout.bits == 8 || layout.bits == 16)
                   ? std::optional(Model::Lab)
                   : std::nullopt;
    default:
        return std::nullopt;
    }
}

// Reads the samples band by band: scanlines where the samples of a pixel lie together in strips,
// whole strips or tiles (each plane in turn) otherwise.
// For a floating-point picture that states no range, the largest finite sample when most of its
// samples lie beyond 1 (levels of 0 to 255 or 65535, not light with a few highlights past
// white): its blocks are decoded once more for it. 0 otherwise.
double floatPeak(TIFF* tiff, const Layout& layout) {
    double low = 0;
    double high = 0;
    if (layout.format != SAMPLEFORMAT_IEEEFP || (layout.bits != 32 && layout.bits != 64) ||
        (TIFFGetField(tiff, TIFFTAG_SMINSAMPLEVALUE, &low) == 1 &&
         TIFFGetField(tiff, TIFFTAG_SMAXSAMPLEVALUE, &high) == 1)) {
        return 0;
    }
    const std::uint64_t blockBytes =
        std::uint64_t(layout.tiled ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff));
    if (blockBytes == 0 || blockBytes > kMaxBufferBytes) {
        return 0;
    }
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockBytes));
    const std::uint32_t blocks = layout.tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    double peak = 0;
    std::uint64_t samples = 0;
    std::uint64_t beyondOne = 0;
    for (std::uint32_t i = 0; i < blocks; ++i) {
        const tmsize_t got =
            layout.tiled ? TIFFReadEncodedTile(tiff, i, block.data(), tmsize_t(block.size()))
                         : TIFFReadEncodedStrip(tiff, i, block.data(), tmsize_t(block.size()));
        const std::size_t width = layout.bits / 8u;
        for (std::size_t at = 0; got > 0 && at + width <= std::size_t(got); at += width) {
            double value;
            if (width == 4) {
                float single;
                std::memcpy(&single, block.data() + at, 4);
                value = single;
            } else {
                std::memcpy(&value, block.data() + at, 8);
            }
            if (std::isfinite(value)) {
                peak = std::max(peak, value);
                ++samples;
                beyondOne += value > 1 ? 1 : 0;
            }
        }
    }
    return beyondOne * 2 > samples ? peak : 0;
}

Status readSamples(TIFF* tiff, const Layout& layout, Model model, const RgbTarget& target) {
    const Unpacker unpacker(tiff, layout, model == Model::Palette, floatPeak(tiff, layout));
    RowConverter converter(tiff, layout, model);
    if (!unpacker.supported() || !converter.ready() || layout.samples > 16) {
        return Status::Refused;
    }
    const std::uint32_t width = layout.width;
    const std::uint32_t height = layout.height;
    const bool separate = layout.planar == PLANARCONFIG_SEPARATE && layout.samples > 1;
    // Floating-point strips may have been decoded for their peak already, which libtiff's
    // reading by scanlines cannot start again after.
    const bool scanlines = !layout.tiled && !separate && layout.format != SAMPLEFORMAT_IEEEFP;
    std::uint32_t blockWidth = width;
    std::uint32_t blockHeight = 1;
    if (layout.tiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &blockWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &blockHeight);
    } else if (!scanlines) {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &blockHeight);
    }
    blockHeight = std::clamp<std::uint32_t>(blockHeight, 1, height);
    if (blockWidth == 0) {
        return Status::NoPicture;
    }
    const std::uint64_t perRow = separate ? 1 : layout.samples;
    const std::uint64_t rowBytes = (std::uint64_t{blockWidth} * perRow * layout.bits + 7) / 8;
    const std::uint64_t blockBytes = rowBytes * blockHeight;
    const std::uint64_t bandLevels = std::uint64_t{width} * blockHeight * layout.samples;
    if (blockBytes > kMaxBufferBytes || bandLevels * 2 > kMaxBufferBytes) {
        return Status::Refused;
    }
    std::vector<std::uint8_t> block(std::size_t(std::max<std::uint64_t>(
        blockBytes, std::uint64_t(scanlines ? TIFFScanlineSize64(tiff) : 0))));
    std::vector<std::uint16_t> band(static_cast<std::size_t>(bandLevels));
    const std::uint16_t planes = separate ? layout.samples : 1;
    const std::size_t levelsPerRow = std::size_t(width) * layout.samples;

    for (std::uint32_t top = 0; top < height; top += blockHeight) {
        const std::uint32_t rows = std::min(blockHeight, height - top);
        if (scanlines) {
            if (TIFFReadScanline(tiff, block.data(), top, 0) < 0) {
                return Status::NoPicture;
            }
            unpacker.unpack(block.data(), levelsPerRow, band.data(), 1);
        } else {
            for (std::uint16_t plane = 0; plane < planes; ++plane) {
                for (std::uint32_t left = 0; left < width; left += blockWidth) {
                    const tmsize_t got =
                        layout.tiled
                            ? TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, left, top, 0, plane),
                                                  block.data(), tmsize_t(block.size()))
                            : TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, top, plane),
                                                   block.data(), tmsize_t(block.size()));
                    if (got < 0 || std::uint64_t(got) < rowBytes * rows) {
                        return Status::NoPicture;
                    }
                    const std::uint32_t columns = std::min(blockWidth, width - left);
                    for (std::uint32_t y = 0; y < rows; ++y) {
                        std::uint16_t* to =
                            band.data() + y * levelsPerRow + std::size_t(left) * layout.samples;
                        unpacker.unpack(block.data() + y * rowBytes, std::size_t(columns) * perRow,
                                        separate ? to + plane : to, separate ? layout.samples : 1);
                    }
                }
            }
        }
        for (std::uint32_t y = 0; y < rows; ++y) {
            converter.convert(band.data() + y * levelsPerRow,
                              target.pixels + (top + y) * target.stride, width);
        }
    }
    return Status::Picture;
}

// libtiff's own RGBA reading, for YCbCr and the old JPEG form: rows as stored, band by band of
// whole strips or tiles, alpha (which it multiplies in) blended onto white.
Status readRgba(TIFF* tiff, const Layout& layout, const RgbTarget& target) {
    std::array<char, 1024> message{};
    if (TIFFRGBAImageOK(tiff, message.data()) != 1) {
        return Status::Refused;
    }
    TIFFRGBAImage image{};
    if (TIFFRGBAImageBegin(&image, tiff, 0, message.data()) != 1) {
        return Status::NoPicture;
    }
    const std::unique_ptr<TIFFRGBAImage, decltype(&TIFFRGBAImageEnd)> end(&image,
                                                                          &TIFFRGBAImageEnd);
    image.req_orientation = image.orientation; // stored rows: the program turns them
    std::uint32_t band = 0;
    if (layout.tiled) {
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &band);
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &band);
    }
    band = std::clamp<std::uint32_t>(band, 1, layout.height);
    if (std::uint64_t{layout.width} * band * 4 > kMaxBufferBytes) {
        return Status::Refused;
    }
    std::vector<std::uint32_t> raster(std::size_t(layout.width) * band);
    for (std::uint32_t top = 0; top < layout.height; top += band) {
        const std::uint32_t rows = std::min(band, layout.height - top);
        image.row_offset = int(top);
        image.col_offset = 0;
        if (TIFFRGBAImageGet(&image, raster.data(), layout.width, rows) != 1) {
            return Status::NoPicture;
        }
        for (std::uint32_t y = 0; y < rows; ++y) {
            const std::uint32_t* from = raster.data() + std::size_t(y) * layout.width;
            std::uint8_t* to = target.pixels + (top + y) * target.stride;
            for (std::uint32_t x = 0; x < layout.width; ++x, to += 3) {
                const std::uint32_t pixel = from[x];
                const unsigned clear = 255 - TIFFGetA(pixel);
                to[0] = std::uint8_t(std::min(255u, TIFFGetR(pixel) + clear));
                to[1] = std::uint8_t(std::min(255u, TIFFGetG(pixel) + clear));
                to[2] = std::uint8_t(std::min(255u, TIFFGetB(pixel) + clear));
            }
        }
    }
    return Status::Picture;
}

void convertThroughProfile(TIFF* tiff, const Layout& layout, const RgbTarget& target) {
    std::uint32_t size = 0;
    const void* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &profile) != 1 || !profile || size == 0) {
        return;
    }
    colour::Pixels pixels;
    switch (layout.photometric) {
    case PHOTOMETRIC_RGB:
    case PHOTOMETRIC_PALETTE:
    case PHOTOMETRIC_YCBCR:
        pixels = colour::Pixels::Rgb;
        break;
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        pixels = colour::Pixels::GreyInRgb;
        break;
    default:
        return; // CMYK went through its profile with its samples; Lab is sRGB
    }
    const colour::SrgbConversion toSrgb = colour::SrgbConversion::fromProfile(
        static_cast<const std::uint8_t*>(profile), size, pixels);
    if (toSrgb) {
        toSrgb.convertRows(target.pixels, target.stride, layout.width, layout.height);
    }
}

Status decode(TIFF* tiff, const Layout& layout, std::uint64_t fileSize, const Allocate& allocate,
              std::uint32_t& width, std::uint32_t& height, std::uint32_t* orientation) {
    if (layout.width == 0 || layout.height == 0 || layout.samples == 0 ||
        !blocksInsideFile(tiff, fileSize)) {
        return Status::NoPicture;
    }
    if (pictures::exceedsPixelLimit(layout.width, layout.height)) {
        return Status::Refused;
    }
    const std::optional<Model> model = modelOf(layout);
    const bool rgba = !model || layout.photometric == PHOTOMETRIC_YCBCR ||
                      layout.compression == COMPRESSION_OJPEG;
    const RgbTarget target = allocate(layout.width, layout.height);
    if (!target.pixels || target.stride < std::size_t{layout.width} * 3) {
        return Status::Refused;
    }
    const Status status =
        rgba ? readRgba(tiff, layout, target) : readSamples(tiff, layout, *model, target);
    if (status != Status::Picture) {
        return status;
    }
    convertThroughProfile(tiff, layout, target);
    width = layout.width;
    height = layout.height;
    if (orientation) {
        *orientation = layout.orientation >= 1 && layout.orientation <= 8 ? layout.orientation : 1;
    }
    return Status::Picture;
}

std::optional<Status> decodeMemory(const std::uint8_t* data, std::size_t size,
                                   const Allocate& allocate, std::uint32_t& width,
                                   std::uint32_t& height, std::uint32_t* orientation, bool always) {
    Memory memory{data, size, 0};
    const TiffPtr tiff = openMemory(memory);
    if (!tiff) {
        return always ? std::optional(Status::NoPicture) : std::nullopt;
    }
    const std::optional<Layout> layout = readLayout(tiff.get());
    if (!layout) {
        return always ? std::optional(Status::NoPicture) : std::nullopt;
    }
    if (!always && freeImageReadsRight(tiff.get(), *layout)) {
        return std::nullopt;
    }
    width = height = 0;
    if (orientation) {
        *orientation = 1;
    }
    return decode(tiff.get(), *layout, size, allocate, width, height, orientation);
}

} // namespace

std::optional<Status> decodeTiffItself(const std::uint8_t* data, std::size_t size,
                                       const Allocate& allocate, std::uint32_t& width,
                                       std::uint32_t& height, std::uint32_t* orientation) {
    return decodeMemory(data, size, allocate, width, height, orientation, false);
}

Status decodeTiffAlways(const std::uint8_t* data, std::size_t size, const Allocate& allocate,
                        std::uint32_t& width, std::uint32_t& height, std::uint32_t* orientation) {
    return *decodeMemory(data, size, allocate, width, height, orientation, true);
}

} // namespace quill::decode
