#pragma once
// The pictures the benchmarks work on, made the same way everywhere so that their figures compare.

#include <QImage>

#include <cstdint>

namespace quill::bench {

// A photo-like picture: smooth gradients with a little noise everywhere, so that JPEG and PNG
// files of it have realistic sizes and every part of their data matters.
inline QImage photo(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    std::uint32_t seed = 2024;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28);
            row[3 * x] = uchar((x * 255 / width + noise) & 0xff);
            row[3 * x + 1] = uchar((y * 255 / height + noise) & 0xff);
            row[3 * x + 2] = uchar(((x + y) * 127 / (width + height) + 64 + noise) & 0xff);
        }
    }
    return image;
}

} // namespace quill::bench
