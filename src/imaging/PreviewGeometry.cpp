#include "imaging/PreviewGeometry.h"

#include "decoder/DecoderProtocol.h"

#include <algorithm>

namespace quill {

// The decoder process sizes a JPEG's preview decode by the same rule.
QSize FitIntoPreview(int width, int height, int limit) {
    const auto shown = decoder_protocol::previewExtent(std::uint32_t(std::max(width, 0)),
                                                       std::uint32_t(std::max(height, 0)),
                                                       std::uint32_t(std::max(limit, 0)));
    return {int(shown.width), int(shown.height)};
}

} // namespace quill
