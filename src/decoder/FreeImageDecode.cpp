#include "decoder/FreeImageDecode.h"

#include "decoder/BmpRunLength.h"
#include "decoder/ColourProfile.h"
#include "decoder/EmbeddedTags.h"
#include "decoder/ModernFormats.h"
#include "decoder/OwnReaders.h"
#include "decoder/PictureHeaders.h"
#include "decoder/PictureRewrites.h"
#include "decoder/PngChunks.h"
#include "decoder/PngDecode.h"
#include "decoder/TiffDecode.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quill::decode {

namespace {

using pictures::exceedsPixelLimit;

struct MemoryCloser {
    void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};

// A file read whole is at most what a picture at the pixel limit takes uncompressed at four
// bytes a pixel, with its headers and colour table. Anything larger is no picture we decode, and
// reading it (a 3 GB file, even a sparse one) would hold the decoder, and the window, for
// seconds.
constexpr std::uint64_t kMaxWholeFileBytes = pictures::kMaxPixels * 4 + (std::uint64_t{1} << 20);

using Bytes = std::span<const std::uint8_t>;

// FreeImage's reading stream over the file's bytes, which it only reads. Null for no bytes: given
// none, FreeImage would make a growing stream of its own.
std::unique_ptr<FIMEMORY, MemoryCloser> openMemory(Bytes bytes) {
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) {
        return nullptr;
    }
    return std::unique_ptr<FIMEMORY, MemoryCloser>(
        FreeImage_OpenMemory(const_cast<BYTE*>(bytes.data()), DWORD(bytes.size())));
}

// A file too short for the picture its header claims, even at its format's best compression,
// does not hold that picture: its loader would make the rest up from whatever lies in memory.
// (Targa, Sun raster, ILBM and icons are checked against their whole data further on.)
bool holdsClaimedPicture(Bytes file, FREE_IMAGE_FORMAT format) {
    if (format != FIF_PCX && format != FIF_BMP) {
        return true;
    }
    const std::size_t got = std::min<std::size_t>(file.size(), 128);
    return format == FIF_PCX ? pictures::pcxHoldsClaimedPicture(file.data(), got, file.size())
                             : pictures::bmpHoldsClaimedPicture(file.data(), got, file.size());
}

bool isPnm(FREE_IMAGE_FORMAT format) {
    return format == FIF_PBM || format == FIF_PBMRAW || format == FIF_PGM || format == FIF_PGMRAW ||
           format == FIF_PPM || format == FIF_PPMRAW;
}

// The content must be what the extension's loader expects; several loaders "succeed" on
// anything and return garbage otherwise.
bool contentMatches(Bytes file, FREE_IMAGE_FORMAT format) {
    const std::unique_ptr<FIMEMORY, MemoryCloser> memory = openMemory(file);
    if (!memory) {
        return false;
    }
    const FREE_IMAGE_FORMAT detected = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    if (format == FIF_KOALA || format == FIF_PCD) {
        // No signature of their own: only the absence of another format's can be checked here.
        // The camera-raw plugin claims nearly any large file, Photo CD packs included.
        return detected == FIF_UNKNOWN || detected == format || detected == FIF_RAW;
    }
    if (isPnm(format)) {
        return isPnm(detected);
    }
    if (detected == format) {
        return true;
    }
    if (detected == FIF_UNKNOWN && (format == FIF_PCX || format == FIF_LBM)) {
        // The library's check refuses kinds read here: planar PCX, ACBM.
        const std::size_t got = std::min<std::size_t>(file.size(), 128);
        if (format == FIF_PCX ? isOwnPcx(file.data(), got)
                              : got >= 12 && std::memcmp(file.data(), "FORM", 4) == 0 &&
                                    std::memcmp(file.data() + 8, "ACBM", 4) == 0) {
            return true;
        }
    }
    return detected == FIF_UNKNOWN && FreeImage_ValidateFromMemory(format, memory.get());
}

