#include "imaging/Rotate.h"

#include "imaging/PaletteTable.h"
#include "imaging/SizeRules.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace quill {
namespace {

// Quarter turns read a column of the source for every destination row. They work through bands
// of destination rows, each band in tiles, so the band being written stays in the cache until it
// is complete and each tile reads a few cache lines from each of a few source rows. The sizes
// were chosen by measuring a 24-megapixel picture.
constexpr int TileRows = 64;    // destination rows of a band (source columns)
constexpr int TileColumns = 16; // destination columns of a tile (source rows)

// Pixel readers: where the three bytes of source pixel x of a row are.
struct Rgb888Pixels {
    static const uchar* at(const uchar* row, int x) { return row + 3 * x; }
};

struct IndexedPixels {
    const uchar* table; // 256 entries of three bytes, R G B
    const uchar* at(const uchar* row, int x) const { return table + 3 * row[x]; }
};

inline void put(uchar* destination, const uchar* source) {
    destination[0] = source[0];
    destination[1] = source[1];
    destination[2] = source[2];
}

// Codes that keep the width and height: columns and/or rows reversed.
template <class Pixels>
void flipPass(const Pixels& pixels, const QImage& source, QImage& destination, bool reverseColumns,
              bool reverseRows, bool rowsAreBytes) {
    const int width = source.width();
    const int height = source.height();
    for (int y = 0; y < height; ++y) {
        const uchar* sourceRow = source.constScanLine(reverseRows ? height - 1 - y : y);
        uchar* row = destination.scanLine(y);
        if (!reverseColumns) {
            if (rowsAreBytes) {
                std::memcpy(row, sourceRow, static_cast<std::size_t>(width) * 3);
            } else {
                for (int x = 0; x < width; ++x) {
                    put(row + 3 * x, pixels.at(sourceRow, x));
                }
            }
            continue;
        }
        for (int x = 0; x < width; ++x) {
            put(row + 3 * x, pixels.at(sourceRow, width - 1 - x));
        }
    }
}

// Quarter turns of true-colour sources, moving each pixel as one four-byte load and store. The
// fourth byte written lands on the next destination pixel, which is written afterwards: later in
// the same tile row, or in the next tile of the band. Only the last destination column and the last
// source column, where the fourth byte lies outside the picture, move three bytes.
template <bool ReverseSourceColumns>
void quarterPassRgb(const std::vector<const uchar*>& sourceRows, int width, int height, uchar* bits,
                    qsizetype stride) {
    const uchar* const* rows = sourceRows.data();
    for (int dy0 = 0; dy0 < width; dy0 += TileRows) {
        const int dy1 = std::min(dy0 + TileRows, width);
        for (int dx0 = 0; dx0 < height; dx0 += TileColumns) {
            const int dx1 = std::min(dx0 + TileColumns, height);
            const int wideEnd = dx1 == height ? dx1 - 1 : dx1;
            for (int dy = dy0; dy < dy1; ++dy) {
                const int sx = ReverseSourceColumns ? width - 1 - dy : dy;
                const std::size_t offset = static_cast<std::size_t>(sx) * 3;
                uchar* out = bits + dy * stride + 3 * dx0;
                int dx = dx0;
                if (sx < width - 1) {
                    for (; dx < wideEnd; ++dx, out += 3) {
                        std::uint32_t pixel;
                        std::memcpy(&pixel, rows[dx] + offset, 4);
                        std::memcpy(out, &pixel, 4);
                    }
                }
                for (; dx < dx1; ++dx, out += 3) {
                    put(out, rows[dx] + offset);
                }
            }
        }
    }
}

// Codes that swap width and height. Destination pixel (dx, dy) comes from source row dx (or
// H-1-dx) and source column dy (or W-1-dy).
template <class Pixels>
void quarterPass(const Pixels& pixels, const QImage& source, QImage& destination,
                 bool reverseSourceRows, bool reverseSourceColumns) {
    const int width = source.width();   // destination height
    const int height = source.height(); // destination width
    std::vector<const uchar*> sourceRows(static_cast<std::size_t>(height));
    for (int dx = 0; dx < height; ++dx) {
        sourceRows[static_cast<std::size_t>(dx)] =
            source.constScanLine(reverseSourceRows ? height - 1 - dx : dx);
    }
    uchar* const bits = destination.bits();
    const qsizetype stride = destination.bytesPerLine();
    if constexpr (std::is_same_v<Pixels, Rgb888Pixels>) {
        if (reverseSourceColumns) {
            quarterPassRgb<true>(sourceRows, width, height, bits, stride);
        } else {
            quarterPassRgb<false>(sourceRows, width, height, bits, stride);
        }
        return;
    }
    const uchar* const* rows = sourceRows.data();
    for (int dy0 = 0; dy0 < width; dy0 += TileRows) {
        const int dy1 = std::min(dy0 + TileRows, width);
        for (int dx0 = 0; dx0 < height; dx0 += TileColumns) {
            const int dx1 = std::min(dx0 + TileColumns, height);
            for (int dy = dy0; dy < dy1; ++dy) {
                const int sx = reverseSourceColumns ? width - 1 - dy : dy;
                uchar* out = bits + dy * stride + 3 * dx0;
                for (int dx = dx0; dx < dx1; ++dx, out += 3) {
                    put(out, pixels.at(rows[dx], sx));
                }
            }
        }
    }
}

template <class Pixels>
void transformPass(const Pixels& pixels, const QImage& source, QImage& destination, int code,
                   bool rowsAreBytes) {
    switch (code) {
    case TurnLeft:
        quarterPass(pixels, source, destination, false, true);
        break;
    case TurnRight:
        quarterPass(pixels, source, destination, true, false);
        break;
    case TurnLeft | MirrorHorizontal:
    case TurnRight | MirrorVertical:
        quarterPass(pixels, source, destination, true, true);
        break;
    case TurnRight | MirrorHorizontal:
    case TurnLeft | MirrorVertical:
        quarterPass(pixels, source, destination, false, false);
        break;
    case TurnHalf:
        flipPass(pixels, source, destination, true, true, rowsAreBytes);
        break;
    case MirrorHorizontal:
    case TurnHalf | MirrorVertical:
        flipPass(pixels, source, destination, true, false, rowsAreBytes);
        break;
    case MirrorVertical:
    case TurnHalf | MirrorHorizontal:
        flipPass(pixels, source, destination, false, true, rowsAreBytes);
        break;
    default: // code 0
        flipPass(pixels, source, destination, false, false, rowsAreBytes);
        break;
    }
}

} // namespace

