#pragma once
// Small pictures of the less common kinds of BMP, icon, Sun raster, Targa, PCX, plain bitmap and
// ILBM files, each written byte by byte from a few header fields and pixels, together with the
// picture a right reading gives (transparency flattened onto white).

#include <QByteArray>
#include <QImage>

#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

namespace quill::test::formats {

struct Sample {
    QByteArray bytes;
    QImage want; // Format_RGB888
};

inline QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

inline void le(QByteArray& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(char(i < 4 ? v >> (8 * i) : 0));
    }
}
// Fields as value, byte count, value, byte count, ..., little-endian.
inline void le(QByteArray& out, std::initializer_list<std::int64_t> fields) {
    for (auto field = fields.begin(); field + 1 < fields.end(); field += 2) {
        le(out, std::uint32_t(field[0]), int(field[1]));
    }
}
// Red, green and blue, or with bgr blue, green and red.
inline QByteArray rgb(QRgb c, bool bgr = false) {
    return bgr ? bytes({qBlue(c), qGreen(c), qRed(c)}) : bytes({qRed(c), qGreen(c), qBlue(c)});
}
inline void be(QByteArray& out, std::uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.append(char(v >> (8 * i)));
    }
}

inline int onWhite(int colour, int alpha) {
    return (colour * alpha + 255 * (255 - alpha) + 127) / 255;
}

inline QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::white);
    return image;
}

// An index pattern over 16 colours, and the colours.
inline int indexAt(int x, int y) {
    return (x + 3 * y) % 16;
}
inline QRgb paletteColour(int i) {
    return qRgb((i * 16) & 255, (255 - i * 16) & 255, (i * 40) & 255);
}

// A BMP of 16 or 32 bits with the colour masks red, green, blue and alpha (0: none), a header of
// 40 bytes (masks after it) or of 56, 108 or 124, top-down on request. Pixel values sweep each
// mask. A 40-byte header with an alpha mask says alpha bit fields, or plain ones on request.
inline Sample bitfieldBmp(int bpp, std::array<std::uint32_t, 4> masks, int headerSize = 40,
                          bool topDown = false, int width = 7, int height = 5,
                          bool plainBitfields = false) {
    Sample s{{}, blank(width, height)};
    QByteArray pixels;
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        QByteArray line;
        for (int x = 0; x < width; ++x) {
            std::uint32_t value = 0;
            std::array<int, 4> got{0, 0, 0, 255};
            for (int c = 0; c < 4; ++c) {
                const std::uint32_t mask = masks[std::size_t(c)];
                if (mask == 0) {
                    continue;
                }
                const int shift = std::countr_zero(mask);
                const std::uint64_t max = mask >> shift;
                const std::uint64_t level =
                    (std::uint64_t(x) * 41 + std::uint64_t(y) * 97 + std::uint64_t(c) * 13) * max /
                    300 % (max + 1);
                value |= std::uint32_t(level << shift);
                got[std::size_t(c)] = int(level * 255 / max);
            }
            le(line, value, bpp / 8);
            s.want.setPixel(
                x, y,
                qRgb(onWhite(got[0], got[3]), onWhite(got[1], got[3]), onWhite(got[2], got[3])));
        }
        pixels += line + QByteArray((4 - line.size() % 4) % 4, '\0');
    }
    QByteArray info;
    le(info, {headerSize, 4, width, 4, topDown ? -height : height, 4, 1, 2, bpp, 2,
              headerSize == 40 && masks[3] && !plainBitfields ? 6 : 3, 4, pixels.size(), 4, 0, 16});
    for (int c = 0; c < (headerSize == 40 && !masks[3] ? 3 : 4); ++c) {
        le(info, masks[std::size_t(c)], 4);
    }
    info += QByteArray(headerSize > 40 ? headerSize - 56 : 0, '\0');
    s.bytes = "BM";
    le(s.bytes, {14 + info.size() + pixels.size(), 4, 0, 4, 14 + info.size(), 4});
    s.bytes += info + pixels;
    return s;
}

// Rows of `bits`-bit values packed from the high bit, each padded to a multiple of `align` bytes.
inline QByteArray packRow(int width, int bits, int align, const std::function<int(int)>& value) {
    QByteArray row;
    int acc = 0;
    int filled = 0;
    for (int x = 0; x < width; ++x) {
        acc = (acc << bits) | value(x);
        filled += bits;
        if (filled == 8) {
            row.append(char(acc));
            acc = filled = 0;
        }
    }
    if (filled) {
        row.append(char(acc << (8 - filled)));
    }
    return row + QByteArray((align - row.size() % align) % align, '\0');
}

