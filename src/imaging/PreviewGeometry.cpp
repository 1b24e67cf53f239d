#include "imaging/PreviewGeometry.h"

#include <cstdint>

namespace quill {

QSize FitIntoPreview(int width, int height, int limit) {
    if (width <= limit && height <= limit) {
        return {width, height};
    }
    // 64-bit products: a side may be tens of thousands of pixels.
    if (width > height) {
        return {limit, static_cast<int>(std::int64_t{height} * limit / width)};
    }
    return {static_cast<int>(std::int64_t{width} * limit / height), limit};
}

} // namespace quill
