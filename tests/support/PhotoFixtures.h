#pragma once
// Photos as cameras and editors write them, made by the tests: JPEG files with an EXIF block and
// an ICC profile written with libjpeg itself, and the EXIF block as its bytes. Header only.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdio>
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
// approximation, refined later), or each coefficient in one go (DC of all components, then per
// component AC 1-5 and 6-63).
enum class Progression { None, Simple, WithoutRefinement };

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
};

// Writes image (or the CMYK rows) as a quality-100 JPEG with the extras; false on failure.
inline bool writeJpeg(const QString& path, const QImage& image, const JpegExtras& extras = {}) {
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file) {
        return false;
    }
    const QImage rgb =
        image.convertToFormat(extras.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(rgb.width());
    info.image_height = JDIMENSION(rgb.height());
    info.input_components = extras.cmykAdobe ? 4 : extras.grey ? 1 : 3;
    info.in_color_space = extras.cmykAdobe ? JCS_CMYK : extras.grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    if (extras.cmykAdobe) {
        jpeg_set_colorspace(&info, JCS_CMYK); // writes the Adobe block
    }
    jpeg_set_quality(&info, extras.quality, TRUE);
    info.restart_in_rows = int(extras.restartRows);
    std::vector<jpeg_scan_info> scans;
    if (extras.progression == Progression::Simple) {
        jpeg_simple_progression(&info);
    } else if (extras.progression == Progression::WithoutRefinement) {
        jpeg_scan_info dc{info.num_components, {0, 1, 2, 3}, 0, 0, 0, 0};
        scans.push_back(dc);
        for (int c = 0; c < info.num_components; ++c) {
            scans.push_back({1, {c, 0, 0, 0}, 1, 5, 0, 0});
            scans.push_back({1, {c, 0, 0, 0}, 6, 63, 0, 0});
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
        JSAMPROW row =
            extras.cmykAdobe
                ? const_cast<JSAMPROW>(extras.cmyk.data() +
                                       std::size_t(info.next_scanline) * 4 * info.image_width)
                : const_cast<JSAMPROW>(rgb.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

} // namespace quill::test::photos
