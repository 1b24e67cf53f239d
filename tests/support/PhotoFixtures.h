#pragma once
// Photos as cameras and editors write them, made by the tests: the tests' one libjpeg encoder
// (any colour space, progression, restart markers, EXIF block and ICC profile), and the EXIF
// block as its bytes. Header only; whoever includes it links libjpeg.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace quill::test::photos {

// An APP1 EXIF block whose first directory holds one Orientation entry, in Intel ("II") or
// Motorola ("MM") byte order. type 3 is SHORT, as the standard has it.
inline QByteArray exifWithOrientation(int orientation, bool bigEndian = false, int type = 3) {
    QByteArray out("Exif\0\0", 6);
    const auto put16 = [&](unsigned v) {
        if (bigEndian) {
            out.append(char(v >> 8)).append(char(v));
        } else {
            out.append(char(v)).append(char(v >> 8));
        }
    };
    const auto put32 = [&](std::uint32_t v) {
        if (bigEndian) {
            put16(v >> 16);
            put16(v & 0xffff);
        } else {
            put16(v & 0xffff);
            put16(v >> 16);
        }
    };
    out.append(bigEndian ? "MM" : "II");
    put16(42);
    put32(8); // the first directory follows the header
    put16(1); // one entry
    put16(0x0112);
    put16(unsigned(type));
    put32(1);
    put16(unsigned(orientation)); // a SHORT value sits in the first half of the value field
    put16(0);
    put32(0); // no further directory
    return out;
}

// How a progressive file sends its coefficients: libjpeg's own script (DC and AC by successive
// approximation, refined later), each coefficient in one go (DC of all components, then per
// component AC 1-5 and 6-63), or every AC coefficient of every component in a scan of its own
// followed by `refinements` refinement scans (1 + 3 * 63 * (1 + refinements) scans in all).
enum class Progression { None, Simple, WithoutRefinement, EveryCoefficient };

struct JpegExtras {
    QByteArray app1;                // written as it is (after the marker and its length)
    QByteArray iccProfile;          // split into APP2 blocks by libjpeg
    QByteArray rawApp2;             // one APP2 block written as it is
    bool grey = false;              // a one-channel file of the picture's grey values
    bool cmykAdobe = false;         // picture pixels are given as C, M, Y, K with 255 = no ink
    std::vector<std::uint8_t> cmyk; // the CMYK rows when cmykAdobe, width * 4 per row
    Progression progression = Progression::None;
    unsigned restartRows = 0; // restart markers every that many MCU rows
    int quality = 100;
    J_COLOR_SPACE stored = JCS_UNKNOWN; // the file's colour space; unknown: libjpeg's choice
    int refinements = 0;                // with Progression::EveryCoefficient
    bool fullChroma = false;            // colour sampled at full rather than half resolution
    bool arithmetic = false;            // arithmetic coding in place of Huffman's
};

// The tests' one libjpeg encoder: rows of `input` samples, `stride` bytes apart, written with
// libjpeg's defaults as far as the extras leave them (forced baseline quantisation tables).
inline QByteArray encodeJpeg(const std::uint8_t* samples, std::size_t stride, int width, int height,
                             J_COLOR_SPACE input, const JpegExtras& extras = {}) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = input == JCS_GRAYSCALE ? 1 : input == JCS_CMYK ? 4 : 3;
    info.in_color_space = input;
    jpeg_set_defaults(&info);
    if (extras.stored != JCS_UNKNOWN) {
        jpeg_set_colorspace(&info, extras.stored);
    }
    jpeg_set_quality(&info, extras.quality, TRUE);
    if (extras.fullChroma) {
        info.comp_info[0].h_samp_factor = 1;
        info.comp_info[0].v_samp_factor = 1;
    }
    info.restart_in_rows = int(extras.restartRows);
    info.arith_code = extras.arithmetic ? TRUE : FALSE;
    std::vector<jpeg_scan_info> scans;
    if (extras.progression == Progression::Simple) {
        jpeg_simple_progression(&info);
    } else if (extras.progression != Progression::None) {
        scans.push_back({info.num_components, {0, 1, 2, 3}, 0, 0, 0, 0});
        for (int c = 0; c < info.num_components; ++c) {
            if (extras.progression == Progression::WithoutRefinement) {
                scans.push_back({1, {c, 0, 0, 0}, 1, 5, 0, 0});
                scans.push_back({1, {c, 0, 0, 0}, 6, 63, 0, 0});
                continue;
            }
            for (int k = 1; k < DCTSIZE2; ++k) {
                scans.push_back({1, {c, 0, 0, 0}, k, k, 0, extras.refinements});
                for (int bit = extras.refinements; bit > 0; --bit) {
                    scans.push_back({1, {c, 0, 0, 0}, k, k, bit, bit - 1});
                }
            }
        }
        info.scan_info = scans.data();
        info.num_scans = int(scans.size());
    }
    jpeg_start_compress(&info, TRUE);
    if (!extras.app1.isEmpty()) {
        jpeg_write_marker(&info, JPEG_APP0 + 1,
                          reinterpret_cast<const JOCTET*>(extras.app1.constData()),
                          unsigned(extras.app1.size()));
    }
    if (!extras.iccProfile.isEmpty()) {
        jpeg_write_icc_profile(&info,
                               reinterpret_cast<const JOCTET*>(extras.iccProfile.constData()),
                               unsigned(extras.iccProfile.size()));
    }
    if (!extras.rawApp2.isEmpty()) {
        jpeg_write_marker(&info, JPEG_APP0 + 2,
                          reinterpret_cast<const JOCTET*>(extras.rawApp2.constData()),
                          unsigned(extras.rawApp2.size()));
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples + std::size_t(info.next_scanline) * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

// The image (or the extras' CMYK rows, at the image's size) as a JPEG with the extras.
inline QByteArray encodeJpeg(const QImage& image, const JpegExtras& extras = {}) {
    if (extras.cmykAdobe) {
        return encodeJpeg(extras.cmyk.data(), std::size_t(image.width()) * 4, image.width(),
                          image.height(), JCS_CMYK, extras);
    }
    const QImage rows =
        image.convertToFormat(extras.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    return encodeJpeg(rows.constBits(), std::size_t(rows.bytesPerLine()), rows.width(),
                      rows.height(), extras.grey ? JCS_GRAYSCALE : JCS_RGB, extras);
}

// Writes image (or the CMYK rows) as a quality-100 JPEG with the extras; false on failure.
inline bool writeJpeg(const QString& path, const QImage& image, const JpegExtras& extras = {}) {
    const QByteArray bytes = encodeJpeg(image, extras);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace quill::test::photos
