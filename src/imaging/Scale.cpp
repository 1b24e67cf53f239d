#include "imaging/Scale.h"

#include "imaging/PaletteTable.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace quill {
namespace {

// Which source pixel serves output pixel i of n: the one under the output pixel's centre, so the
// first and last source pixels are dropped alike when shrinking.
inline int sourceIndex(int i, int outCount, int inCount) {
    return static_cast<int>((2 * std::int64_t{i} + 1) * inCount / (2 * std::int64_t{outCount}));
}

void ensureOutput(QImage& output, QSize size) {
    if (!fitsOutputLimits(size.width(), size.height())) {
        throw PictureTooLarge(size.width(), size.height());
    }
    if (output.size() == size && output.format() == QImage::Format_RGB888) {
        return;
    }
    QImage fresh(size, QImage::Format_RGB888);
    if (fresh.isNull()) {
        throw PictureTooLarge(size.width(), size.height());
    }
    output = std::move(fresh);
}

void stretchRgb(const QImage& input, QImage& output, const std::vector<int>& columnBytes) {
    const int outWidth = output.width();
    const int outHeight = output.height();
    const int inHeight = input.height();
    const std::size_t rowBytes = static_cast<std::size_t>(outWidth) * 3;
    const bool sameWidth = outWidth == input.width();
    const uchar* previousRow = nullptr;
    int previousSource = -1;
    for (int y = 0; y < outHeight; ++y) {
        uchar* row = output.scanLine(y);
        const int sy = sourceIndex(y, outHeight, inHeight);
        if (sy == previousSource) {
            // Enlarging repeats whole rows: copy the finished one.
            std::memcpy(row, previousRow, rowBytes);
            continue;
        }
        const uchar* sourceRow = input.constScanLine(sy);
        if (sameWidth) {
            std::memcpy(row, sourceRow, rowBytes);
        } else {
            const int* offset = columnBytes.data();
            uchar* out = row;
            for (int x = 0; x < outWidth; ++x, out += 3) {
                const uchar* pixel = sourceRow + offset[x];
                out[0] = pixel[0];
                out[1] = pixel[1];
                out[2] = pixel[2];
            }
        }
        previousRow = row;
        previousSource = sy;
    }
}

void stretchIndexed(const QImage& input, QImage& output, const std::vector<int>& columns) {
    const PaletteTable table = paletteTable(input);
    const int outWidth = output.width();
    const int outHeight = output.height();
    const std::size_t rowBytes = static_cast<std::size_t>(outWidth) * 3;
    const uchar* previousRow = nullptr;
    int previousSource = -1;
    for (int y = 0; y < outHeight; ++y) {
        uchar* row = output.scanLine(y);
        const int sy = sourceIndex(y, outHeight, input.height());
        if (sy == previousSource) {
            std::memcpy(row, previousRow, rowBytes);
            continue;
        }
        const uchar* sourceRow = input.constScanLine(sy);
        for (int x = 0; x < outWidth; ++x) {
            const uchar* entry = table.data() + 3 * sourceRow[columns[static_cast<std::size_t>(x)]];
            row[3 * x] = entry[0];
            row[3 * x + 1] = entry[1];
            row[3 * x + 2] = entry[2];
        }
        previousRow = row;
        previousSource = sy;
    }
}

} // namespace

void stretchNearest(const QImage& source, QImage& output, QSize size) {
    if (source.isNull()) {
        throw std::invalid_argument("stretching an empty picture");
    }
    QImage input = source; // keeps the pixels alive even when `output` is the source itself
    const bool indexed = input.format() == QImage::Format_Indexed8;
    if (!indexed && input.format() != QImage::Format_RGB888) {
        input = source.convertToFormat(QImage::Format_RGB888);
        if (input.isNull()) {
            throw PictureTooLarge(source.width(), source.height());
        }
    }
    ensureOutput(output, size);

    const int outWidth = size.width();
    const int bytesPerPixel = indexed ? 1 : 3;
    std::vector<int> columns(static_cast<std::size_t>(outWidth));
    for (int x = 0; x < outWidth; ++x) {
        columns[static_cast<std::size_t>(x)] =
            bytesPerPixel * sourceIndex(x, outWidth, input.width());
    }
    if (indexed) {
        stretchIndexed(input, output, columns);
    } else {
        stretchRgb(input, output, columns);
    }
}

void copyUnscaled(const QImage& source, QImage& output) {
    stretchNearest(source, output, source.size());
}

QSize scaleToOutput(const QImage& working, QImage& output, const SizeRule& rule) {
    const QSize size = ComputeOutputSize(working.width(), working.height(), rule);
    if (rule.resize) {
        stretchNearest(working, output, size);
    } else {
        copyUnscaled(working, output);
    }
    return size;
}

} // namespace quill
