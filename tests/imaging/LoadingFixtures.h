#pragma once
// Pictures the codec tests (and the fuzz seeds) write for themselves: a quadrant pattern in every
// format of the decoder table, through FreeImage's writers where it has one and as hand-made
// bytes where it has none. Header only, so other test executables of the folder stay untouched.

#include "../support/FormatFixtures.h"
#include "decoder/FreeImageDecode.h"

#include <FreeImage.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include <zlib.h>

namespace quill::test::fixtures {

using decode::DibPtr;

// Top left red, top right green, bottom left blue, bottom right white.
inline QRgb quadrantColour(int x, int y, int width, int height) {
    const bool right = x >= width / 2;
    const bool bottom = y >= height / 2;
    if (!bottom) {
        return right ? qRgb(0, 255, 0) : qRgb(255, 0, 0);
    }
    return right ? qRgb(255, 255, 255) : qRgb(0, 0, 255);
}

inline int quadrantIndex(int x, int y, int width, int height) {
    return (y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0);
}

inline const std::array<QRgb, 4>& quadrantPalette() {
    static const std::array<QRgb, 4> palette{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                             qRgb(255, 255, 255)};
    return palette;
}

inline QImage quadrants(int width = 16, int height = 12) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, quadrantColour(x, y, width, height));
        }
    }
    return image;
}

