// Photos as phones, cameras and editors write them: an EXIF or TIFF orientation turns the picture
// upright, an embedded ICC profile converts it to sRGB; anything broken loads as if absent.

#include "LoadingFixtures.h"
#include "PhotoFixtures.h"
#include "ProfileFixtures.h"
#include "TiffFixtures.h"
#include "decoder/ColourProfile.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <lcms2.h>
#include <tiffio.h>

#include <cmath>
#include <functional>

namespace quill {
namespace {

using namespace test::fixtures;
using test::photos::exifWithOrientation;
using test::photos::JpegExtras;
using namespace test::profiles;

// Stored corners: top left red, top right green, bottom left blue, bottom right white.
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kWhite = qRgb(255, 255, 255);

// Each quadrant one flat 32 x 16 area, so that JPEG keeps its colour.
constexpr int kWidth = 64;
constexpr int kHeight = 32;

QImage fourColours(QRgb topLeft, QRgb topRight, QRgb bottomLeft, QRgb bottomRight) {
    QImage image(kWidth, kHeight, QImage::Format_RGB888);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool right = x >= kWidth / 2;
            const bool bottom = y >= kHeight / 2;
            image.setPixel(
                x, y, bottom ? (right ? bottomRight : bottomLeft) : (right ? topRight : topLeft));
        }
    }
    return image;
}

struct Corners {
    QRgb topLeft, topRight, bottomLeft, bottomRight;
};

::testing::AssertionResult showsCorners(const QImage& picture, QSize size, Corners want,
                                        int tolerance) {
    if (picture.size() != size) {
        return ::testing::AssertionFailure()
               << "size " << picture.width() << "x" << picture.height();
    }
    const int w = size.width();
    const int h = size.height();
    const std::array<std::pair<QPoint, QRgb>, 4> probes{{{QPoint(2, 2), want.topLeft},
                                                         {QPoint(w - 3, 2), want.topRight},
                                                         {QPoint(2, h - 3), want.bottomLeft},
                                                         {QPoint(w - 3, h - 3), want.bottomRight}}};
    for (const auto& [at, colour] : probes) {
        const QRgb got = picture.pixel(at);
        if (!closeTo(got, colour, tolerance)) {
            return ::testing::AssertionFailure()
                   << "pixel (" << at.x() << "," << at.y() << ") is " << qRed(got) << ","
                   << qGreen(got) << "," << qBlue(got) << ", expected " << qRed(colour) << ","
                   << qGreen(colour) << "," << qBlue(colour);
        }
    }
    return ::testing::AssertionSuccess();
}

// Where the stored corners must appear for each Orientation value, by the EXIF definition of
// which side row 0 and column 0 of the stored picture show.
Corners uprightCorners(int orientation) {
    switch (orientation) {
    case 2:
        return {kGreen, kRed, kWhite, kBlue};
    case 3:
        return {kWhite, kBlue, kGreen, kRed};
    case 4:
        return {kBlue, kWhite, kRed, kGreen};
    case 5:
        return {kRed, kBlue, kGreen, kWhite};
    case 6:
        return {kBlue, kRed, kWhite, kGreen};
    case 7:
        return {kWhite, kGreen, kBlue, kRed};
    case 8:
        return {kGreen, kWhite, kRed, kBlue};
    default:
        return {kRed, kGreen, kBlue, kWhite};
    }
}

QSize uprightSize(int orientation) {
    return orientation >= 5 ? QSize(kHeight, kWidth) : QSize(kWidth, kHeight);
}

// Profiles made with Little CMS.

// Grey with a linear curve: a stored 128 is half the light, which sRGB writes as 188.
QByteArray linearGreyProfile() {
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    const Profile profile(cmsCreateGrayProfile(cmsD50_xyY(), linear));
    cmsFreeToneCurve(linear);
    return bytesOf(profile.get());
}

