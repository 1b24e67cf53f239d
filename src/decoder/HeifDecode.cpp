// HEIF (HEVC, as phones write it) and AVIF through libheif, which applies the container's
// rotation, mirroring and crop itself. An EXIF orientation inside such a file is not applied on
// top: the container's transforms are what the format and the viewers follow, and phones write
// both, so applying both would turn their photos twice.

#include "decoder/ModernFormats.h"

#include "imaging/PixelLimit.h"

#include <libheif/heif.h>

#include <memory>
#include <mutex>
#include <vector>

namespace quill::decode {

namespace {

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
struct NclxFree {
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
};

Status statusOf(const heif_error& error) {
    return error.code == heif_error_Memory_allocation_error ||
                   error.subcode == heif_suberror_Security_limit_exceeded
               ? Status::Refused
               : Status::NoPicture;
}

// The embedded ICC profile, or one made for the primaries and transfer the colour description
// names; empty for sRGB and for none.
std::vector<std::uint8_t> profileOf(const heif_image_handle* handle) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        std::vector<std::uint8_t> icc(heif_image_handle_get_raw_color_profile_size(handle));
        if (icc.empty() ||
            heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok) {
            return {};
        }
        return icc;
    }
    heif_color_profile_nclx* described = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &described).code != heif_error_Ok) {
        return {};
    }
    const std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(described);
    if ((nclx->color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
         nclx->color_primaries == heif_color_primaries_unspecified) &&
        (nclx->transfer_characteristics == heif_transfer_characteristic_IEC_61966_2_1 ||
         nclx->transfer_characteristics == heif_transfer_characteristic_unspecified)) {
        return {};
    }
    const Chromaticities primaries{{nclx->color_primary_white_x, nclx->color_primary_white_y},
                                   {nclx->color_primary_red_x, nclx->color_primary_red_y},
                                   {nclx->color_primary_green_x, nclx->color_primary_green_y},
                                   {nclx->color_primary_blue_x, nclx->color_primary_blue_y}};
    return profileForPrimaries(primaries, int(nclx->transfer_characteristics));
}

} // namespace

void prepareModernReaders() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

Status decodeHeif(Bytes file, const Allocate& allocate, std::uint32_t& width,
                  std::uint32_t& height) {
    prepareModernReaders();
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) {
        return Status::Refused;
    }
    // A phone's photo is a grid of tiles: both cores decode them.
    heif_context_set_max_decoding_threads(context.get(), 2);
    if (heif_security_limits* limits = heif_context_get_security_limits(context.get())) {
        limits->max_image_size_pixels = pictures::kMaxPixels;
    }
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), file.data(),
                                                                  file.size(), nullptr);
    if (error.code != heif_error_Ok) {
        return statusOf(error);
    }
    heif_image_handle* primary = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &primary);
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(primary);
    if (error.code != heif_error_Ok || !handle) {
        return statusOf(error);
    }
    const int claimedWidth = heif_image_handle_get_width(handle.get());
    const int claimedHeight = heif_image_handle_get_height(handle.get());
    if (claimedWidth <= 0 || claimedHeight <= 0) {
        return Status::NoPicture;
    }
    if (pictures::exceedsPixelLimit(std::uint64_t(claimedWidth), std::uint64_t(claimedHeight))) {
        return Status::Refused;
    }
    tellClaimedSize(std::uint32_t(claimedWidth), std::uint32_t(claimedHeight));

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    error = heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              options.get());
    const std::unique_ptr<heif_image, ImageRelease> image(decoded);
    if (error.code != heif_error_Ok || !image) {
        return statusOf(error);
    }
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!plane || w <= 0 || h <= 0 || stride < w * (alpha ? 4 : 3) ||
        heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved) != 8) {
        return Status::NoPicture;
    }
    const SourceRows rows{plane,
                          std::size_t(stride),
                          std::uint32_t(w),
                          std::uint32_t(h),
                          alpha ? 4u : 3u,
                          alpha && heif_image_is_premultiplied_alpha(image.get()) != 0};
    return deliverRows(rows, allocate, profileOf(handle.get()), width, height);
}

} // namespace quill::decode
