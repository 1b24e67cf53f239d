// Camera raw through LibRaw. A raw that carries a JPEG preview at full size is shown through that
// preview, which the camera developed itself, in a fraction of the demosaic's time; any other is
// demosaiced and developed to sRGB with the camera's white balance. Either way the rows stay as
// the sensor lies and the camera's orientation goes with them, for the program to apply.

#include "decoder/ModernFormats.h"

#include "imaging/PixelLimit.h"

#include <libraw/libraw.h>

#include <array>
#include <memory>
#include <optional>

namespace quill::decode {

namespace {

struct ImageFree {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};

// LibRaw's flip (bit 2 transposes, bit 1 flips the rows, bit 0 the columns) as an EXIF
// orientation.
std::uint32_t orientationOf(int flip) {
    constexpr std::array<std::uint32_t, 8> exif{1, 2, 4, 3, 5, 8, 6, 7};
    return flip >= 0 && flip < 8 ? exif[std::size_t(flip)] : 1;
}

// A preview counts as full size when it is as large as the developed picture but for the few
// edge pixels a camera crops off.
bool fullSizePreview(const libraw_thumbnail_t& preview, std::uint32_t w, std::uint32_t h) {
    return preview.tformat == LIBRAW_THUMBNAIL_JPEG && preview.thumb && preview.tlength > 0 &&
           std::uint64_t{preview.twidth} * 100 >= std::uint64_t{w} * 95 &&
           std::uint64_t{preview.theight} * 100 >= std::uint64_t{h} * 95;
}

} // namespace

Status decodeRaw(Bytes file, const Allocate& allocate, std::uint32_t& width, std::uint32_t& height,
                 std::uint32_t* orientation) {
    try {
        const auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
        libraw_output_params_t& params = raw->imgdata.params;
        params.use_camera_wb = 1;
        params.output_color = 1; // sRGB
        params.output_bps = 8;
        params.user_flip = 0; // the program turns the picture, as it does a TIFF
        if (raw->open_buffer(const_cast<std::uint8_t*>(file.data()), file.size()) !=
            LIBRAW_SUCCESS) {
            return Status::NoPicture;
        }
        const libraw_image_sizes_t& sizes = raw->imgdata.sizes;
        const std::uint32_t w = sizes.width;
        const std::uint32_t h = sizes.height;
        if (w == 0 || h == 0) {
            return Status::NoPicture;
        }
        if (pictures::exceedsPixelLimit(w, h)) {
            return Status::Refused;
        }
        tellClaimedSize(w, h);
        if (orientation) {
            *orientation = orientationOf(sizes.flip);
        }
        if (raw->unpack_thumb() == LIBRAW_SUCCESS &&
            fullSizePreview(raw->imgdata.thumbnail, w, h)) {
            const libraw_thumbnail_t& preview = raw->imgdata.thumbnail;
            if (const std::optional<Status> shown = decodeJpegPreview(
                    Bytes(reinterpret_cast<const std::uint8_t*>(preview.thumb), preview.tlength),
                    allocate, width, height)) {
                return *shown;
            }
        }
        if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS) {
            return Status::NoPicture;
        }
        int error = LIBRAW_SUCCESS;
        const std::unique_ptr<libraw_processed_image_t, ImageFree> image(
            raw->dcraw_make_mem_image(&error));
        if (!image || error != LIBRAW_SUCCESS || image->type != LIBRAW_IMAGE_BITMAP ||
            image->colors != 3 || image->bits != 8) {
            return Status::NoPicture;
        }
        const SourceRows rows{
            image->data, std::size_t{image->width} * 3, image->width, image->height, 3, false};
        return deliverRows(rows, allocate, {}, width, height);
    } catch (const std::bad_alloc&) {
        return Status::Refused;
    } catch (...) {
        return Status::NoPicture;
    }
}

} // namespace quill::decode
