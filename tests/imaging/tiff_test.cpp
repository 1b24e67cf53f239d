// TIFF kinds that FreeImage reads wrong or refuses, read by the decoder with libtiff: each gives
// its pixels as stored and its orientation; damaged or huge ones are refused.

#include "LoadingFixtures.h"
#include "ProfileFixtures.h"
#include "TiffFixtures.h"
#include "decoder/FreeImageDecode.h"

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
using test::tiffs::TiffPicture;

struct Decoded {
    Status status = Status::NoPicture;
    std::vector<QRgb> pixels;
};

Decoded decodeTiffFile(const QString& file) {
    Decoded out;
    std::vector<std::uint8_t> rows;
    const decode::Allocate allocate = [&rows](std::uint32_t w, std::uint32_t h) {
        rows.assign(std::size_t{w} * 3 * h, 0x5A);
        return decode::RgbTarget{rows.data(), std::size_t{w} * 3};
    };
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    QFile in(file);
    const QByteArray bytes = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    out.status = decode::decodeFile(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())},
        FIF_TIFF, 0, allocate, width, height);
    for (std::size_t i = 0; out.status == Status::Picture && i + 2 < rows.size(); i += 3) {
        out.pixels.push_back(qRgb(rows[i], rows[i + 1], rows[i + 2]));
    }
    return out;
}

struct Variant {
    const char* what;
    TiffPicture picture;
    std::vector<QRgb> want; // stored order
    int tolerance = 0;
};

constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);

QRgb grey(int level) {
    return qRgb(level, level, level);
}