bool isTransformCode(int code) {
    switch (code) {
    case 0:
    case 1:
    case 2:
    case 4:
    case 8:
    case 9:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18:
    case 20:
        return true;
    default:
        return false;
    }
}

bool turnsByQuarter(int code) {
    return (code & (TurnLeft | TurnRight)) != 0;
}

QImage rotatedAndMirrored(const QImage& source, int code) {
    if (!isTransformCode(code)) {
        throw std::invalid_argument("unknown transform code");
    }
    if (source.isNull()) {
        return {};
    }
    QImage input = source;
    const bool indexed = input.format() == QImage::Format_Indexed8;
    if (!indexed && input.format() != QImage::Format_RGB888) {
        input = source.convertToFormat(QImage::Format_RGB888);
        if (input.isNull()) {
            throw PictureTooLarge(source.width(), source.height());
        }
    }
    const int width = turnsByQuarter(code) ? input.height() : input.width();
    const int height = turnsByQuarter(code) ? input.width() : input.height();
    QImage result(width, height, QImage::Format_RGB888);
    if (result.isNull()) {
        throw PictureTooLarge(width, height);
    }
    result.setDotsPerMeterX(turnsByQuarter(code) ? input.dotsPerMeterY() : input.dotsPerMeterX());
    result.setDotsPerMeterY(turnsByQuarter(code) ? input.dotsPerMeterX() : input.dotsPerMeterY());

    if (indexed) {
        const PaletteTable table = paletteTable(input);
        transformPass(IndexedPixels{table.data()}, input, result, code, false);
    } else {
        transformPass(Rgb888Pixels{}, input, result, code, true);
    }
    return result;
}

void RotateAndMirror(QImage& bitmap, int code) {
    bitmap = rotatedAndMirrored(bitmap, code);
}

} // namespace quill
