#include "imaging/ColourProfile.h"

#include <lcms2.h>

#include <cstdlib>
#include <vector>

namespace quill::colour {

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

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
bool amountsToSrgb(const SrgbConversion& conversion, Pixels pixels) {
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
    conversion.convert(in.data(), out.data(), count);
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

} // namespace

void SrgbConversion::TransformDeleter::operator()(void* transform) const {
    cmsDeleteTransform(transform);
}

SrgbConversion SrgbConversion::fromProfile(const std::uint8_t* profile, std::size_t size,
                                           Pixels pixels) {
    SrgbConversion conversion;
    if (!profile || size == 0 || size > 0xFFFFFFFFu) {
        return conversion;
    }
    const Profile source(cmsOpenProfileFromMem(profile, cmsUInt32Number(size)));
    if (!source || !isDeviceProfile(source.get()) ||
        cmsGetColorSpace(source.get()) != spaceOf(pixels)) {
        return conversion;
    }
    const Profile srgb(cmsCreate_sRGBProfile());
    if (!srgb) {
        return conversion;
    }
    // lcms2 picks its optimised 8-bit path itself (joined matrix-shaper, or a prelinearised
    // grid); its one-pixel cache measured faster than going without, also on noisy pictures.
    conversion.transform_.reset(cmsCreateTransform(source.get(), formatOf(pixels), srgb.get(),
                                                   TYPE_RGB_8, INTENT_PERCEPTUAL, 0));
    if (conversion && pixels != Pixels::Cmyk && pixels != Pixels::CmykInverted &&
        amountsToSrgb(conversion, pixels)) {
        conversion.transform_.reset();
    }
    return conversion;
}

void SrgbConversion::convert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const {
    cmsDoTransform(transform_.get(), in, out, cmsUInt32Number(count));
}

void SrgbConversion::convertRows(std::uint8_t* pixels, std::size_t stride, std::uint32_t width,
                                 std::uint32_t height) const {
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = pixels + y * stride;
        cmsDoTransform(transform_.get(), row, row, width);
    }
}

} // namespace quill::colour