std::uint8_t blendOnWhite(std::uint32_t colour, std::uint32_t alpha) {
    return std::uint8_t((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

struct MaskChannel {
    unsigned shift = 0;
    unsigned bits = 0;
};

MaskChannel channelOf(unsigned mask) {
    MaskChannel channel;
    if (mask == 0) {
        return channel;
    }
    while (!(mask & 1)) {
        mask >>= 1;
        ++channel.shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++channel.bits;
    }
    return channel;
}

std::uint8_t expandChannel(unsigned value, const MaskChannel& channel) {
    if (channel.bits == 0) {
        return 0;
    }
    const unsigned raw = (value >> channel.shift) & ((1u << channel.bits) - 1);
    return std::uint8_t(raw * 255 / ((1u << channel.bits) - 1));
}

void convertPalette(FIBITMAP* dib, unsigned bpp, std::uint8_t* out, std::size_t stride) {
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    std::array<std::array<std::uint8_t, 3>, 256> lut{};
    const RGBQUAD* palette = FreeImage_GetPalette(dib);
    const unsigned used = palette ? std::min(FreeImage_GetColorsUsed(dib), 256u) : 0;
    const unsigned levels = 1u << bpp;
    for (unsigned i = 0; i < 256; ++i) {
        if (i < used) {
            lut[i] = {palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue};
        } else {
            const std::uint8_t grey = std::uint8_t(i < levels ? i * 255 / (levels - 1) : 255);
            lut[i] = {grey, grey, grey};
        }
    }
    if (FreeImage_IsTransparent(dib)) {
        const BYTE* alpha = FreeImage_GetTransparencyTable(dib);
        const unsigned count = std::min(FreeImage_GetTransparencyCount(dib), 256u);
        for (unsigned i = 0; alpha && i < count; ++i) {
            for (std::uint8_t& c : lut[i]) {
                c = blendOnWhite(c, alpha[i]);
            }
        }
    }
    const unsigned perByte = 8 / bpp;
    const unsigned mask = (1u << bpp) - 1;
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* src = FreeImage_GetScanLine(dib, int(height - 1 - y));
        std::uint8_t* dst = out + y * stride;
        for (unsigned x = 0; x < width; ++x) {
            unsigned index;
            if (bpp == 8) {
                index = src[x];
            } else {
                const unsigned shift = (perByte - 1 - x % perByte) * bpp;
                index = (src[x / perByte] >> shift) & mask;
            }
            std::memcpy(dst + 3 * x, lut[index].data(), 3);
        }
    }
}

bool anyAlpha(FIBITMAP* dib) {
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* src = FreeImage_GetScanLine(dib, int(y));
        for (unsigned x = 0; x < width; ++x) {
            if (src[4 * x + FI_RGBA_ALPHA] != 0) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

bool isSupportedFormat(int format) {
    switch (format) {
    case FIF_BMP:
    case FIF_TIFF:
    case FIF_PCD:
    case FIF_ICO:
    case FIF_KOALA:
    case FIF_LBM:
    case FIF_MNG:
    case FIF_PCX:
    case FIF_PBM:
    case FIF_PBMRAW:
    case FIF_PGM:
    case FIF_PGMRAW:
    case FIF_PPM:
    case FIF_PPMRAW:
    case FIF_PNG:
    case FIF_RAS:
    case FIF_TARGA:
    case FIF_GIF:
    case FIF_RAW:
    case FIF_WEBP:
    case int(decoder_protocol::Format::Heif):
    case int(decoder_protocol::Format::JpegXl):
        return true;
    default:
        return false;
    }
}

namespace {
MessageSink messageSink = nullptr;
}

void silenceFreeImage(MessageSink sink) {
    messageSink = sink;
    FreeImage_SetOutputMessage([](FREE_IMAGE_FORMAT, const char* text) {
        if (messageSink != nullptr && text != nullptr) {
            messageSink((std::string("FreeImage: ") + text).c_str());
        }
    });
}

bool canConvert(FIBITMAP* dib) {
    const unsigned bpp = FreeImage_GetBPP(dib);
    switch (FreeImage_GetImageType(dib)) {
    case FIT_BITMAP:
        return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
    case FIT_UINT16:
    case FIT_RGB16:
    case FIT_RGBA16:
        return true;
    default:
        return false;
    }
}

bool zeroAlphaMeansOpaque(FREE_IMAGE_FORMAT format) {
    return format == FIF_BMP || format == FIF_ICO || format == FIF_TARGA || format == FIF_RAS;
}

bool convertDibToRgb(FIBITMAP* dib, std::uint8_t* out, std::size_t stride,
                     bool allZeroAlphaIsOpaque) {
    if (!canConvert(dib)) {
        return false;
    }
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    const unsigned bpp = FreeImage_GetBPP(dib);
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(dib);
    if (type == FIT_BITMAP) {
        if (bpp == 1 || bpp == 4 || bpp == 8) {
            convertPalette(dib, bpp, out, stride);
            return true;
        }
        if (bpp == 16) {
            const MaskChannel red = channelOf(FreeImage_GetRedMask(dib));
            const MaskChannel green = channelOf(FreeImage_GetGreenMask(dib));
            const MaskChannel blue = channelOf(FreeImage_GetBlueMask(dib));
            for (unsigned y = 0; y < height; ++y) {
                const BYTE* src = FreeImage_GetScanLine(dib, int(height - 1 - y));
                std::uint8_t* dst = out + y * stride;
                for (unsigned x = 0; x < width; ++x) {
                    const unsigned value = unsigned(src[2 * x]) | unsigned(src[2 * x + 1]) << 8;
                    dst[3 * x] = expandChannel(value, red);
                    dst[3 * x + 1] = expandChannel(value, green);
                    dst[3 * x + 2] = expandChannel(value, blue);
                }
            }
            return true;
        }
        if (bpp == 24 || bpp == 32) {
            const unsigned step = bpp / 8;
            const bool alpha = bpp == 32 && (!allZeroAlphaIsOpaque || anyAlpha(dib));
            for (unsigned y = 0; y < height; ++y) {
                const BYTE* src = FreeImage_GetScanLine(dib, int(height - 1 - y));
                std::uint8_t* dst = out + y * stride;
                for (unsigned x = 0; x < width; ++x, src += step, dst += 3) {
                    if (alpha) {
                        const unsigned a = src[FI_RGBA_ALPHA];
                        dst[0] = blendOnWhite(src[FI_RGBA_RED], a);
                        dst[1] = blendOnWhite(src[FI_RGBA_GREEN], a);
                        dst[2] = blendOnWhite(src[FI_RGBA_BLUE], a);
                    } else {
                        dst[0] = src[FI_RGBA_RED];
                        dst[1] = src[FI_RGBA_GREEN];
                        dst[2] = src[FI_RGBA_BLUE];
                    }
                }
            }
            return true;
        }
        return false;
    }
    if (type == FIT_UINT16) {
        for (unsigned y = 0; y < height; ++y) {
            const auto* src = reinterpret_cast<const std::uint16_t*>(
                FreeImage_GetScanLine(dib, int(height - 1 - y)));
            std::uint8_t* dst = out + y * stride;
            for (unsigned x = 0; x < width; ++x, dst += 3) {
                dst[0] = dst[1] = dst[2] = std::uint8_t(src[x] >> 8);
            }
        }
        return true;
    }
    if (type == FIT_RGB16 || type == FIT_RGBA16) {
        const bool withAlpha = type == FIT_RGBA16;
        const unsigned step = withAlpha ? 4 : 3;
        for (unsigned y = 0; y < height; ++y) {
            const auto* src = reinterpret_cast<const std::uint16_t*>(
                FreeImage_GetScanLine(dib, int(height - 1 - y)));
            std::uint8_t* dst = out + y * stride;
            for (unsigned x = 0; x < width; ++x, src += step, dst += 3) {
                if (withAlpha) {
                    const unsigned a = src[3] >> 8;
                    dst[0] = blendOnWhite(src[0] >> 8, a);
                    dst[1] = blendOnWhite(src[1] >> 8, a);
                    dst[2] = blendOnWhite(src[2] >> 8, a);
                } else {
                    dst[0] = std::uint8_t(src[0] >> 8);
                    dst[1] = std::uint8_t(src[1] >> 8);
                    dst[2] = std::uint8_t(src[2] >> 8);
                }
            }
        }
        return true;
    }
    return false;
}

void convertToSrgb(FIBITMAP* dib, std::uint8_t* rows, std::size_t stride,
                   const std::vector<std::uint8_t>& profile) {
    const FIICCPROFILE* embedded = FreeImage_GetICCProfile(dib);
    const bool fromFreeImage = embedded && embedded->data && embedded->size > 0;
    const auto* data =
        fromFreeImage ? static_cast<const std::uint8_t*>(embedded->data) : profile.data();
    const std::size_t size = fromFreeImage ? std::size_t(embedded->size) : profile.size();
    if (size == 0) {
        return;
    }
    colour::Pixels pixels;
    switch (FreeImage_GetColorType(dib)) {
    case FIC_RGB:
    case FIC_RGBALPHA:
    case FIC_PALETTE:
        pixels = colour::Pixels::Rgb;
        break;
    case FIC_MINISBLACK:
    case FIC_MINISWHITE:
        pixels = colour::Pixels::GreyInRgb;
        break;
    default:
        return; // CMYK rows were already made RGB without their profile
    }
    std::string ignored;
    const colour::SrgbConversion toSrgb =
        colour::SrgbConversion::fromProfile(data, size, pixels, &ignored);
    if (!ignored.empty() && messageSink != nullptr) {
        messageSink(ignored.c_str());
    }
    if (toSrgb) {
        toSrgb.convertRows(rows, stride, FreeImage_GetWidth(dib), FreeImage_GetHeight(dib));
    }
}

namespace {

std::atomic<bool> ownPngDecoding{true};
std::atomic<ClaimSink> claimSink{nullptr};

void claim(std::uint32_t width, std::uint32_t height) {
    if (const ClaimSink sink = claimSink.load()) {
        sink(width, height);
    }
}

// The size in a PNG's header, and in a BMP's before its runs are expanded.
void claimFromHeader(Bytes bytes, FREE_IMAGE_FORMAT format) {
    const auto at = [&bytes](std::size_t i) { return std::uint32_t(bytes[i]); };
    if (format == FIF_PNG && bytes.size() >= 24 && std::memcmp(bytes.data() + 12, "IHDR", 4) == 0) {
        claim(at(16) << 24 | at(17) << 16 | at(18) << 8 | at(19),
              at(20) << 24 | at(21) << 16 | at(22) << 8 | at(23));
    } else if (format == FIF_BMP && bytes.size() >= 26 && at(14) >= 40) {
        const auto height = std::int32_t(at(22) | at(23) << 8 | at(24) << 16 | at(25) << 24);
        claim(at(18) | at(19) << 8 | at(20) << 16 | at(21) << 24,
              height < 0 ? 0u - std::uint32_t(height) : std::uint32_t(height));
    }
}

// FreeImage has libpng correct a gAMA for grey and colour pictures of 8 bits and more, but not for
// palette pictures and at the precision of the samples for grey of 1, 2 or 4 bits. Those, whose
// bitmap has a colour table, are loaded without the correction and get it on their colour table
// (or their pixels), at 8-bit precision like the rest. An sRGB or iCCP chunk takes precedence
// over gAMA, as in a colour-managed viewer: the colour profile is applied on its own.
bool gammaOnColourTable(const PngFacts& png) {
    return png.colourType == 3 || (png.colourType == 0 && png.bitDepth <= 8);
}

bool loadWithoutGamma(const PngFacts& png) {
    return png.gamma != 0 && (png.colourSpace || gammaOnColourTable(png));
}

void correctGamma(FIBITMAP* dib, const PngFacts& png) {
    if (png.gamma == 0 || png.colourSpace || !gammaOnColourTable(png) ||
        FreeImage_GetImageType(dib) != FIT_BITMAP) {
        return;
    }
    const std::array<std::uint8_t, 256> levels = pngGammaLevels(png.gamma);
    const auto correct = [&levels](RGBQUAD& colour) {
        colour.rgbRed = levels[colour.rgbRed];
        colour.rgbGreen = levels[colour.rgbGreen];
        colour.rgbBlue = levels[colour.rgbBlue];
    };
    const unsigned bpp = FreeImage_GetBPP(dib);
    if (RGBQUAD* palette = FreeImage_GetPalette(dib); palette && bpp <= 8) {
        for (unsigned i = 0; i < FreeImage_GetColorsUsed(dib); ++i) {
            correct(palette[i]);
        }
    } else if (bpp == 24 || bpp == 32) {
        for (unsigned y = 0; y < FreeImage_GetHeight(dib); ++y) {
            BYTE* pixel = FreeImage_GetScanLine(dib, int(y));
            for (unsigned x = 0; x < FreeImage_GetWidth(dib); ++x, pixel += bpp / 8) {
                for (const int channel : {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE}) {
                    pixel[channel] = levels[pixel[channel]];
                }
            }
        }
    }
}

// FreeImage widens grey of 1, 2 or 4 bits to 8 but marks the tRNS value as stored, unwidened,
// as the transparent entry: 1 of 2 bits is 85 in the picture but entry 1 turns white. The
// table is made again around the widened value.
void widenTransparentGrey(FIBITMAP* dib, const PngFacts& png) {
    if (png.colourType != 0 || png.bitDepth >= 8 || png.transparentGrey < 0 ||
        FreeImage_GetBPP(dib) != 8 || !FreeImage_IsTransparent(dib)) {
        return;
    }
    const unsigned top = (1u << png.bitDepth) - 1;
    std::array<BYTE, 256> table;
    table.fill(255);
    // A value beyond the bit depth matches no pixel, as libpng reads it.
    if (unsigned(png.transparentGrey) <= top) {
        table[unsigned(png.transparentGrey) * 255 / top] = 0;
    }
    FreeImage_SetTransparencyTable(dib, table.data(), int(table.size()));
}

// FreeImage's loader for the format (or a reader of our own, for the kinds it reads wrong):
// checks the file against what the loader needs, rewrites it in memory where the loader misreads
// it, reads the size, refuses too many pixels, and loads. Picture when dib holds the pixels; cut
// is set when run-length data had to be cut to fit the picture.
Status loadWithFreeImage(Bytes file, FREE_IMAGE_FORMAT format, int flags, DibPtr& dib, bool& cut) {
    // The size first, from the header alone, so that a file claiming billions of pixels never
    // gets its pixels allocated.
    std::optional<pictures::PictureSize> size;
    std::optional<std::vector<std::uint8_t>> bytes;
    const bool readWhole = file.size() <= kMaxWholeFileBytes;
    std::optional<PngFacts> png;
    if (format == FIF_PNG) {
        if (!readWhole) {
            return Status::NoPicture;
        }
        claimFromHeader(file, format);
        bytes.emplace(file.begin(), file.end());
        png = preparePngForLoader(*bytes);
        if (loadWithoutGamma(*png)) {
            flags |= PNG_IGNOREGAMMA;
        }
    } else if (format == FIF_BMP) {
        const std::size_t got = std::min<std::size_t>(file.size(), 54);
        if (got < 18) {
            return Status::NoPicture;
        }
        const std::uint32_t headerSize = pictures::bmpInfoHeaderSize(file.data(), got);
        const bool runLength = pictures::isRunLengthBmp(file.data(), got);
        const unsigned compression = got >= 34 ? file[30] : 0;
        const bool bitfields = headerSize >= 40 && (compression == 3 || compression == 6);
        if (headerSize > 40 || runLength || bitfields) {
            if (!readWhole) {
                return Status::NoPicture;
            }
            claimFromHeader(file, format);
            if (runLength) {
                bytes = pictures::expandRunLengthBmp(file.data(), file.size(), &cut);
                if (!bytes) {
                    return Status::NoPicture;
                }
            } else if (pictures::needsBitfieldRewrite(file.data(), file.size())) {
                bytes = pictures::rewriteBitfieldBmp(file.data(), file.size());
                if (!bytes) {
                    return Status::NoPicture;
                }
            } else if (headerSize > 40) {
                bytes = pictures::rewriteBmpToInfoHeader(file.data(), file.size());
                if (!bytes) {
                    return Status::NoPicture;
                }
            }
        }
    } else if (format == FIF_LBM || format == FIF_MNG) {
        if (!readWhole) {
            return Status::NoPicture;
        }
        if (format == FIF_LBM) {
            switch (ilbmReading(file.data(), file.size())) {
            case IlbmReading::Refuse:
                return Status::NoPicture;
            case IlbmReading::Own:
                dib = readIlbm(file.data(), file.size());
                return dib ? Status::Picture : Status::NoPicture;
            case IlbmReading::Library:
                break;
            }
        }
        size = format == FIF_LBM ? pictures::readIlbmSize(file.data(), file.size())
                                 : pictures::readMngSize(file.data(), file.size());
        if (!size) {
            return Status::NoPicture;
        }
    } else if (format == FIF_TARGA || format == FIF_RAS || format == FIF_ICO) {
        // Their loaders write past the picture (or loop) on packets and headers that promise
        // more than the file holds.
        if (!readWhole) {
            return Status::NoPicture;
        }
        const bool sound = format == FIF_TARGA ? pictures::isSoundTarga(file.data(), file.size())
                           : format == FIF_RAS
                               ? pictures::isSoundSunRaster(file.data(), file.size())
                               : pictures::isSoundIcon(file.data(), file.size());
        if (!sound) {
            return Status::NoPicture;
        }
        if (format == FIF_TARGA && isOwnTarga(file.data(), file.size())) {
            dib = readTarga(file.data(), file.size());
            return dib ? Status::Picture : Status::NoPicture;
        }
        if (format == FIF_RAS) {
            bytes = pictures::rewriteSunRaster(file.data(), file.size());
        }
        if (format == FIF_ICO) {
            bytes = pictures::rewriteIconToInfoHeader(file.data(), file.size());
            // Below 32 bits the mask is the only transparency: made alpha, it turns white.
            const Bytes icon = bytes ? Bytes(*bytes) : file;
            const unsigned bpp = pictures::iconBitsPerPixel(icon.data(), icon.size());
            if (bpp > 0 && bpp < 32) {
                flags |= ICO_MAKEALPHA;
            }
        }
    } else if (format == FIF_PCX || isPnm(format)) {
        // Only planar PCX and plain bitmaps (P1) are rewritten or read here; the rest go to the
        // library as they are.
        const std::size_t got = std::min<std::size_t>(file.size(), 128);
        const bool planarPcx =
            format == FIF_PCX &&
            (isOwnPcx(file.data(), got) || isPcxWithColoursInside(file.data(), file.size()));
        if (planarPcx || (format != FIF_PCX && got >= 2 && file[0] == 'P' && file[1] == '1')) {
            if (!readWhole) {
                return Status::NoPicture;
            }
            if (planarPcx) {
                dib = readPcx(file.data(), file.size());
                return dib ? Status::Picture : Status::NoPicture;
            }
            bytes = pictures::spacePlainBitmap(file.data(), file.size());
        }
    } else if (format == FIF_KOALA) {
        if (file.size() != pictures::kKoalaFileSize ||
            !pictures::isKoalaFile(file.data(), file.size())) {
            return Status::NoPicture;
        }
    } else if (format == FIF_PCD) {
        if (file.size() < pictures::photoCdRequiredSize(flags) || !readWhole) {
            return Status::NoPicture;
        }
        // FreeImage's own colours of PhotoYCC stray from Kodak's (too little chroma, too bright).
        dib = readPhotoCd(file.data(), file.size(), flags);
        return dib ? Status::Picture : Status::NoPicture;
    }

    const std::unique_ptr<FIMEMORY, MemoryCloser> memory = openMemory(bytes ? Bytes(*bytes) : file);
    if (!memory) {
        return Status::Refused;
    }
    const auto load = [&](int loadFlags) {
        return DibPtr(FreeImage_LoadFromMemory(format, memory.get(), loadFlags));
    };

    if (!size && FreeImage_FIFSupportsNoPixels(format)) {
        DibPtr header = load(flags | FIF_LOAD_NOPIXELS);
        if (!header) {
            return Status::NoPicture;
        }
        size = pictures::PictureSize{FreeImage_GetWidth(header.get()),
                                     FreeImage_GetHeight(header.get())};
        FreeImage_SeekMemory(memory.get(), 0, SEEK_SET);
    }
    if (size && exceedsPixelLimit(size->width, size->height)) {
        return Status::Refused;
    }
    if (size) {
        claim(size->width, size->height);
    }

    dib = load(flags);
    if (!dib || !FreeImage_HasPixels(dib.get())) {
        return Status::NoPicture;
    }
    if (png) {
        correctGamma(dib.get(), *png);
        widenTransparentGrey(dib.get(), *png);
    }
    return Status::Picture;
}

} // namespace

PictureFile::PictureFile(PictureFile&& other) noexcept
    : owned_(std::move(other.owned_)), mapped_(std::exchange(other.mapped_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

PictureFile& PictureFile::operator=(PictureFile&& other) noexcept {
    if (this != &other) {
        release();
        owned_ = std::move(other.owned_);
        mapped_ = std::exchange(other.mapped_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

PictureFile::~PictureFile() {
    release();
}

void PictureFile::release() {
    if (mapped_ != nullptr) {
        ::munmap(mapped_, size_);
        mapped_ = nullptr;
    }
    owned_.reset();
    size_ = 0;
}

std::span<const std::uint8_t> PictureFile::bytes() const {
    const std::uint8_t* data = mapped_ ? static_cast<const std::uint8_t*>(mapped_) : owned_.get();
    return {data, data ? size_ : 0};
}

std::optional<PictureFile> PictureFile::read(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        return std::nullopt;
    }
    PictureFile picture;
    const auto size = std::uint64_t(info.st_size);
    if (size > kMaxWholeFileBytes) {
        // Only loaders that read a part of the file (TIFF, PNM, PCX) ever touch more than the
        // head of such a file; the pages they do not read are never read from the disk.
        void* address = ::mmap(nullptr, std::size_t(size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (address == MAP_FAILED) {
            return std::nullopt;
        }
        picture.mapped_ = address;
        picture.size_ = std::size_t(size);
        return picture;
    }
    // One byte more than the file's size, to notice that it grew while it was read.
    const std::size_t room = std::size_t(size) + 1;
    picture.owned_ = std::make_unique_for_overwrite<std::uint8_t[]>(room);
    std::size_t got = 0;
    while (got < room) {
        const ssize_t part = ::pread(fd, picture.owned_.get() + got, room - got, off_t(got));
        if (part < 0 && errno == EINTR) {
            continue;
        }
        if (part < 0) {
            return std::nullopt;
        }
        if (part == 0) {
            break;
        }
        got += std::size_t(part);
    }
    if (got == room) {
        return std::nullopt; // it grew while it was read
    }
    picture.size_ = got;
    return picture;
}

void setOwnPngDecoding(bool enabled) {
    ownPngDecoding = enabled;
}

void claimSize(std::uint32_t width, std::uint32_t height) {
    claim(width, height);
}

void note(const char* text) {
    if (messageSink != nullptr && text != nullptr) {
        messageSink(text);
    }
}

void setClaimSink(ClaimSink sink) {
    claimSink = sink;
}

void tellClaimedSize(std::uint32_t width, std::uint32_t height) {
    claim(width, height);
}

Status decodeFile(std::span<const std::uint8_t> file, FREE_IMAGE_FORMAT format, int flags,
                  const Allocate& allocate, std::uint32_t& width, std::uint32_t& height,
                  std::uint32_t* orientation, bool* damaged) {
    width = height = 0;
    if (damaged) {
        *damaged = false;
    }
    if (orientation) {
        *orientation = 1;
    }
    if (!isSupportedFormat(format)) {
        return Status::NoPicture;
    }
    // The formats of our own readers, which check their files themselves.
    switch (int(format)) {
    case int(decoder_protocol::Format::Heif):
        return decodeHeif(file, allocate, width, height);
    case int(decoder_protocol::Format::JpegXl):
        return decodeJxl(file, allocate, width, height);
    case FIF_WEBP:
        return decodeWebp(file, allocate, width, height);
    case FIF_RAW:
        return decodeRaw(file, allocate, width, height, orientation);
    default:
        break;
    }
    if (!contentMatches(file, format)) {
        return Status::NoPicture;
    }
    if (!holdsClaimedPicture(file, format)) {
        return Status::NoPicture;
    }

    // The TIFF files FreeImage reads wrong or refuses are read with libtiff; the rest stay with
    // FreeImage.
    if (format == FIF_TIFF) {
        if (const std::optional<Status> own =
                decodeTiffItself(file.data(), file.size(), allocate, width, height, orientation)) {
            return *own;
        }
    }

    // The common PNG files are read without FreeImage, twice as fast, into the bitmap it would
    // give; every other file, and any file in doubt, goes to FreeImage.
    DibPtr dib;
    bool cut = false;
    if (format == FIF_PNG && ownPngDecoding) {
        if (file.size() <= kMaxWholeFileBytes) {
            claimFromHeader(file, format);
            dib = loadCommonPng(std::vector<std::uint8_t>(file.begin(), file.end()));
        }
    }
    if (!dib) {
        const Status loaded = loadWithFreeImage(file, format, flags, dib, cut);
        if (loaded != Status::Picture) {
            return loaded;
        }
    }
    const std::uint32_t w = FreeImage_GetWidth(dib.get());
    const std::uint32_t h = FreeImage_GetHeight(dib.get());
    if (w == 0 || h == 0) {
        return Status::NoPicture;
    }
    if (exceedsPixelLimit(w, h) || !canConvert(dib.get())) {
        return Status::Refused;
    }
    const RgbTarget target = allocate(w, h);
    if (!target.pixels || target.stride < std::size_t{w} * 3) {
        return Status::Refused;
    }
    if (!convertDibToRgb(dib.get(), target.pixels, target.stride, zeroAlphaMeansOpaque(format))) {
        return Status::Refused;
    }
    convertToSrgb(dib.get(), target.pixels, target.stride,
                  format == FIF_PNG   ? pngIccProfile(file)
                  : format == FIF_ICO ? pictures::iconIccProfile(file.data(), file.size())
                                      : std::vector<std::uint8_t>());
    if (orientation && format == FIF_TIFF) {
        *orientation = tiffOrientation(file);
    }
    width = w;
    height = h;
    if (damaged) {
        *damaged = cut;
    }
    return Status::Picture;
}

} // namespace quill::decode
