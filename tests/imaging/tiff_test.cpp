// TIFF kinds that FreeImage reads wrong or refuses, read by the decoder with libtiff: each gives
// its pixels as stored and its orientation; damaged or huge ones are refused.

#include "ProfileFixtures.h"
#include "TiffFixtures.h"
#include "imaging/decoder/FreeImageDecode.h"
#include "loading_fixtures.h"

#include <QColor>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace quill {
namespace {

using decode::Status;
using test::fixtures::readBytes;
using test::fixtures::writeBytes;
using test::tiffs::TiffSpec;

struct Decoded {
    Status status = Status::NoPicture;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t orientation = 0;
    std::vector<QRgb> pixels;
};

Decoded decodeTiffFile(const QString& file) {
    Decoded out;
    std::vector<std::uint8_t> rows;
    const decode::Allocate allocate = [&rows](std::uint32_t w, std::uint32_t h) {
        rows.assign(std::size_t{w} * 3 * h, 0x5A);
        return decode::RgbTarget{rows.data(), std::size_t{w} * 3};
    };
    out.status = decode::decodeFile(QFile::encodeName(file).constData(), FIF_TIFF, 0, allocate,
                                    out.width, out.height, &out.orientation);
    for (std::size_t i = 0; out.status == Status::Picture && i + 2 < rows.size(); i += 3) {
        out.pixels.push_back(qRgb(rows[i], rows[i + 1], rows[i + 2]));
    }
    return out;
}

struct Variant {
    const char* what;
    TiffSpec spec;
    std::vector<QRgb> want; // stored order
    int tolerance = 0;
};

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);

QRgb grey(int level) {
    return qRgb(level, level, level);
}

// The same sample values in every pixel of a width x height picture.
std::vector<double> flat(std::uint32_t width, std::uint32_t height, std::vector<double> pixel) {
    std::vector<double> values;
    for (std::uint32_t i = 0; i < width * height; ++i) {
        values.insert(values.end(), pixel.begin(), pixel.end());
    }
    return values;
}