// An icon of one 16 x 16 picture of 1, 4, 8 (palette) or 24 bits with a bitmap header of 40, 108
// or 124 bytes, whose mask, when `masked`, makes the left column and the top row transparent. A
// profile (124 bytes only) is embedded between the pixels and the mask, as when a bitmap file
// becomes an icon.
inline Sample icon(int bpp, int headerSize = 40, bool masked = true,
                   const QByteArray& profile = {}) {
    const int size = 16;
    Sample s{{}, blank(size, size)};
    const int colours = bpp <= 8 ? 1 << bpp : 0;
    const auto index = [&](int x, int y) { return bpp == 1 ? (x + y) % 2 : indexAt(x, y); };
    const auto colourOf = [&](int x, int y) {
        return bpp == 1   ? (index(x, y) ? qRgb(255, 255, 255) : qRgb(0, 0, 0))
               : bpp <= 8 ? paletteColour(index(x, y))
                          : qRgb(x * 15, y * 15, 100);
    };
    const auto transparent = [&](int x, int y) { return masked && (x == 0 || y == 0); };
    QByteArray resource;
    le(resource, {headerSize, 4, size, 4, 2 * size, 4, 1, 2, bpp, 2});
    resource += QByteArray(headerSize - 16, '\0');
    for (int i = 0; i < colours; ++i) {
        resource += rgb(bpp == 1 ? (i ? qRgb(255, 255, 255) : 0) : paletteColour(i), true) + '\0';
    }
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size && bpp > 8; ++x) {
            resource += rgb(colourOf(x, y), true);
        }
        resource +=
            bpp > 8 ? QByteArray() : packRow(size, bpp, 4, [&](int x) { return index(x, y); });
    }
    if (!profile.isEmpty()) {
        QByteArray fields;
        le(fields, {0x4D424544, 4}); // embedded
        resource.replace(56, 4, fields);
        fields.clear();
        le(fields, {resource.size(), 4, profile.size(), 4});
        resource.replace(112, 8, fields);
        resource += profile;
    }
    for (int y = size - 1; y >= 0; --y) {
        resource += packRow(size, 1, 4, [&](int x) {
            s.want.setPixel(x, y, transparent(x, y) ? qRgb(255, 255, 255) : colourOf(x, y));
            return transparent(x, y) ? 1 : 0;
        });
    }
    le(s.bytes,
       {0, 2,  1, 2, 1, 2, size, 1, size, 1, colours & 0xff, 1, 0, 1, 1, 2, bpp, 2, resource.size(),
        4, 22, 4});
    s.bytes += resource;
    return s;
}

// Sun raster run-length coding of the whole data: runs of three or more, and every 0x80.
inline QByteArray sunRunLength(const QByteArray& data) {
    QByteArray out;
    for (qsizetype i = 0; i < data.size();) {
        qsizetype j = i;
        while (j < data.size() && data[j] == data[i] && j - i < 256) {
            ++j;
        }
        if (j - i >= 3 || data[i] == char(0x80)) {
            out += j - i == 1 ? QByteArray("\x80\0", 2)
                              : bytes({char(0x80), char(j - i - 1), data[i]});
        } else {
            out += data.mid(i, j - i);
        }
        i = j;
    }
    return out;
}

// A Sun raster file of 1 or 8 bits, raw or run-length coded: indices into a map of 16 colours,
// or without a map a set bit is black and bytes are grey. 13 pixels wide: rows padded.
inline Sample sunRaster(int depth, bool runLength, bool withMap, int width = 13, int height = 6) {
    Sample s{{}, blank(width, height)};
    const auto value = [&](int x, int y) {
        if (depth == 1) {
            return x < 3 || y == 2 ? 1 : 0;
        }
        return x < 6 ? 7 : withMap ? indexAt(x, y) : (x * 30 + y * 5) % 256;
    };
    QByteArray data;
    for (int y = 0; y < height; ++y) {
        data += packRow(width, depth, 2, [&](int x) { return value(x, y); });
        for (int x = 0; x < width; ++x) {
            const int v = value(x, y);
            s.want.setPixel(x, y,
                            withMap      ? paletteColour(v)
                            : depth == 1 ? (v ? qRgb(0, 0, 0) : qRgb(255, 255, 255))
                                         : qRgb(v, v, v));
        }
    }
    QByteArray map;
    for (int channel = 0; withMap && channel < 3; ++channel) {
        for (int i = 0; i < 16; ++i) {
            const QRgb c = paletteColour(i);
            map.append(char(channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c)));
        }
    }
    const QByteArray stored = runLength ? sunRunLength(data) : data;
    for (std::uint32_t v : {0x59a66a95u, std::uint32_t(width), std::uint32_t(height),
                            std::uint32_t(depth), std::uint32_t(stored.size()), runLength ? 2u : 1u,
                            withMap ? 1u : 0u, std::uint32_t(map.size())}) {
        be(s.bytes, v, 4);
    }
    s.bytes += map + stored;
    return s;
}

