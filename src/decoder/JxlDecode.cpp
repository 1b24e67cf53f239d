// JPEG XL through libjxl, which turns the picture by its orientation and composites the first
// frame of an animation while it decodes.

#include "decoder/ModernFormats.h"

#include "imaging/PixelLimit.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <memory>
#include <vector>

namespace quill::decode {

namespace {

struct DecoderDestroy {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};
struct RunnerDestroy {
    void operator()(void* runner) const { JxlThreadParallelRunnerDestroy(runner); }
};

} // namespace

Status decodeJxl(Bytes file, const Allocate& allocate, std::uint32_t& width,
                 std::uint32_t& height) {
    const std::unique_ptr<JxlDecoder, DecoderDestroy> decoder(JxlDecoderCreate(nullptr));
    const std::unique_ptr<void, RunnerDestroy> runner(JxlThreadParallelRunnerCreate(nullptr, 2));
    if (!decoder || !runner ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                     JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), file.data(), file.size()) != JXL_DEC_SUCCESS) {
        return Status::Refused;
    }
    JxlDecoderCloseInput(decoder.get());

    JxlBasicInfo info{};
    JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 1};
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    std::vector<std::uint8_t> icc;
    std::vector<std::uint8_t> pixels;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO:
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) {
                return Status::NoPicture;
            }
            // Orientations 5 to 8 swap the sides.
            w = info.orientation >= JXL_ORIENT_TRANSPOSE ? info.ysize : info.xsize;
            h = info.orientation >= JXL_ORIENT_TRANSPOSE ? info.xsize : info.ysize;
            if (w == 0 || h == 0) {
                return Status::NoPicture;
            }
            if (pictures::exceedsPixelLimit(w, h)) {
                return Status::Refused;
            }
            tellClaimedSize(w, h);
            format.num_channels = info.alpha_bits > 0 ? 4 : 3;
            break;
        case JXL_DEC_COLOR_ENCODING: {
            std::size_t size = 0;
            if (JxlDecoderGetICCProfileSize(decoder.get(), &format, JXL_COLOR_PROFILE_TARGET_DATA,
                                            &size) == JXL_DEC_SUCCESS &&
                size > 0) {
                icc.resize(size);
                if (JxlDecoderGetColorAsICCProfile(decoder.get(), &format,
                                                   JXL_COLOR_PROFILE_TARGET_DATA, icc.data(),
                                                   size) != JXL_DEC_SUCCESS) {
                    icc.clear();
                }
            }
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            std::size_t size = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS ||
                size != std::size_t{w} * h * format.num_channels) {
                return Status::NoPicture;
            }
            pixels.resize(size);
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, pixels.data(), size) !=
                JXL_DEC_SUCCESS) {
                return Status::NoPicture;
            }
            break;
        }
        case JXL_DEC_FULL_IMAGE: {
            // The first frame is all a still needs; the rest of an animation is not decoded.
            const SourceRows rows{
                pixels.data(), std::size_t{w} * format.num_channels, w, h, format.num_channels,
                false};
            return deliverRows(rows, allocate, icc, width, height);
        }
        case JXL_DEC_SUCCESS:
        case JXL_DEC_NEED_MORE_INPUT: // the input was closed: the file is cut short
        case JXL_DEC_ERROR:
        default:
            return Status::NoPicture;
        }
    }
}

} // namespace quill::decode
