#include "decoder/ModernFormats.h"

#include "decoder/ColourProfile.h"
#include "decoder/FreeImageDecode.h"

#include <lcms2.h>

#include <array>
#include <cstring>
#include <memory>

namespace quill::decode {

namespace {

std::uint8_t onWhite(unsigned colour, unsigned alpha) {
    return std::uint8_t((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

struct ProfileCloser {
    void operator()(cmsHPROFILE profile) const { cmsCloseProfile(profile); }
};
struct CurveFree {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};

// The H.273 transfer characteristics as Little CMS curves (decoding direction).
std::unique_ptr<cmsToneCurve, CurveFree> transferCurve(int transfer) {
    cmsToneCurve* curve = nullptr;
    switch (transfer) {
    case 13: // sRGB, IEC 61966-2-1
    case 2:  // unspecified: the web's default
    {
        const std::array<double, 5> srgb{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        curve = cmsBuildParametricToneCurve(nullptr, 4, srgb.data());
        break;
    }
    case 1: // BT.709, and the same curve for BT.601 and BT.2020
    case 6:
    case 14:
    case 15: {
        const std::array<double, 5> bt709{1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        curve = cmsBuildParametricToneCurve(nullptr, 4, bt709.data());
        break;
    }
    case 4:
        curve = cmsBuildGamma(nullptr, 2.2);
        break;
    case 5:
        curve = cmsBuildGamma(nullptr, 2.8);
        break;
    case 8:
        curve = cmsBuildGamma(nullptr, 1.0);
        break;
    default:
        break;
    }
    return std::unique_ptr<cmsToneCurve, CurveFree>(curve);
}

} // namespace

Status deliverRows(const SourceRows& source, const Allocate& allocate, Bytes profile,
                   std::uint32_t& width, std::uint32_t& height) {
    const RgbTarget target = allocate(source.width, source.height);
    if (!target.pixels || target.stride < std::size_t{source.width} * 3) {
        return Status::Refused;
    }
    for (std::uint32_t y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.data + y * source.stride;
        std::uint8_t* out = target.pixels + y * target.stride;
        if (source.channels == 3) {
            std::memcpy(out, in, std::size_t{source.width} * 3);
            continue;
        }
        for (std::uint32_t x = 0; x < source.width; ++x, in += 4, out += 3) {
            const unsigned alpha = in[3];
            for (int c = 0; c < 3; ++c) {
                out[c] = source.premultiplied ? std::uint8_t(std::min(255u, in[c] + 255 - alpha))
                                              : onWhite(in[c], alpha);
            }
        }
    }
    convertRowsToSrgb(target.pixels, target.stride, source.width, source.height, profile);
    width = source.width;
    height = source.height;
    return Status::Picture;
}

void convertRowsToSrgb(std::uint8_t* rows, std::size_t stride, std::uint32_t width,
                       std::uint32_t height, Bytes profile) {
    if (profile.empty()) {
        return;
    }
    const colour::SrgbConversion toSrgb =
        colour::SrgbConversion::fromProfile(profile.data(), profile.size(), colour::Pixels::Rgb);
    if (toSrgb) {
        toSrgb.convertRows(rows, stride, width, height);
    }
}

std::optional<Status> decodeJpegPreview(Bytes jpeg, const Allocate& allocate, std::uint32_t& width,
                                        std::uint32_t& height) {
    if (jpeg.empty() || jpeg.size() > 0xFFFFFFFFu) {
        return std::nullopt;
    }
    FIMEMORY* memory = FreeImage_OpenMemory(const_cast<BYTE*>(jpeg.data()), DWORD(jpeg.size()));
    if (!memory) {
        return std::nullopt;
    }
    const DibPtr dib(FreeImage_LoadFromMemory(FIF_JPEG, memory, 0));
    FreeImage_CloseMemory(memory);
    if (!dib || !canConvert(dib.get())) {
        return std::nullopt;
    }
    const std::uint32_t w = FreeImage_GetWidth(dib.get());
    const std::uint32_t h = FreeImage_GetHeight(dib.get());
    const RgbTarget target = allocate(w, h);
    if (!target.pixels || target.stride < std::size_t{w} * 3 ||
        !convertDibToRgb(dib.get(), target.pixels, target.stride)) {
        return Status::Refused;
    }
    convertToSrgb(dib.get(), target.pixels, target.stride);
    width = w;
    height = h;
    return Status::Picture;
}

std::vector<std::uint8_t> profileForPrimaries(const Chromaticities& primaries, int transfer) {
    const std::unique_ptr<cmsToneCurve, CurveFree> curve = transferCurve(transfer);
    if (!curve) {
        return {};
    }
    const cmsCIExyY white{primaries.white[0], primaries.white[1], 1.0};
    const cmsCIExyYTRIPLE rgb{{primaries.red[0], primaries.red[1], 1.0},
                              {primaries.green[0], primaries.green[1], 1.0},
                              {primaries.blue[0], primaries.blue[1], 1.0}};
    std::array<cmsToneCurve*, 3> curves{curve.get(), curve.get(), curve.get()};
    const std::unique_ptr<void, ProfileCloser> made(
        cmsCreateRGBProfile(&white, &rgb, curves.data()));
    cmsUInt32Number size = 0;
    if (!made || !cmsSaveProfileToMem(made.get(), nullptr, &size) || size == 0) {
        return {};
    }
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(made.get(), bytes.data(), &size)) {
        return {};
    }
    return bytes;
}

} // namespace quill::decode