// Targa run-length coding: repeats as run packets, single pixels as literal packets of one.
inline QByteArray targaRunLength(const std::vector<QByteArray>& pixels) {
    QByteArray out;
    for (std::size_t i = 0, j = 0; i < pixels.size(); i = j) {
        for (j = i + 1; j < pixels.size() && pixels[j] == pixels[i] && j - i < 128;) {
            ++j;
        }
        out += char((j - i > 1 ? 0x80 : 0) | (j - i - 1));
        out += pixels[i];
    }
    return out;
}

// A Targa file: colour-mapped (8-bit indices into a map of 16 colours starting at mapFirst, with
// entries of mapEntryBits 15, 16 or 24) or, with mapEntryBits 0, grey with 8 bits of alpha. The
// descriptor's bits 4 and 5 choose the storage order.
inline Sample targa(bool runLength, int mapFirst, int mapEntryBits, int order = 0, int width = 9,
                    int height = 5) {
    Sample s{{}, blank(width, height)};
    const bool mapped = mapEntryBits != 0;
    const auto wide5 = [](int v) { return (v >> 3) * 255 / 31; };
    std::vector<QByteArray> pixels;
    for (int row = 0; row < height; ++row) {
        const int y = (order & 0x20) ? row : height - 1 - row;
        for (int column = 0; column < width; ++column) {
            const int x = (order & 0x10) ? width - 1 - column : column;
            const int i = x < 3 ? 2 : indexAt(x, y);
            if (mapped) {
                pixels.push_back(QByteArray(1, char(mapFirst + i)));
                const QRgb c = paletteColour(i);
                s.want.setPixel(x, y,
                                mapEntryBits == 24
                                    ? c
                                    : qRgb(wide5(qRed(c)), wide5(qGreen(c)), wide5(qBlue(c))));
            } else {
                const int grey = (x * 29 + y * 7) % 256;
                const int alpha = y == 1 ? 0 : y == 2 ? 128 : 255;
                pixels.push_back(bytes({char(grey), char(alpha)}));
                const int seen = onWhite(grey, alpha);
                s.want.setPixel(x, y, qRgb(seen, seen, seen));
            }
        }
    }
    const int type = (mapped ? 1 : 3) + (runLength ? 8 : 0);
    const int first = mapped ? mapFirst : 0;
    const int depth = mapped ? 8 : 16;
    const int descriptor = order | (mapped ? 0 : 8);
    le(s.bytes, {0, 1, int(mapped), 1, type,   1, first, 2, mapped * 16, 2, mapEntryBits, 1,
                 0, 4, width,       2, height, 2, depth, 1, descriptor,  1});
    for (int i = 0; mapped && i < 16; ++i) {
        const QRgb c = paletteColour(i);
        if (mapEntryBits == 24) {
            s.bytes += rgb(c, true);
        } else {
            le(s.bytes, std::uint32_t((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3),
               2);
        }
    }
    if (runLength) {
        s.bytes += targaRunLength(pixels);
    } else {
        for (const QByteArray& p : pixels) {
            s.bytes += p;
        }
    }
    return s;
}

// The 128-byte header of a run-length coded PCX (version 5, 72 dpi) with the 16 colours of its
// own palette as red, green, blue bytes (zeros where none are given).
inline QByteArray pcxHeader(int bits, int planes, int width, int height, int bytesPerLine,
                            const QByteArray& palette = {}) {
    QByteArray out;
    le(out, {10, 1, 5, 1, 1, 1, bits, 1, 0, 4, width - 1, 2, height - 1, 2, 72, 2, 72, 2});
    out += palette.leftJustified(48, '\0', true);
    le(out, {0, 1, planes, 1, bytesPerLine, 2, 1, 2});
    return out.leftJustified(128, '\0');
}

// A PCX of `planes` planes of `bits` bits, run-length coded, coloured by the header's palette;
// of 8 bits, by 256 colours after the data, followed by `padding` bytes.
inline Sample planarPcx(int bits, int planes, int width = 13, int height = 4, int padding = 0) {
    Sample s{{}, blank(width, height)};
    const int levels = 1 << (bits * planes);
    const int bytesPerLine = ((width * bits + 7) / 8 + 1) & ~1;
    QByteArray palette;
    for (int i = 0; i < 16; ++i) {
        palette += rgb(paletteColour(i));
    }
    s.bytes = pcxHeader(bits, planes, width, height, bytesPerLine, palette);
    for (int y = 0; y < height; ++y) {
        for (int p = 0; p < planes; ++p) {
            QByteArray row = packRow(width, bits, 1, [&](int x) {
                return ((indexAt(x, y) % levels) >> (p * bits)) & ((1 << bits) - 1);
            });
            row += QByteArray(bytesPerLine - row.size(), '\0');
            for (char b : row) {
                s.bytes += bytes({char(0xc1), b});
            }
        }
        for (int x = 0; x < width; ++x) {
            s.want.setPixel(x, y, paletteColour(indexAt(x, y) % levels));
        }
    }
    if (bits == 8) {
        s.bytes += '\x0c';
        for (int i = 0; i < 256; ++i) {
            s.bytes += rgb(paletteColour(i));
        }
        s.bytes += QByteArray(padding, '\0');
    }
    return s;
}

// A plain portable bitmap (P1), its digits separated by `gap` (maybe none).
inline Sample plainBitmap(const QByteArray& gap, int width = 13, int height = 4) {
    Sample s{"P1\n# made here\n" + QByteArray::number(width) + ' ' + QByteArray::number(height) +
                 '\n',
             blank(width, height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool black = (x + y) % 3 == 0;
            s.bytes += (black ? "1" : "0") + gap;
            s.want.setPixel(x, y, black ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
        s.bytes += '\n';
    }
    return s;
}

enum class IlbmKind { Ham6, Ham8, HalfBrite, Deep32, Acbm, PaletteChange, Ham5, Palette };

inline QByteArray iffChunk(const char* tag, const QByteArray& data) {
    QByteArray out(tag, 4);
    be(out, std::uint32_t(data.size()), 4);
    return out + data + QByteArray(data.size() % 2, '\0');
}

// An IFF file: "FORM", its length, then the form type and its chunks.
inline QByteArray iffForm(const QByteArray& typeAndChunks) {
    QByteArray out = "FORM";
    be(out, std::uint32_t(typeAndChunks.size()), 4);
    return out + typeAndChunks;
}

// The BMHD of an ILBM of width x height (its page as large), 1:1 pixels; compression 1 is
// ByteRun1, masking 1 a mask plane after the colour planes of each row.
inline QByteArray ilbmHeader(int width, int height, int planes, int compression, int masking = 0) {
    QByteArray bmhd;
    be(bmhd, std::uint32_t(width) << 16 | std::uint32_t(height), 4);
    be(bmhd, 0, 4);
    bmhd += bytes({planes, masking, compression, 0, 0, 0, 1, 1});
    be(bmhd, std::uint32_t(width) << 16 | std::uint32_t(height), 4);
    return bmhd;
}

// An ILBM (or ACBM) of the kind, uncompressed but for hold-and-modify (ByteRun1 literals); with a
// mask plane, or a colour map of 4-bit guns in the high nibble (which modified guns follow).
inline Sample ilbm(IlbmKind kind, int width = 11, int height = 3, bool stencil = false,
                   bool nibbles = false) {
    const int planes = kind == IlbmKind::Deep32                                ? 32
                       : kind == IlbmKind::Ham8                                ? 8
                       : kind == IlbmKind::Ham6 || kind == IlbmKind::HalfBrite ? 6
                       : kind == IlbmKind::Ham5                                ? 5
                                                                               : 4;
    const bool ham = kind == IlbmKind::Ham6 || kind == IlbmKind::Ham8 || kind == IlbmKind::Ham5;
    // Five planes of hold-and-modify lack the upper control bit: palette or blue only.
    const int dataBits = kind == IlbmKind::Ham5 ? 4 : planes - 2;
    const int controls = kind == IlbmKind::Ham5 ? 1 : 3;
    const int colours = kind == IlbmKind::Ham8 ? 64 : kind == IlbmKind::HalfBrite ? 32 : 16;
    const int gun = nibbles ? 0xf0 : 0xff;
    const auto colourOf = [gun](int i) {
        return qRgb((i * 4) & gun, (255 - i * 4) & gun, (i * 9) & gun);
    };
    Sample s{{}, blank(width, height)};
    std::vector<std::vector<std::uint32_t>> values{std::size_t(height),
                                                   std::vector<std::uint32_t>(std::size_t(width))};
    for (int y = 0; y < height; ++y) {
        QRgb held = colourOf(0);
        for (int x = 0; x < width; ++x) {
            std::uint32_t& v = values[std::size_t(y)][std::size_t(x)];
            QRgb c;
            if (ham) {
                const int control = x == 0 ? 0 : 1 + (x + y) % controls;
                const int level = (x * 5 + y * 3 + 1) & ((1 << dataBits) - 1);
                v = std::uint32_t(control << dataBits | level);
                const int wide = dataBits == 6 ? level << 2 | level >> 4
                                 : nibbles     ? level << 4
                                               : level * 17;
                held = control == 0   ? colourOf(level)
                       : control == 1 ? qRgb(qRed(held), qGreen(held), wide)
                       : control == 2 ? qRgb(wide, qGreen(held), qBlue(held))
                                      : qRgb(qRed(held), wide, qBlue(held));
                c = held;
            } else if (kind == IlbmKind::Deep32) {
                v = std::uint32_t(x * 20) | std::uint32_t(y * 90) << 8 | 77u << 16 |
                    std::uint32_t(x < 4 ? 255 : 0) << 24;
                c = x < 4 ? qRgb(x * 20, y * 90, 77) : qRgb(255, 255, 255);
            } else if (kind == IlbmKind::HalfBrite) {
                v = std::uint32_t(indexAt(x, y) + (x > 4 ? 32 : 0));
                const QRgb bright = colourOf(indexAt(x, y));
                c = x > 4 ? qRgb(qRed(bright) / 2, qGreen(bright) / 2, qBlue(bright) / 2) : bright;
            } else {
                v = std::uint32_t(indexAt(x, y));
                c = colourOf(indexAt(x, y));
            }
            s.want.setPixel(x, y, c);
        }
    }
    const auto planeRow = [&](int y, int p) {
        return packRow(width, 1, 2,
                       [&](int x) { return int(values[std::size_t(y)][std::size_t(x)] >> p) & 1; });
    };
    // ACBM stores each plane whole; ILBM the planes of each row in turn.
    const bool acbm = kind == IlbmKind::Acbm;
    QByteArray body;
    for (int outer = 0; outer < (acbm ? planes : height); ++outer) {
        for (int inner = 0; inner < (acbm ? height : planes); ++inner) {
            const QByteArray row = acbm ? planeRow(inner, outer) : planeRow(outer, inner);
            body += ham ? char(row.size() - 1) + row : row;
        }
        // The mask plane: every other pixel set, which must not show in the colours.
        const QByteArray mask = packRow(width, 1, 2, [](int x) { return x & 1; });
        body += !stencil ? QByteArray() : ham ? char(mask.size() - 1) + mask : mask;
    }
    const QByteArray bmhd = ilbmHeader(width, height, planes, ham ? 1 : 0, stencil ? 1 : 0);
    QByteArray cmap;
    for (int i = 0; i < colours && planes <= 8; ++i) {
        cmap += rgb(colourOf(i));
    }
    QByteArray camg;
    be(camg, ham ? 0x800 : kind == IlbmKind::HalfBrite ? 0x80 : 0, 4);
    QByteArray chunks = acbm ? "ACBM" : "ILBM";
    chunks += iffChunk("BMHD", bmhd) + iffChunk("CMAP", cmap) + iffChunk("CAMG", camg);
    if (kind == IlbmKind::PaletteChange) {
        chunks += iffChunk("PCHG", QByteArray(20, '\0'));
    }
    chunks += iffChunk(acbm ? "ABIT" : "BODY", body);
    s.bytes = iffForm(chunks);
    return s;
}

} // namespace quill::test::formats
