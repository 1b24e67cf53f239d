// WebP through libwebp: a still decoded straight into the rows, an animation's first frame
// composited on its canvas by libwebp's animation decoder (FreeImage gives only the frame's own
// rectangle). WebP has no orientation of its own.

#include "decoder/ModernFormats.h"

#include "imaging/PixelLimit.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>
#include <vector>

namespace quill::decode {

namespace {

struct DemuxDelete {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
struct AnimDelete {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
struct WebpFree {
    void operator()(std::uint8_t* pixels) const { WebPFree(pixels); }
};

} // namespace

Status decodeWebp(Bytes file, const Allocate& allocate, std::uint32_t& width,
                  std::uint32_t& height) {
    const WebPData data{file.data(), file.size()};
    // The container whole, before anything is decoded: a cut file is no picture.
    const std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&data));
    if (!demux) {
        return Status::NoPicture;
    }
    const std::uint32_t w = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH);
    const std::uint32_t h = WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT);
    const std::uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    if (w == 0 || h == 0) {
        return Status::NoPicture;
    }
    if (pictures::exceedsPixelLimit(w, h)) {
        return Status::Refused;
    }
    tellClaimedSize(w, h);
    std::vector<std::uint8_t> icc;
    WebPChunkIterator chunk{};
    if ((flags & ICCP_FLAG) && WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk)) {
        icc.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }

    if (flags & ANIMATION_FLAG) {
        WebPAnimDecoderOptions options{};
        if (!WebPAnimDecoderOptionsInit(&options)) {
            return Status::Refused;
        }
        options.color_mode = MODE_RGBA;
        options.use_threads = 0;
        const std::unique_ptr<WebPAnimDecoder, AnimDelete> animation(
            WebPAnimDecoderNew(&data, &options));
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!animation || !WebPAnimDecoderGetNext(animation.get(), &canvas, &timestamp)) {
            return Status::NoPicture;
        }
        return deliverRows({canvas, std::size_t{w} * 4, w, h, 4, false}, allocate, icc, width,
                           height);
    }

    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK ||
        std::uint32_t(features.width) != w || std::uint32_t(features.height) != h) {
        return Status::NoPicture;
    }
    if (features.has_alpha) {
        int gotWidth = 0;
        int gotHeight = 0;
        const std::unique_ptr<std::uint8_t, WebpFree> rgba(
            WebPDecodeRGBA(file.data(), file.size(), &gotWidth, &gotHeight));
        if (!rgba) {
            return Status::NoPicture;
        }
        return deliverRows({rgba.get(), std::size_t{w} * 4, w, h, 4, false}, allocate, icc, width,
                           height);
    }
    const RgbTarget target = allocate(w, h);
    if (!target.pixels || target.stride < std::size_t{w} * 3) {
        return Status::Refused;
    }
    if (!WebPDecodeRGBInto(file.data(), file.size(), target.pixels, target.stride * h,
                           int(target.stride))) {
        return Status::NoPicture;
    }
    convertRowsToSrgb(target.pixels, target.stride, w, h, icc);
    width = w;
    height = h;
    return Status::Picture;
}

} // namespace quill::decode
