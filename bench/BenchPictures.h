#pragma once
// The pictures the benchmarks work on, made the same way everywhere so that their figures compare.

#include <FreeImage.h>
#include <QImage>

#include <cstdint>
#include <memory>

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

struct FreeImageUnload {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using FreeImageBitmap = std::unique_ptr<FIBITMAP, FreeImageUnload>;

// The photo as a FreeImage bitmap (24 bit, FreeImage's byte order, bottom row first), which the
// benchmarks save as their PNG files.
inline FreeImageBitmap freeImagePhoto(int width, int height) {
    const QImage image = photo(width, height);
    FreeImageBitmap dib(FreeImage_Allocate(width, height, 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                           FI_RGBA_BLUE_MASK));
    for (int y = 0; dib && y < height; ++y) {
        const uchar* src = image.constScanLine(y);
        BYTE* dst = FreeImage_GetScanLine(dib.get(), height - 1 - y);
        for (int x = 0; x < width; ++x) {
            dst[3 * x + FI_RGBA_RED] = src[3 * x];
            dst[3 * x + FI_RGBA_GREEN] = src[3 * x + 1];
            dst[3 * x + FI_RGBA_BLUE] = src[3 * x + 2];
        }
    }
    return dib;
}

} // namespace quill::bench