// The expected sRGB values, worked out from the published matrices rather than by Little CMS.
double decodeSrgb(int value) {
    const double v = value / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

int encodeSrgb(double linear) {
    linear = std::clamp(linear, 0.0, 1.0);
    const double v =
        linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return int(std::lround(v * 255));
}

QRgb displayP3ToSrgb(QRgb colour) {
    const double r = decodeSrgb(qRed(colour));
    const double g = decodeSrgb(qGreen(colour));
    const double b = decodeSrgb(qBlue(colour));
    return qRgb(encodeSrgb(1.2249401 * r - 0.2249404 * g),
                encodeSrgb(-0.0420569 * r + 1.0420571 * g),
                encodeSrgb(-0.0196376 * r - 0.0786361 * g + 1.0982735 * b));
}

QRgb swapRedGreen(QRgb colour) {
    return qRgb(qGreen(colour), qRed(colour), qBlue(colour));
}

bool writeTiff(const QString& path, const QImage& image, int orientation,
               const QByteArray& profile) {
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff) {
        return false;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(rgb.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(rgb.height()));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, std::uint32_t(rgb.height()));
    if (orientation != 0) {
        TIFFSetField(tiff, TIFFTAG_ORIENTATION, orientation);
    }
    if (!profile.isEmpty()) {
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, std::uint32_t(profile.size()), profile.constData());
    }
    bool written = true;
    for (int y = 0; y < rgb.height(); ++y) {
        written = written && TIFFWriteScanline(tiff, const_cast<uchar*>(rgb.constScanLine(y)),
                                               std::uint32_t(y), 0) == 1;
    }
    TIFFClose(tiff);
    return written;
}

class Photos : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }

    QString path(const QString& name) const { return dir.filePath(name); }

    QString jpegFile(const QString& name, const QImage& image, const JpegExtras& extras = {}) {
        const QString file = path(name);
        EXPECT_TRUE(test::photos::writeJpeg(file, image, extras)) << name.toStdString();
        return file;
    }

    QString pngFile(const QString& name, const QImage& image, const QByteArray& profile) {
        DibPtr dib = dibFromImage(image);
        if (!profile.isEmpty()) {
            FreeImage_CreateICCProfile(dib.get(), const_cast<char*>(profile.constData()),
                                       long(profile.size()));
        }
        const QString file = path(name);
        EXPECT_TRUE(saveDib(dib.get(), FIF_PNG, file));
        return file;
    }

    QString tiffFile(const QString& name, const QImage& image, int orientation = 0,
                     const QByteArray& profile = {}) {
        const QString file = path(name);
        EXPECT_TRUE(writeTiff(file, image, orientation, profile)) << name.toStdString();
        return file;
    }

    QImage load(const QString& file) {
        QImage picture;
        EXPECT_EQ(LoadPictureFile(picture, jpeg, file), LoadOk) << file.toStdString();
        return picture.convertToFormat(QImage::Format_RGB888);
    }

    QTemporaryDir dir;
    TJPEGImage jpeg;
    const QImage stored = fourColours(kRed, kGreen, kBlue, kWhite);
};

TEST_F(Photos, EveryExifOrientationTurnsAJpegUpright) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        // Both byte orders of the EXIF block occur in the wild.
        const bool motorola = orientation % 2 == 0;
        const QString file = jpegFile(QStringLiteral("o%1.jpg").arg(orientation), stored,
                                      {.app1 = exifWithOrientation(orientation, motorola)});
        EXPECT_TRUE(
            showsCorners(load(file), uprightSize(orientation), uprightCorners(orientation), 24));
    }
}

TEST_F(Photos, EveryTiffOrientationTurnsTheDecodedPictureUpright) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const QString file =
            tiffFile(QStringLiteral("o%1.tif").arg(orientation), stored, orientation);
        EXPECT_TRUE(
            showsCorners(load(file), uprightSize(orientation), uprightCorners(orientation), 0));
    }
}

// Kinds that libtiff turns or converts while reading: upright all the same, and turned once.
TEST_F(Photos, EveryOrientationTurnsJpegCompressedAndCmykTiffsUpright) {
    struct Kind {
        const char* what;
        std::uint16_t photometric;
        std::uint16_t compression;
        std::uint32_t tile;
    };
    const std::vector<Kind> kinds{{"RGB, JPEG", PHOTOMETRIC_RGB, COMPRESSION_JPEG, 0},
                                  {"YCbCr, JPEG", PHOTOMETRIC_YCBCR, COMPRESSION_JPEG, 0},
                                  {"YCbCr, JPEG, tiles", PHOTOMETRIC_YCBCR, COMPRESSION_JPEG, 16},
                                  {"CMYK", PHOTOMETRIC_SEPARATED, COMPRESSION_NONE, 0}};
    for (const Kind& kind : kinds) {
        const bool cmyk = kind.photometric == PHOTOMETRIC_SEPARATED;
        test::tiffs::TiffPicture picture{.width = kWidth,
                                         .height = kHeight,
                                         .samples = std::uint16_t(cmyk ? 4 : 3),
                                         .photometric = kind.photometric,
                                         .compression = kind.compression,
                                         .tile = kind.tile,
                                         .jpegFromRgb = kind.photometric == PHOTOMETRIC_YCBCR};
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const QRgb colour = stored.pixel(x, y);
                for (const int level : {qRed(colour), qGreen(colour), qBlue(colour)}) {
                    picture.values.push_back(cmyk ? 255 - level : level);
                }
                if (cmyk) {
                    picture.values.push_back(0);
                }
            }
        }
        for (int orientation = 1; orientation <= 8; ++orientation) {
            SCOPED_TRACE(testing::Message() << kind.what << ", orientation " << orientation);
            picture.orientation = std::uint16_t(orientation);
            const QString file = path(QStringLiteral("o%1.tif").arg(orientation));
            ASSERT_TRUE(test::tiffs::writeTiff(QFile::encodeName(file).constData(), picture));
            EXPECT_TRUE(showsCorners(load(file), uprightSize(orientation),
                                     uprightCorners(orientation), cmyk ? 0 : 24));
        }
    }
}