TEST(TiffReading, EveryKindGivesItsPixels) {
    constexpr auto grey1 = PHOTOMETRIC_MINISBLACK;
    constexpr auto cmyk = PHOTOMETRIC_SEPARATED;
    constexpr auto lab = PHOTOMETRIC_CIELAB;
    constexpr auto signedInt = SAMPLEFORMAT_INT;
    constexpr auto associated = EXTRASAMPLE_ASSOCALPHA;
    constexpr auto alpha = EXTRASAMPLE_UNASSALPHA;
    const std::vector<std::uint16_t> smallMap = {10, 200, 255, 0, 30, 90, 250, 1, 120, 7, 0, 255};
    const QByteArray swapped = test::profiles::swappedProfile();
    const QByteArray cmykProfile = test::profiles::rotatingCmykProfile();
    const std::vector<std::uint8_t> rotating(cmykProfile.begin(), cmykProfile.end());
    const std::vector<std::uint16_t> primaries = {0, 65535, 0, 0, 0, 0, 65535, 0, 0, 0, 0, 65535};
    std::vector<double> cyan; // 16 x 16 pixels of full cyan ink
    for (int i = 0; i < 256; ++i) {
        cyan.insert(cyan.end(), {255, 0, 0, 0});
    }
    const std::vector<Variant> variants{
        {"no SamplesPerPixel tag",
         {.samples = 1, .writeSamplesTag = false, .photometric = grey1, .values = {0, 64, 255}},
         {grey(0), grey(64), grey(255)}},
        {"associated alpha, 8 bits",
         {.samples = 4, .extraSamples = {associated}, .values = {100, 50, 0, 128, 0, 0, 0, 0}},
         {qRgb(227, 177, 127), kWhite}},
        {"associated alpha, 16 bits",
         {.bits = 16,
          .samples = 4,
          .extraSamples = {associated},
          .values = {25700, 12850, 0, 32896, 2570, 5140, 7710, 65535}},
         {qRgb(227, 177, 127), qRgb(10, 20, 30)}},
        {"CIELab, 8 bits: white, black, mid grey",
         {.photometric = lab, .values = {255, 0, 0, 0, 0, 0, 128, 0, 0}},
         {kWhite, kBlack, grey(119)},
         1},
        {"CIELab, 8 bits: red, and green of a negative a",
         {.photometric = lab, .values = {138, 81, 70, 224, -79, 81}},
         {qRgb(255, 0, 0), kGreen},
         10},
        {"CIELab, 16 bits: white and green",
         {.bits = 16, .photometric = lab, .values = {65535, 0, 0, 57553, -20293, 20733}},
         {kWhite, kGreen},
         8},
        {"palette whose colour map holds only small values",
         {.bits = 2,
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
          .compression = COMPRESSION_JPEG,
          .tile = 16,
          .values = cyan},
         std::vector<QRgb>(256, qRgb(0, 255, 255)),
         2},
        {"CMYK in tiles",
         {.samples = 4, .photometric = cmyk, .tile = 16, .values = {0, 255, 0, 0, 0, 0, 0, 255}},
         {qRgb(255, 0, 255), kBlack}},
        {"signed 8-bit grey, shown as stored",
         {.samples = 1, .photometric = grey1, .sampleFormat = signedInt, .values = {-128, 0, -1}},
         {grey(128), grey(0), grey(255)}},
        {"signed 8-bit CMYK in a tile larger than the picture",
         {.samples = 4,
          .photometric = cmyk,
          .sampleFormat = signedInt,
          .tile = 16,
          .values = {0, -1, 0, 0, 0, 0, 0, 0}},
         {qRgb(255, 0, 255), kWhite}},
        {"4-bit grey whose unspecified extra sample is left out",
         {.bits = 4, .samples = 2, .photometric = grey1, .extraSamples = {0}, .values = {3, 0}},
         {grey(51)}},
        {"RGB whose unspecified extra sample is left out",
         {.samples = 4, .extraSamples = {0}, .values = {10, 20, 30, 0}},
         {qRgb(10, 20, 30)}},
        {"palette whose unspecified extra sample is left out",
         {.bits = 2,
          .samples = 2,
          .photometric = PHOTOMETRIC_PALETTE,
          .extraSamples = {0},
          .colourMap = primaries,
          .values = {1, 0}},
         {qRgb(255, 0, 0)}},
        {"palette with alpha",
         {.bits = 2,
          .samples = 2,
          .photometric = PHOTOMETRIC_PALETTE,
          .extraSamples = {alpha},
          .colourMap = primaries,
          .values = {1, 0, 1, 3, 2, 2}},
         {kWhite, qRgb(255, 0, 0), qRgb(85, 255, 85)}},
        {"CMYK through its embedded profile",
         {.samples = 4, .photometric = cmyk, .iccProfile = rotating, .values = {255, 0, 0, 0}},
         {qRgb(255, 255, 0)},
         3},
        {"JPEG-compressed CMYK strips through their embedded profile",
         {.width = 16,
          .height = 16,
          .samples = 4,
          .photometric = cmyk,
          .compression = COMPRESSION_JPEG,
          .iccProfile = rotating,
          .values = cyan},
         std::vector<QRgb>(256, qRgb(255, 255, 0)),
         4},
        {"2-bit grey",
         {.bits = 2, .samples = 1, .photometric = grey1, .values = {0, 1, 2, 3}},
         {grey(0), grey(85), grey(170), grey(255)}},
        {"12-bit RGB",
         {.bits = 12, .values = {0, 2048, 4095, 4095, 0, 1024}},
         {qRgb(0, 128, 255), qRgb(255, 0, 64)}},
        {"12-bit RGB whose profile exchanges red and green",
         {.bits = 12, .iccProfile = {swapped.begin(), swapped.end()}, .values = {4095, 0, 0}},
         {kGreen},
         2},
        {"16-bit grey, white is zero",
         {.bits = 16,
          .samples = 1,
          .photometric = PHOTOMETRIC_MINISWHITE,
          .values = {0, 32768, 65535}},
         {kWhite, grey(127), kBlack}},
        {"16-bit grey with alpha",
         {.bits = 16,
          .samples = 2,
          .photometric = grey1,
          .extraSamples = {alpha},
          .values = {32768, 65535, 0, 0}},
         {grey(128), kWhite}},
        {"signed 16-bit RGB",
         {.bits = 16, .sampleFormat = signedInt, .values = {-32768, 0, 32767}},
         {qRgb(0, 128, 255)}},
        {"32-bit float grey, out of range clamped",
         {.bits = 32,
          .samples = 1,
          .photometric = grey1,
          .sampleFormat = SAMPLEFORMAT_IEEEFP,
          .values = {-1.0, 0.5, 1.0, 2.0}},
         {grey(0), grey(128), grey(255), grey(255)}},
        {"32-bit float grey of 8-bit levels",
         {.bits = 32,
          .samples = 1,
          .photometric = grey1,
          .sampleFormat = SAMPLEFORMAT_IEEEFP,
          .values = {0, 127.5, 255, 64}},
         {grey(0), grey(128), grey(255), grey(64)}},
        {"16-bit grey whose white is its MaxSampleValue",
         {.bits = 16,
          .samples = 1,
          .photometric = grey1,
          .maxSampleValue = 4095,
          .values = {0, 2048, 4095, 65535}},
         {grey(0), grey(128), kWhite, kWhite}},
        {"RGBA tiles with separate planes",
         {.width = 2,
          .height = 2,
          .samples = 4,
          .planar = PLANARCONFIG_SEPARATE,
          .tile = 16,
          .extraSamples = {alpha},
          .values = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 0}},
         {qRgb(255, 0, 0), kGreen, qRgb(0, 0, 255), kWhite}},
        {"CMYK with alpha",
         {.samples = 5,
          .photometric = cmyk,
          .extraSamples = {alpha},
          .values = {0, 0, 0, 255, 255, 255, 0, 0, 0, 0}},
         {kBlack, kWhite}},
        {"8-bit grey with alpha in tiles",
         {.samples = 2,
          .photometric = grey1,
          .tile = 16,
          .extraSamples = {alpha},
          .values = {40, 255, 40, 0}},
         {grey(40), kWhite}},
    };
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("v.tif"));
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.what);
        ASSERT_TRUE(test::tiffs::writeTiff(QFile::encodeName(file).constData(), variant.picture));
        const Decoded got = decodeTiffFile(file);
        ASSERT_EQ(got.status, Status::Picture);
        ASSERT_EQ(got.pixels.size(), variant.want.size());
        for (std::size_t i = 0; i < got.pixels.size(); ++i) {
            EXPECT_TRUE(test::fixtures::closeTo(got.pixels[i], variant.want[i], variant.tolerance))
                << "pixel " << i << " is " << qRed(got.pixels[i]) << "," << qGreen(got.pixels[i])
                << "," << qBlue(got.pixels[i]);
        }
    }
}