inline bool closeTo(QRgb a, QRgb b, int tolerance) {
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A file's bytes as the decoder's readers take them.
inline std::span<const std::uint8_t> asBytes(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

inline QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A 24-bit (or, with alpha, 32-bit) FreeImage picture of the image.
inline DibPtr dibFromImage(const QImage& image, bool withAlpha = false) {
    const int width = image.width();
    const int height = image.height();
    DibPtr dib(FreeImage_Allocate(width, height, withAlpha ? 32 : 24, FI_RGBA_RED_MASK,
                                  FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(dib.get(), height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const QRgb c = image.pixel(x, y);
            BYTE* px = row + x * (withAlpha ? 4 : 3);
            px[FI_RGBA_RED] = BYTE(qRed(c));
            px[FI_RGBA_GREEN] = BYTE(qGreen(c));
            px[FI_RGBA_BLUE] = BYTE(qBlue(c));
            if (withAlpha) {
                px[FI_RGBA_ALPHA] = BYTE(qAlpha(c));
            }
        }
    }
    return dib;
}

// The quadrants as a palette picture of 1 (black top left, white elsewhere), 4 or 8 bits.
inline DibPtr paletteDib(unsigned bpp, int width = 16, int height = 12) {
    DibPtr dib(FreeImage_Allocate(width, height, int(bpp)));
    RGBQUAD* palette = FreeImage_GetPalette(dib.get());
    const unsigned colours = 1u << bpp;
    for (unsigned i = 0; i < colours; ++i) {
        palette[i] = RGBQUAD{0, 0, 0, 0};
    }
    if (bpp == 1) {
        palette[1] = RGBQUAD{255, 255, 255, 0};
    } else {
        for (unsigned i = 0; i < 4; ++i) {
            const QRgb c = quadrantPalette()[i];
            palette[i] = RGBQUAD{BYTE(qBlue(c)), BYTE(qGreen(c)), BYTE(qRed(c)), 0};
        }
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            BYTE index = bpp == 1 ? BYTE(quadrantIndex(x, y, width, height) == 0 ? 0 : 1)
                                  : BYTE(quadrantIndex(x, y, width, height));
            FreeImage_SetPixelIndex(dib.get(), unsigned(x), unsigned(height - 1 - y), &index);
        }
    }
    return dib;
}

// A portable bitmap (1 is black) with the top-left quadrant black: P1 as text or P4 raw.
inline QByteArray pbmBytes(bool ascii, int width = 16, int height = 12) {
    QByteArray out = (ascii ? "P1\n" : "P4\n") + QByteArray::number(width) + ' ' +
                     QByteArray::number(height) + '\n';
    for (int y = 0; y < height; ++y) {
        QByteArray row((width + 7) / 8, '\0');
        for (int x = 0; x < width; ++x) {
            const bool black = quadrantIndex(x, y, width, height) == 0;
            if (ascii) {
                out += black ? "1 " : "0 ";
            } else if (black) {
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            }
        }
        out += ascii ? QByteArray("\n") : row;
    }
    return out;
}

inline bool saveDib(FIBITMAP* dib, FREE_IMAGE_FORMAT format, const QString& path, int flags = 0) {
    return FreeImage_Save(format, dib, QFile::encodeName(path).constData(), flags);
}

inline void putBe16(QByteArray& out, unsigned v) {
    out.append(char(v >> 8));
    out.append(char(v));
}
inline void putBe32(QByteArray& out, std::uint32_t v) {
    putBe16(out, v >> 16);
    putBe16(out, v & 0xffff);
}
inline void putLe16(QByteArray& out, unsigned v) {
    out.append(char(v));
    out.append(char(v >> 8));
}
inline void putLe32(QByteArray& out, std::uint32_t v) {
    putLe16(out, v & 0xffff);
    putLe16(out, v >> 16);
}

inline std::uint32_t crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xffffffffu;
    for (char ch : bytes) {
        crc ^= std::uint8_t(ch);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

inline void putPngChunk(QByteArray& out, const char* tag, const QByteArray& data) {
    putBe32(out, std::uint32_t(data.size()));
    QByteArray body(tag, 4);
    body += data;
    out += body;
    putBe32(out, crc32(body));
}

inline QByteArray pngChunk(const char* tag, const QByteArray& data) {
    QByteArray out;
    putPngChunk(out, tag, data);
    return out;
}

// A PNG written byte by byte, for what no writer makes on request: each row's filter chosen, the
// zlib stream cut into IDAT chunks of any size, Adam7 interlacing, extra chunks.
struct HandMadePng {
    int width = 16;
    int height = 12;
    int colourType = 2;          // 0 grey, 2 RGB, 4 grey and alpha, 6 RGBA
    int bitDepth = 8;            // 8 or 16
    std::vector<int> filters{0}; // row y (of each pass) is filtered with filters[y % size]
    int idatBytes = 0;           // the stream cut into IDAT chunks of this many bytes; 0: one
    bool interlaced = false;
    int windowBits = 15;   // the zlib window the stream is made with (9 to 15)
    QByteArray beforeIdat; // whole chunks, right before the first IDAT
    QByteArray afterIdat;  // whole chunks, between the last IDAT and IEND
};

inline int pngChannels(int colourType) {
    return colourType == 0 ? 1 : colourType == 2 ? 3 : colourType == 4 ? 2 : 4;
}

inline int pngPixelBytes(const HandMadePng& png) {
    return pngChannels(png.colourType) * png.bitDepth / 8;
}

// The picture's samples, top row first, in stripes of three kinds: gradients broken by jumps, a
// few evenly spaced levels (where Paeth's predictor often has to break ties) and noise, so that
// every filter and every choice of the predictor comes up.
inline std::vector<std::uint8_t> pngSamples(const HandMadePng& png) {
    const int pixelBytes = pngPixelBytes(png);
    std::vector<std::uint8_t> samples(std::size_t(png.width) * std::size_t(png.height) *
                                      std::size_t(pixelBytes));
    std::uint32_t seed = std::uint32_t(png.width * 31 + png.height * 7 + png.colourType);
    std::size_t at = 0;
    for (int y = 0; y < png.height; ++y) {
        for (int x = 0; x < png.width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int stripe = (y + x / 8) % 3;
            const bool jump = (seed >> 29) == 0;
            for (int b = 0; b < pixelBytes; ++b) {
                const int random = int(seed >> (8 + 3 * b));
                const int value = stripe == 0   ? (jump ? random : x * 3 + y * 5 + b * 40)
                                  : stripe == 1 ? (random % 4) * 64
                                                : random;
                samples[at++] = std::uint8_t(value);
            }
        }
    }
    return samples;
}

inline int paethPredictor(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Rows of rowBytes each, every one preceded by its filter type and filtered with it.
inline QByteArray filterRows(const std::vector<std::uint8_t>& rows, int rowBytes, int count,
                             int pixelBytes, const std::vector<int>& filters) {
    QByteArray out;
    for (int y = 0; y < count; ++y) {
        const std::uint8_t* row = rows.data() + std::size_t(y) * std::size_t(rowBytes);
        const std::uint8_t* above = y > 0 ? row - rowBytes : nullptr;
        const int filter = filters[std::size_t(y) % filters.size()];
        out.append(char(filter));
        for (int i = 0; i < rowBytes; ++i) {
            const int a = i >= pixelBytes ? row[i - pixelBytes] : 0;
            const int b = above ? above[i] : 0;
            const int c = above && i >= pixelBytes ? above[i - pixelBytes] : 0;
            const int predicted = filter == 1   ? a
                                  : filter == 2 ? b
                                  : filter == 3 ? (a + b) / 2
                                  : filter == 4 ? paethPredictor(a, b, c)
                                                : 0;
            out.append(char(std::uint8_t(row[i] - predicted)));
        }
    }
    return out;
}

// What the IDAT chunks hold before compression: the filtered rows, pass after pass if interlaced.
inline QByteArray pngFilteredData(const HandMadePng& png) {
    const std::vector<std::uint8_t> samples = pngSamples(png);
    const int pixelBytes = pngPixelBytes(png);
    if (!png.interlaced) {
        return filterRows(samples, png.width * pixelBytes, png.height, pixelBytes, png.filters);
    }
    static constexpr int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                          {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    QByteArray out;
    for (const auto& [x0, y0, dx, dy] : kPasses) {
        const int w = (png.width - x0 + dx - 1) / dx;
        const int h = (png.height - y0 + dy - 1) / dy;
        if (w <= 0 || h <= 0) {
            continue;
        }
        std::vector<std::uint8_t> pass;
        for (int y = y0; y < png.height; y += dy) {
            for (int x = x0; x < png.width; x += dx) {
                const auto* pixel =
                    samples.data() + (std::size_t(y) * std::size_t(png.width) + std::size_t(x)) *
                                         std::size_t(pixelBytes);
                pass.insert(pass.end(), pixel, pixel + pixelBytes);
            }
        }
        out += filterRows(pass, w * pixelBytes, h, pixelBytes, png.filters);
    }
    return out;
}

inline QByteArray zlibStream(const QByteArray& data, int windowBits = 15) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

inline QByteArray pngHeaderChunk(const HandMadePng& png) {
    QByteArray ihdr;
    putBe32(ihdr, std::uint32_t(png.width));
    putBe32(ihdr, std::uint32_t(png.height));
    ihdr.append(char(png.bitDepth));
    ihdr.append(char(png.colourType));
    ihdr.append(char(0));
    ihdr.append(char(0));
    ihdr.append(char(png.interlaced ? 1 : 0));
    return pngChunk("IHDR", ihdr);
}

// The file around a zlib stream: signature, IHDR, the extra chunks, the IDATs and IEND.
inline QByteArray pngFile(const HandMadePng& png, const QByteArray& stream) {
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    out += pngHeaderChunk(png);
    out += png.beforeIdat;
    const qsizetype step =
        png.idatBytes > 0 ? png.idatBytes : std::max<qsizetype>(1, stream.size());
    for (qsizetype at = 0; at < stream.size(); at += step) {
        out += pngChunk("IDAT", stream.mid(at, step));
    }
    out += png.afterIdat;
    out += pngChunk("IEND", QByteArray());
    return out;
}

inline QByteArray handMadePng(const HandMadePng& png) {
    return pngFile(png, zlibStream(pngFilteredData(png), png.windowBits));
}

// A Koala Painter file: background black, the first cell (8 x 8 pixels on screen) drawn in
// screen colour 1 (white), everything else background.
inline QByteArray koalaBytes() {
    QByteArray bytes(10003, '\0');
    bytes[0] = '\x00';
    bytes[1] = '\x60';
    for (int i = 0; i < 8; ++i) {
        bytes[2 + i] = '\x55'; // every pixel pair "01": the high nibble of screen RAM
    }
    bytes[2 + 8000] = '\x10'; // screen RAM of cell 0: colour 1
    return bytes;
}

// An uncompressed ILBM with two bit planes showing the quadrants.
inline QByteArray lbmBytes(int width = 16, int height = 12) {
    QByteArray cmap;
    for (QRgb c : quadrantPalette()) {
        cmap.append(char(qRed(c)));
        cmap.append(char(qGreen(c)));
        cmap.append(char(qBlue(c)));
    }
    const int rowBytes = ((width + 15) / 16) * 2;
    QByteArray body;
    for (int y = 0; y < height; ++y) {
        for (int plane = 0; plane < 2; ++plane) {
            QByteArray row(rowBytes, '\0');
            for (int x = 0; x < width; ++x) {
                if ((quadrantIndex(x, y, width, height) >> plane) & 1) {
                    row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
                }
            }
            body += row;
        }
    }
    using namespace formats;
    return iffForm("ILBM" + iffChunk("BMHD", ilbmHeader(width, height, 2, 0)) +
                   iffChunk("CMAP", cmap) + iffChunk("BODY", body));
}

// A Photo CD image pack whose base picture (768 x 512) is bright in its top half (or of the
// PhotoYCC levels `top`) and dark in its bottom half, without colour; its rows are stored top
// first whatever the orientation byte says.
inline QByteArray photoCdBytes(int orientationByte = 8, std::array<int, 3> top = {220, 156, 137}) {
    const int width = 768;
    const int height = 512;
    QByteArray bytes(0x30000, '\0');
    bytes[0x48] = char(orientationByte);
    for (int y = 0; y < height; y += 2) {
        const bool upper = y < height / 2;
        bytes += QByteArray(2 * width, char(upper ? top[0] : 30));
        bytes += QByteArray(width / 2, char(upper ? top[1] : 156));
        bytes += QByteArray(width / 2, char(upper ? top[2] : 137));
    }
    return bytes;
}

// A 24-bit PCX (three planes, run-length encoded) of the image.
inline QByteArray pcxBytes(const QImage& image) {
    const int width = image.width();
    const int height = image.height();
    const int bytesPerLine = (width + 1) & ~1;
    QByteArray out = formats::pcxHeader(8, 3, width, height, bytesPerLine);
    for (int y = 0; y < height; ++y) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int x = 0; x < bytesPerLine; ++x) {
                const QRgb c = image.pixel(std::min(x, width - 1), y);
                const int v = plane == 0 ? qRed(c) : plane == 1 ? qGreen(c) : qBlue(c);
                out.append(char(0xC1)); // a run of one keeps every value unambiguous
                out.append(char(v));
            }
        }
    }
    return out;
}

// A 24-bit standard Sun raster file (rows of B, G, R) of the image.
inline QByteArray rasBytes(const QImage& image) {
    const int width = image.width();
    const int height = image.height();
    const int rowBytes = (width * 3 + 1) & ~1;
    QByteArray out;
    putBe32(out, 0x59a66a95);
    putBe32(out, std::uint32_t(width));
    putBe32(out, std::uint32_t(height));
    putBe32(out, 24);
    putBe32(out, std::uint32_t(rowBytes * height));
    putBe32(out, 1);
    putBe32(out, 0);
    putBe32(out, 0);
    for (int y = 0; y < height; ++y) {
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < width; ++x) {
            const QRgb c = image.pixel(x, y);
            row[3 * x] = char(qBlue(c));
            row[3 * x + 1] = char(qGreen(c));
            row[3 * x + 2] = char(qRed(c));
        }
        out += row;
    }
    return out;
}

// An MNG holding the PNG file's picture as its only frame.
inline QByteArray mngFromPng(const QByteArray& png, int width, int height) {
    QByteArray out("\x8aMNG\r\n\x1a\n", 8);
    QByteArray mhdr;
    putBe32(mhdr, std::uint32_t(width));
    putBe32(mhdr, std::uint32_t(height));
    putBe32(mhdr, 1); // ticks per second
    putBe32(mhdr, 0);
    putBe32(mhdr, 1);
    putBe32(mhdr, 0);
    putBe32(mhdr, 1); // simplicity: valid, nothing special
    putPngChunk(out, "MHDR", mhdr);
    out += png.mid(8); // the PNG's chunks, IHDR to IEND
    putPngChunk(out, "MEND", QByteArray());
    return out;
}

// A BMP of the image with a version-4 (108) or version-5 (124) info header: 24-bit plain, or
// 32-bit with bit fields and an alpha mask.
inline QByteArray bmpNewHeaderBytes(const QImage& image, int headerSize, bool withAlpha) {
    const int width = image.width();
    const int height = image.height();
    const int bpp = withAlpha ? 32 : 24;
    const int rowBytes = ((width * bpp / 8) + 3) & ~3;
    QByteArray header;
    putLe32(header, std::uint32_t(headerSize));
    putLe32(header, std::uint32_t(width));
    putLe32(header, std::uint32_t(height));
    putLe16(header, 1);
    putLe16(header, unsigned(bpp));
    putLe32(header, withAlpha ? 3 : 0);
    putLe32(header, std::uint32_t(rowBytes * height));
    putLe32(header, 2835);
    putLe32(header, 2835);
    putLe32(header, 0);
    putLe32(header, 0);
    putLe32(header, 0x00ff0000);
    putLe32(header, 0x0000ff00);
    putLe32(header, 0x000000ff);
    putLe32(header, 0xff000000);
    putLe32(header, 0x73524742); // sRGB
    header += QByteArray(36 + 12, '\0');
    if (headerSize == 124) {
        putLe32(header, 4);
        putLe32(header, 0);
        putLe32(header, 0);
        putLe32(header, 0);
    }
    QByteArray pixels;
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < width; ++x) {
            const QRgb c = image.pixel(x, y);
            row[x * bpp / 8] = char(qBlue(c));
            row[x * bpp / 8 + 1] = char(qGreen(c));
            row[x * bpp / 8 + 2] = char(qRed(c));
            if (withAlpha) {
                row[x * 4 + 3] = char(qAlpha(c));
            }
        }
        pixels += row;
    }
    QByteArray out = "BM";
    const int offset = 14 + int(header.size());
    putLe32(out, std::uint32_t(offset + pixels.size()));
    putLe32(out, 0);
    putLe32(out, std::uint32_t(offset));
    return out + header + pixels;
}

} // namespace quill::test::fixtures
