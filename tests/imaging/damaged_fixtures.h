#pragma once
// Damaged and crafted pictures made by the tests themselves: run-length BMPs from hand-written
// bytes and progressive JPEGs whose frame header claims far more than their data holds.

#include <QByteArray>
#include <QFile>
#include <QRgb>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

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
// an info header of headerSize bytes (40, or 124 for version 5) and a colour table of
// rleColour(0..colours-1). A negative height makes it top-down.
inline QByteArray rleBmp(int width, int height, int bpp, const QByteArray& runs, int colours = 16,
                         std::uint32_t headerSize = 40) {
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
        const QRgb c = rleColour(i);
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

// A progressive JPEG of a small mid-grey picture written by libjpeg, then made to claim
// width x height in its frame header. With `refinements` 0 it has libjpeg's simple progression
// (10 scans); otherwise every AC coefficient of every component gets a scan of its own followed
// by that many refinement scans (1 + 3 * 63 * (1 + refinements) scans in all). Colour is
// sampled at half resolution as libjpeg's default, or at full resolution with fullChroma.
inline QByteArray progressiveJpeg(int width, int height, int refinements, bool fullChroma = false) {
    const int size = 16;
    std::vector<JSAMPLE> pixels(std::size_t(size * size * 3), 128);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&info, &buffer, &length);
    info.image_width = size;
    info.image_height = size;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    if (fullChroma) {
        info.comp_info[0].h_samp_factor = 1;
        info.comp_info[0].v_samp_factor = 1;
    }
    std::vector<jpeg_scan_info> script;
    if (refinements > 0) {
        script.push_back(jpeg_scan_info{3, {0, 1, 2, 0}, 0, 0, 0, 0});
        for (int c = 0; c < 3; ++c) {
            for (int k = 1; k < DCTSIZE2; ++k) {
                script.push_back(jpeg_scan_info{1, {c, 0, 0, 0}, k, k, 0, refinements});
                for (int bit = refinements; bit > 0; --bit) {
                    script.push_back(jpeg_scan_info{1, {c, 0, 0, 0}, k, k, bit, bit - 1});
                }
            }
        }
        info.scan_info = script.data();
        info.num_scans = int(script.size());
    } else {
        jpeg_simple_progression(&info);
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = pixels.data() + info.next_scanline * size * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(length));
    std::free(buffer);
    const qsizetype sof = bytes.indexOf(QByteArray("\xff\xc2", 2));
    if (sof > 0) {
        bytes[sof + 5] = char(height >> 8);
        bytes[sof + 6] = char(height);
        bytes[sof + 7] = char(width >> 8);
        bytes[sof + 8] = char(width);
    }
    return bytes;
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
