#pragma once
// Damaged and crafted pictures made by the tests themselves: run-length BMPs from hand-written
// bytes and progressive JPEGs whose frame header claims far more than their data holds.

#include "../support/PhotoFixtures.h"

#include <QByteArray>
#include <QFile>
#include <QRgb>

#include <cstdint>
#include <vector>

namespace quill::test::fixtures {

// Colour index i of the run-length fixtures' colour table.
inline QRgb rleColour(int i) {
    return qRgb(i * 16, 255 - i * 16, (i * 40) % 256);
}

inline void appendLe(QByteArray& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(char((v >> (8 * i)) & 0xff));
    }
}

// A BMP compressed with RLE8 (bpp 8) or RLE4 (bpp 4) whose pixel data is `runs` as given, with
// an info header of headerSize bytes (40, or 124 for version 5) and a colour table of the
// palette's colours, or of rleColour(0..colours-1) without one. A negative height makes it
// top-down.
inline QByteArray rleBmp(int width, int height, int bpp, const QByteArray& runs, int colours = 16,
                         std::uint32_t headerSize = 40, const std::vector<QRgb>& palette = {}) {
    const std::uint32_t pixelsAt = 14 + headerSize + std::uint32_t(colours) * 4;
    QByteArray out("BM");
    appendLe(out, pixelsAt + std::uint32_t(runs.size()), 4);
    appendLe(out, 0, 4);
    appendLe(out, pixelsAt, 4);
    appendLe(out, headerSize, 4);
    appendLe(out, std::uint32_t(width), 4);
    appendLe(out, std::uint32_t(height), 4);
    appendLe(out, 1, 2);
    appendLe(out, std::uint32_t(bpp), 2);
    appendLe(out, bpp == 8 ? 1 : 2, 4); // RLE8 or RLE4
    appendLe(out, std::uint32_t(runs.size()), 4);
    appendLe(out, 2835, 4);
    appendLe(out, 2835, 4);
    appendLe(out, std::uint32_t(colours), 4);
    appendLe(out, 0, 4);
    out.append(QByteArray(int(headerSize) - 40, '\0'));
    for (int i = 0; i < colours; ++i) {
        const QRgb c = palette.empty() ? rleColour(i) : palette[std::size_t(i)];
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
    return out + runs;
}

inline QByteArray bytesOf(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

// The JPEG claiming width x height in its frame header, whatever its data holds.
inline QByteArray withFrameSize(QByteArray jpeg, int width, int height) {
    qsizetype sof = jpeg.indexOf(QByteArray("\xff\xc2", 2));
    if (sof < 0) {
        sof = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    }
    if (sof >= 0) {
        jpeg[sof + 5] = char(height >> 8);
        jpeg[sof + 6] = char(height);
        jpeg[sof + 7] = char(width >> 8);
        jpeg[sof + 8] = char(width);
    }
    return jpeg;
}

// A progressive JPEG of a small mid-grey picture written by libjpeg, then made to claim
// width x height in its frame header. With `refinements` 0 it has libjpeg's simple progression
// (10 scans); otherwise every AC coefficient of every component gets a scan of its own followed
// by that many refinement scans (1 + 3 * 63 * (1 + refinements) scans in all). Colour is
// sampled at half resolution as libjpeg's default, or at full resolution with fullChroma.
inline QByteArray progressiveJpeg(int width, int height, int refinements, bool fullChroma = false) {
    const int size = 16;
    const std::vector<std::uint8_t> pixels(std::size_t(size * size * 3), 128);
    using photos::Progression;
    return withFrameSize(
        photos::encodeJpeg(
            pixels.data(), size * 3, size, size, JCS_RGB,
            {.progression = refinements > 0 ? Progression::EveryCoefficient : Progression::Simple,
             .quality = 75,
             .refinements = refinements,
             .fullChroma = fullChroma}),
        width, height);
}

// Peak resident memory of this process so far, in MiB; -1 when the system does not say.
inline long peakResidentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
        }
    }
    return -1;
}

// The crafted file of the bug report: about 55 KB claiming 16000 x 16000 pixels in 946 scans.
inline QByteArray progressiveHeaderBomb() {
    return progressiveJpeg(16000, 16000, 4);
}

} // namespace quill::test::fixtures