TEST(TiffReading, EveryKindGivesItsPixels) {
    constexpr auto grey1 = PHOTOMETRIC_MINISBLACK;
    constexpr auto cmyk = PHOTOMETRIC_SEPARATED;
    constexpr auto lab = PHOTOMETRIC_CIELAB;
    constexpr auto jpeg = COMPRESSION_JPEG;
    constexpr auto planes = PLANARCONFIG_SEPARATE;
    constexpr auto associated = EXTRASAMPLE_ASSOCALPHA;
    constexpr auto unassociated = EXTRASAMPLE_UNASSALPHA;
    const std::vector<std::uint16_t> smallMap = {10, 200, 255, 0, 30, 90, 250, 1, 120, 7, 0, 255};
    const QByteArray swapped = test::profiles::swappedProfile();
    const std::vector<Variant> variants{
        {"no SamplesPerPixel tag",
         {.width = 4,
          .height = 1,
          .samples = 1,
          .writeSamplesTag = false,
          .photometric = grey1,
          .values = {0, 64, 128, 255}},
         {grey(0), grey(64), grey(128), grey(255)}},
        {"associated alpha, 8 bits",
         {.width = 3,
          .height = 1,
          .samples = 4,
          .extraSamples = {associated},
          .values = {100, 50, 0, 128, 10, 20, 30, 255, 0, 0, 0, 0}},
         {qRgb(227, 177, 127), qRgb(10, 20, 30), kWhite}},
        {"associated alpha, 16 bits",
         {.width = 2,
          .height = 1,
          .bits = 16,
          .samples = 4,
          .extraSamples = {associated},
          .values = {25700, 12850, 0, 32896, 2570, 5140, 7710, 65535}},
         {qRgb(227, 177, 127), qRgb(10, 20, 30)}},
        {"CIELab, 8 bits: white, black, mid grey",
         {.width = 3, .height = 1, .photometric = lab, .values = {255, 0, 0, 0, 0, 0, 128, 0, 0}},
         {kWhite, kBlack, grey(119)},
         1},
        {"CIELab, 8 bits: red, and green of a negative a",
         {.width = 2, .height = 1, .photometric = lab, .values = {138, 81, 70, 224, -79, 81}},
         {qRgb(255, 0, 0), qRgb(0, 255, 0)},
         10},
        {"CIELab, 16 bits: white and green",
         {.width = 2,
          .height = 1,
          .bits = 16,
          .photometric = lab,
          .values = {65535, 0, 0, 57553, -20293, 20733}},
         {kWhite, qRgb(0, 255, 0)},
         8},
        {"palette whose colour map holds only small values",
         {.width = 3,
          .height = 1,
          .bits = 2,
          .samples = 1,
          .photometric = PHOTOMETRIC_PALETTE,
          .colourMap = smallMap,
          .values = {0, 1, 3}},
         {kBlack, kBlack, kBlack}},
        {"CMYK in JPEG-compressed tiles",
         {.width = 16,
          .height = 16,
          .samples = 4,
          .photometric = cmyk,
          .compression = jpeg,
          .tile = 16,
          .values = flat(16, 16, {255, 0, 0, 0})},
         std::vector<QRgb>(256, qRgb(0, 255, 255)),
         2},
        {"CMYK in tiles",
         {.width = 2,
          .height = 1,
          .samples = 4,
          .photometric = cmyk,
          .tile = 16,
          .values = {0, 255, 0, 0, 0, 0, 0, 255}},
         {qRgb(255, 0, 255), kBlack}},
        {"signed 8-bit grey",
         {.width = 3,
          .height = 1,
          .samples = 1,
          .photometric = grey1,
          .sampleFormat = SAMPLEFORMAT_INT,
          .values = {-128, 0, 127}},
         {grey(0), grey(128), grey(255)}},
        {"2-bit grey",
         {.width = 4,
          .height = 1,
          .bits = 2,
          .samples = 1,
          .photometric = grey1,
          .values = {0, 1, 2, 3}},
         {grey(0), grey(85), grey(170), grey(255)}},
        {"12-bit grey and RGB",
         {.width = 2, .height = 1, .bits = 12, .values = {0, 2048, 4095, 4095, 0, 1024}},
         {qRgb(0, 128, 255), qRgb(255, 0, 64)}},
        {"12-bit RGB whose profile exchanges red and green",
         {.width = 1,
          .height = 1,
          .bits = 12,
          .iccProfile = {swapped.begin(), swapped.end()},
          .values = {4095, 0, 0}},
         {qRgb(0, 255, 0)},
         2},
        {"16-bit grey, white is zero",
         {.width = 3,
          .height = 1,
          .bits = 16,
          .samples = 1,
          .photometric = PHOTOMETRIC_MINISWHITE,
          .values = {0, 32768, 65535}},
         {kWhite, grey(127), kBlack}},
        {"16-bit grey with alpha",
         {.width = 2,
          .height = 1,
          .bits = 16,
          .samples = 2,
          .photometric = grey1,
          .extraSamples = {unassociated},
          .values = {32768, 65535, 0, 0}},
         {grey(128), kWhite}},
        {"signed 16-bit RGB",
         {.width = 1,
          .height = 1,
          .bits = 16,
          .sampleFormat = SAMPLEFORMAT_INT,
          .values = {-32768, 0, 32767}},
         {qRgb(0, 128, 255)}},
        {"32-bit float grey, out of range clamped",
         {.width = 4,
          .height = 1,
          .bits = 32,
          .samples = 1,
          .photometric = grey1,
          .sampleFormat = SAMPLEFORMAT_IEEEFP,
          .values = {0.0, 0.5, 1.0, 2.0}},
         {grey(0), grey(128), grey(255), grey(255)}},
        {"RGBA tiles with separate planes",
         {.width = 2,
          .height = 2,
          .samples = 4,
          .planar = planes,
          .tile = 16,
          .extraSamples = {unassociated},
          .values = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 0}},
         {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), kWhite}},
        {"CMYK with alpha",
         {.width = 2,
          .height = 1,
          .samples = 5,
          .photometric = cmyk,
          .extraSamples = {unassociated},
          .values = {0, 0, 0, 255, 255, 255, 0, 0, 0, 0}},
         {kBlack, kWhite}},
        {"8-bit grey with alpha in tiles",
         {.width = 2,
          .height = 1,
          .samples = 2,
          .photometric = grey1,
          .tile = 16,
          .extraSamples = {unassociated},
          .values = {40, 255, 40, 0}},
         {grey(40), kWhite}},
    };
    QTemporaryDir dir;
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.what);
        const QString file = dir.filePath(QStringLiteral("v.tif"));
        ASSERT_TRUE(test::tiffs::writeTiff(QFile::encodeName(file).constData(), variant.spec));
        const Decoded got = decodeTiffFile(file);
        ASSERT_EQ(got.status, Status::Picture);
        EXPECT_EQ(got.width, variant.spec.width);
        ASSERT_EQ(got.pixels.size(), variant.want.size());
        for (std::size_t i = 0; i < got.pixels.size(); ++i) {
            const QRgb have = got.pixels[i];
            const QRgb want = variant.want[i];
            EXPECT_LE(std::abs(qRed(have) - qRed(want)), variant.tolerance) << "pixel " << i;
            EXPECT_LE(std::abs(qGreen(have) - qGreen(want)), variant.tolerance) << "pixel " << i;
            EXPECT_LE(std::abs(qBlue(have) - qBlue(want)), variant.tolerance) << "pixel " << i;
        }
    }
}