// Sets the value of a tag of one value in the first directory of a little-endian file, as a LONG.
void setInlineValue(QByteArray& bytes, std::uint16_t tag, std::uint32_t value) {
    const auto at = [&bytes](qsizetype i) { return unsigned(std::uint8_t(bytes[i])); };
    const qsizetype directory = at(4) | at(5) << 8 | at(6) << 16 | at(7) << 24;
    for (unsigned e = 0; e < (at(directory) | at(directory + 1) << 8); ++e) {
        const qsizetype entry = directory + 2 + 12 * e;
        if ((at(entry) | at(entry + 1) << 8) == tag) {
            bytes[entry + 2] = 4;
            bytes[entry + 3] = 0;
            std::memcpy(bytes.data() + entry + 8, &value, 4);
        }
    }
}

// A strip that lies past the end of the file gives no picture; a picture of more pixels than
// the limit allows is refused before anything is allocated for it.
TEST(TiffReading, ShortAndHugeFilesAreRefused) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("v.tif"));
    const TiffPicture twelveBits{.width = 16,
                                 .height = 16,
                                 .bits = 12,
                                 .samples = 1,
                                 .photometric = PHOTOMETRIC_MINISBLACK,
                                 .compression = COMPRESSION_LZW,
                                 .values = std::vector<double>(16 * 16, 1000)};
    ASSERT_TRUE(test::tiffs::writeTiff(QFile::encodeName(file).constData(), twelveBits));
    const QByteArray sound = readBytes(file);
    ASSERT_EQ(decodeTiffFile(file).status, Status::Picture);
    constexpr std::uint32_t kFar = 0x7FFFFFF0;
    constexpr std::uint32_t kHuge = 1u << 20;
    const std::vector<std::pair<std::vector<std::pair<std::uint16_t, std::uint32_t>>, Status>>
        damages{{{{TIFFTAG_STRIPBYTECOUNTS, kFar}}, Status::NoPicture},
                {{{TIFFTAG_STRIPOFFSETS, kFar}}, Status::NoPicture},
                {{{TIFFTAG_IMAGEWIDTH, kHuge},
                  {TIFFTAG_IMAGELENGTH, kHuge},
                  {TIFFTAG_ROWSPERSTRIP, kHuge}},
                 Status::Refused}};
    for (const auto& [tags, status] : damages) {
        SCOPED_TRACE(tags.front().first);
        QByteArray bytes = sound;
        for (const auto& [tag, value] : tags) {
            setInlineValue(bytes, tag, value);
        }
        ASSERT_TRUE(writeBytes(file, bytes));
        EXPECT_EQ(decodeTiffFile(file).status, status);
    }
}

} // namespace
} // namespace quill