TEST_F(Photos, BrokenOrMeaninglessExifLoadsAsStored) {
    const QImage plain = load(jpegFile("plain.jpg", stored));
    ASSERT_FALSE(plain.isNull());
    QByteArray truncated = exifWithOrientation(6);
    truncated.chop(12);
    QByteArray garbage("Exif\0\0", 6);
    garbage += QByteArray(64, '\xA5');
    const std::vector<std::pair<const char*, QByteArray>> blocks{
        {"truncated", truncated},
        {"garbage", garbage},
        {"header only", QByteArray("Exif\0\0", 6)},
        {"value 0", exifWithOrientation(0)},
        {"value 9", exifWithOrientation(9)},
        {"LONG instead of SHORT", exifWithOrientation(6, false, 4)},
        {"XMP, not EXIF", QByteArray("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 41)},
    };
    for (const auto& [what, block] : blocks) {
        SCOPED_TRACE(what);
        EXPECT_EQ(load(jpegFile("odd.jpg", stored, {.app1 = block})), plain);
    }
}

TEST_F(Photos, EmbeddedProfilesConvertToSrgb) {
    const QRgb orange = qRgb(200, 100, 50);
    const QRgb sea = qRgb(40, 150, 130);
    const QRgb violet = qRgb(110, 80, 190);
    const QRgb grey = qRgb(128, 128, 128);
    const QImage picture = fourColours(orange, sea, violet, grey);
    const std::vector<std::tuple<const char*, QByteArray, std::function<QRgb(QRgb)>>> profiles{
        {"red and green exchanged", swappedProfile(), swapRedGreen},
        {"Display P3", displayP3Profile(), displayP3ToSrgb},
    };
    for (const auto& [what, profile, expected] : profiles) {
        SCOPED_TRACE(what);
        ASSERT_FALSE(profile.isEmpty());
        const Corners want{expected(orange), expected(sea), expected(violet), expected(grey)};
        const QSize size(kWidth, kHeight);
        EXPECT_TRUE(
            showsCorners(load(jpegFile("p.jpg", picture, {.iccProfile = profile})), size, want, 4))
            << "JPEG";
        EXPECT_TRUE(showsCorners(load(pngFile("p.png", picture, profile)), size, want, 2)) << "PNG";
        EXPECT_TRUE(showsCorners(load(tiffFile("p.tif", picture, 0, profile)), size, want, 2))
            << "TIFF";
    }
    // Orientation and profile together: turned and converted.
    const QString both = tiffFile("both.tif", picture, 6, swappedProfile());
    EXPECT_TRUE(showsCorners(load(both), QSize(kHeight, kWidth),
                             {swapRedGreen(violet), swapRedGreen(orange), grey, swapRedGreen(sea)},
                             2));
}

TEST_F(Photos, GreyPicturesConvertThroughAGreyProfile) {
    const QImage greys =
        fourColours(qRgb(128, 128, 128), qRgb(64, 64, 64), qRgb(0, 0, 0), qRgb(255, 255, 255));
    const auto asSrgb = [](int linear) {
        const int v = encodeSrgb(linear / 255.0);
        return qRgb(v, v, v);
    };
    const Corners want{asSrgb(128), asSrgb(64), asSrgb(0), asSrgb(255)};
    const QByteArray profile = linearGreyProfile();
    EXPECT_TRUE(showsCorners(load(jpegFile("g.jpg", greys, {.iccProfile = profile, .grey = true})),
                             QSize(kWidth, kHeight), want, 3));
    DibPtr dib(FreeImage_ConvertToGreyscale(dibFromImage(greys).get()));
    ASSERT_TRUE(dib);
    FreeImage_CreateICCProfile(dib.get(), const_cast<char*>(profile.constData()),
                               long(profile.size()));
    ASSERT_TRUE(saveDib(dib.get(), FIF_PNG, path("g.png")));
    EXPECT_TRUE(showsCorners(load(path("g.png")), QSize(kWidth, kHeight), want, 2));
    // A colour profile says nothing about a grey file.
    const QImage plainGrey = load(jpegFile("plain-g.jpg", greys, {.grey = true}));
    EXPECT_EQ(load(jpegFile("rgb-g.jpg", greys, {.iccProfile = swappedProfile(), .grey = true})),
              plainGrey);
}

TEST_F(Photos, SrgbProfilesAndUnusableProfilesGiveTodaysBytes) {
    const QImage picture = fourColours(qRgb(200, 100, 50), qRgb(40, 150, 130), qRgb(110, 80, 190),
                                       qRgb(128, 128, 128));
    const QImage plainJpeg = load(jpegFile("plain.jpg", picture));
    const QImage plainPng = load(pngFile("plain.png", picture, {}));
    const QImage plainTiff = load(tiffFile("plain.tif", picture));
    ASSERT_FALSE(plainJpeg.isNull());
    ASSERT_FALSE(plainPng.isNull());
    ASSERT_FALSE(plainTiff.isNull());

    const QByteArray srgb = srgbProfile();
    EXPECT_EQ(load(jpegFile("s.jpg", picture, {.iccProfile = srgb})), plainJpeg);
    EXPECT_EQ(load(pngFile("s.png", picture, srgb)), plainPng);
    EXPECT_EQ(load(tiffFile("s.tif", picture, 0, srgb)), plainTiff);

    QByteArray broken = displayP3Profile();
    broken.replace(128, broken.size() - 128, QByteArray(broken.size() - 128, '\x7F'));
    const std::vector<std::pair<const char*, QByteArray>> unusable{
        {"garbage", QByteArray(300, '\x33')},
        {"damaged tag table", broken},
        {"truncated", displayP3Profile().left(200)},
        {"CMYK profile on RGB pixels", rotatingCmykProfile()},
    };
    for (const auto& [what, profile] : unusable) {
        SCOPED_TRACE(what);
        EXPECT_EQ(load(jpegFile("u.jpg", picture, {.iccProfile = profile})), plainJpeg);
        EXPECT_EQ(load(tiffFile("u.tif", picture, 0, profile)), plainTiff);
    }
    // An APP2 block that claims to be a profile chunk but is cut short.
    EXPECT_EQ(load(jpegFile("c.jpg", picture, {.rawApp2 = QByteArray("ICC_PROFILE\0\x01", 13)})),
              plainJpeg);
}

TEST_F(Photos, CmykJpegsConvertThroughTheirProfile) {
    // Adobe's CMYK stores 255 for no ink. Full cyan, magenta and yellow ink, and paper.
    std::vector<std::uint8_t> inks;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int quadrant = (y >= kHeight / 2 ? 2 : 0) + (x >= kWidth / 2 ? 1 : 0);
            std::array<std::uint8_t, 4> ink{255, 255, 255, 255};
            if (quadrant < 3) {
                ink[std::size_t(quadrant)] = 0;
            }
            inks.insert(inks.end(), ink.begin(), ink.end());
        }
    }
    QImage size(kWidth, kHeight, QImage::Format_RGB888);
    size.fill(Qt::black); // only its size counts: the rows come from the inks
    const QImage plain = load(jpegFile("plain.jpg", size, {.cmykAdobe = true, .cmyk = inks}));
    EXPECT_TRUE(showsCorners(plain, size.size(),
                             {qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(255, 255, 0), kWhite}, 4))
        << "without a profile, the plain ink arithmetic";
    const QByteArray profile = rotatingCmykProfile();
    ASSERT_TRUE(colour::SrgbConversion::fromProfile(
        reinterpret_cast<const std::uint8_t*>(profile.constData()), std::size_t(profile.size()),
        colour::Pixels::CmykInverted));
    const QImage profiled = load(jpegFile(
        "cmyk.jpg", size, {.iccProfile = rotatingCmykProfile(), .cmykAdobe = true, .cmyk = inks}));
    EXPECT_TRUE(showsCorners(profiled, size.size(),
                             {qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(255, 0, 255), kWhite},
                             10));
}

} // namespace
} // namespace quill