// Sets the value kept in the entry of a tag in the first directory of a little-endian file.
void setInlineValue(QByteArray& bytes, std::uint16_t tag, std::uint32_t value) {
    const auto at = [&bytes](qsizetype i) { return unsigned(std::uint8_t(bytes[i])); };
    const qsizetype directory = at(4) | at(5) << 8 | at(6) << 16 | at(7) << 24;
    for (unsigned e = 0; e < (at(directory) | at(directory + 1) << 8); ++e) {
        const qsizetype entry = directory + 2 + 12 * e;
        if ((at(entry) | at(entry + 1) << 8) == tag) {
            std::memcpy(bytes.data() + entry + 8, &value, 4);
        }
    }
}

// A tile that lies past the end of the file gives no picture; a picture of more pixels than
// the limit allows is refused before anything is allocated for it.
TEST(TiffReading, ShortAndHugeFilesAreRefused) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("v.tif"));
    const QByteArray name = QFile::encodeName(file);
    const TiffSpec twelveBit{.width = 16,
                             .height = 16,
                             .bits = 12,
                             .samples = 1,
                             .photometric = PHOTOMETRIC_MINISBLACK,
                             .tile = 16,
                             .values = std::vector<double>(16 * 16, 1000)};
    ASSERT_TRUE(test::tiffs::writeTiff(name.constData(), twelveBit));
    const QByteArray sound = readBytes(file);
    ASSERT_EQ(decodeTiffFile(file).status, Status::Picture);
    for (const std::uint16_t tag : {TIFFTAG_TILEBYTECOUNTS, TIFFTAG_TILEOFFSETS}) {
        SCOPED_TRACE(tag);
        QByteArray bytes = sound;
        setInlineValue(bytes, tag, 0x7FFFFFF0);
        ASSERT_TRUE(writeBytes(file, bytes));
        EXPECT_EQ(decodeTiffFile(file).status, Status::NoPicture);
    }

    // The tags of a 2^20 x 2^20 picture and one small strip.
    TIFF* tiff = TIFFOpen(name.constData(), "w");
    ASSERT_TRUE(tiff);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 1u << 20);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 1u << 20);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 12);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1u << 20);
    std::array<std::uint8_t, 64> strip{};
    EXPECT_EQ(TIFFWriteRawStrip(tiff, 0, strip.data(), strip.size()), tmsize_t(strip.size()));
    TIFFClose(tiff);
    EXPECT_EQ(decodeTiffFile(file).status, Status::Refused);
}

} // namespace
} // namespace quill
