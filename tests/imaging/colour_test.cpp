// The fast sRGB conversion of pictures with a colour profile: it must give the colours Little CMS
// works out pixel by pixel, and a large picture converted on a second thread while it decodes (or
// in two halves in the decoder process) must come out as if converted row by row.

#include "LoadingFixtures.h"
#include "PhotoFixtures.h"
#include "ProfileFixtures.h"
#include "decoder/ColourProfile.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

namespace quill {
namespace {

using colour::Pixels;
using colour::SrgbConversion;
using namespace test::profiles;

struct TransformDeleter {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

using Sampler = cmsInt32Number (*)(const cmsUInt16Number in[], cmsUInt16Number out[], void*);

// A profile that is one grid from device values to Lab, filled by the sampler (which gets an
// sRGB-to-Lab transform), as scanner, camera and press profiles are.
QByteArray gridProfile(cmsColorSpaceSignature space, cmsProfileClassSignature kind, int points,
                       Sampler sampler) {
    const Profile srgb(cmsCreate_sRGBProfile());
    const Profile lab(cmsCreateLab4Profile(nullptr));
    const Transform toLab(cmsCreateTransform(srgb.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL,
                                             INTENT_RELATIVE_COLORIMETRIC, 0));
    const Profile profile(cmsCreateProfilePlaceholder(nullptr));
    const cmsUInt32Number inputs = cmsChannelsOf(space);
    cmsSetProfileVersion(profile.get(), 2.1);
    cmsSetDeviceClass(profile.get(), kind);
    cmsSetColorSpace(profile.get(), space);
    cmsSetPCS(profile.get(), cmsSigLabData);
    cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, inputs, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, cmsUInt32Number(points), inputs, 3, nullptr);
    cmsStageSampleCLut16bit(grid, sampler, toLab.get(), 0);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, grid);
    cmsWriteTag(profile.get(), cmsSigAToB0Tag, lut);
    cmsPipelineFree(lut);
    return bytesOf(profile.get());
}

cmsInt32Number toLab(void* cargo, const double rgb[3], cmsUInt16Number out[]) {
    cmsCIELab colour;
    cmsDoTransform(cargo, rgb, &colour, 1);
    cmsFloat2LabEncodedV2(out, &colour);
    return TRUE;
}

// An RGB scanner profile that turns the channels round and bends their curves; white stays white,
// as in real device profiles (Little CMS pins white to white when it optimises).
QByteArray scannerGrid() {
    return gridProfile(
        cmsSigRgbData, cmsSigInputClass, 17,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
            const double r = in[0] / 65535.0, g = in[1] / 65535.0, b = in[2] / 65535.0;
            const double rgb[3] = {std::pow(g, 1.3), 0.05 + 0.95 * b, 0.5 * r * (1 + r)};
            return toLab(cargo, rgb, out);
        });
}

// A press profile with naive inks, on the 17-point grid real ones use.
QByteArray pressGrid() {
    return gridProfile(cmsSigCmykData, cmsSigOutputClass, 17,
                       [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
                           const double k = 1 - in[3] / 65535.0;
                           const double rgb[3] = {(1 - in[0] / 65535.0) * k,
                                                  (1 - in[1] / 65535.0) * k,
                                                  (1 - in[2] / 65535.0) * k};
                           return toLab(cargo, rgb, out);
                       });
}

SrgbConversion conversionOf(const QByteArray& profile, Pixels pixels) {
    return SrgbConversion::fromProfile(reinterpret_cast<const std::uint8_t*>(profile.constData()),
                                       std::size_t(profile.size()), pixels);
}

// Little CMS's transform that works out every pixel through the whole profile, unoptimised.
Transform exactTransform(const QByteArray& profile, cmsUInt32Number format) {
    const Profile source(
        cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size())));
    const Profile srgb(cmsCreate_sRGBProfile());
    return Transform(cmsCreateTransform(source.get(), format, srgb.get(), TYPE_RGB_8,
                                        INTENT_PERCEPTUAL, cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE));
}

struct Difference {
    int largest = 0;
    std::size_t beyondOne = 0; // channels more than one level off
};

Difference compare(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want) {
    Difference difference;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const int d = std::abs(int(got[i]) - int(want[i]));
        difference.largest = std::max(difference.largest, d);
        difference.beyondOne += d > 1 ? 1 : 0;
    }
    return difference;
}

TEST(PhotoColours, RgbProfilesGiveLittleCmsColours) {
    // Every fifth level of each channel, and the extremes: 52^3 colours.
    std::vector<std::uint8_t> colours;
    for (int r = 0; r <= 255; r += 5) {
        for (int g = 0; g <= 255; g += 5) {
            for (int b = 0; b <= 255; b += 5) {
                colours.insert(colours.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
            }
        }
    }
    const std::size_t count = colours.size() / 3;
    struct Case {
        const char* what;
        QByteArray profile;
        int largest;
    };
    const std::vector<Case> cases{
        {"Display P3", displayP3Profile(), 1},
        {"red and green exchanged", swappedProfile(), 1},
        {"ProPhoto primaries, gamma 1.8", proPhotoProfile(), 1},
        {"scanner grid", scannerGrid(), 2},
    };
    for (const auto& [what, profile, largest] : cases) {
        SCOPED_TRACE(what);
        const SrgbConversion conversion = conversionOf(profile, Pixels::Rgb);
        ASSERT_TRUE(conversion);
        const Transform exact = exactTransform(profile, TYPE_RGB_8);
        ASSERT_TRUE(exact);
        std::vector<std::uint8_t> got(colours.size());
        std::vector<std::uint8_t> want(colours.size());
        conversion.convert(colours.data(), got.data(), count);
        cmsDoTransform(exact.get(), colours.data(), want.data(), cmsUInt32Number(count));
        const Difference difference = compare(got, want);
        EXPECT_LE(difference.largest, largest);
        EXPECT_LE(difference.beyondOne, count * 3 / 1000) << "more than a few colours off";
        // In place, and pixel by pixel (odd counts), give the same.
        std::vector<std::uint8_t> inPlace = colours;
        conversion.convert(inPlace.data(), inPlace.data(), count);
        EXPECT_EQ(inPlace, got);
        std::vector<std::uint8_t> single(colours.size());
        for (std::size_t i = 0; i < count; i += 97) {
            conversion.convert(colours.data() + i * 3, single.data() + i * 3, 1);
            ASSERT_TRUE(std::equal(got.begin() + std::ptrdiff_t(i * 3),
                                   got.begin() + std::ptrdiff_t(i * 3 + 3),
                                   single.begin() + std::ptrdiff_t(i * 3)))
                << "colour " << i;
        }
    }
}

TEST(PhotoColours, CmykProfilesGiveLittleCmsColours) {
    const QByteArray profile = pressGrid();
    std::vector<std::uint8_t> inks;
    for (int c = 0; c <= 255; c += 17) {
        for (int m = 0; m <= 255; m += 17) {
            for (int y = 0; y <= 255; y += 17) {
                for (int k = 0; k <= 255; k += 51) {
                    inks.insert(inks.end(), {std::uint8_t(c), std::uint8_t(m), std::uint8_t(y),
                                             std::uint8_t(k)});
                }
            }
        }
    }
    // Off the grid's nodes as well: every level of each ink alone and of all four together.
    for (int v = 0; v <= 255; ++v) {
        const auto level = std::uint8_t(v);
        inks.insert(inks.end(), {level, 0, 0, 0, 0, level, 0,     0,     0,     0,
                                 level, 0, 0, 0, 0, level, level, level, level, level});
    }
    const std::size_t count = inks.size() / 4;
    for (const auto& [what, pixels, format] :
         {std::tuple{"plain inks", Pixels::Cmyk, cmsUInt32Number(TYPE_CMYK_8)},
          std::tuple{"Adobe's inverted inks", Pixels::CmykInverted,
                     cmsUInt32Number(TYPE_CMYK_8_REV)}}) {
        SCOPED_TRACE(what);
        const SrgbConversion conversion = conversionOf(profile, pixels);
        ASSERT_TRUE(conversion);
        EXPECT_EQ(conversion.inputWidth(), 4u);
        const Transform exact = exactTransform(profile, format);
        ASSERT_TRUE(exact);
        std::vector<std::uint8_t> got(count * 3);
        std::vector<std::uint8_t> want(count * 3);
        conversion.convert(inks.data(), got.data(), count);
        cmsDoTransform(exact.get(), inks.data(), want.data(), cmsUInt32Number(count));
        const Difference difference = compare(got, want);
        EXPECT_LE(difference.largest, 3);
        EXPECT_LE(difference.beyondOne, count * 3 / 100);
    }
}

// Large enough that the conversion runs beside the decoding.
constexpr int kLarge = 1024;

// A smooth picture with fine detail, so that every band of rows differs.
QImage largePhoto() {
    QImage image(kLarge, kLarge, QImage::Format_RGB888);
    for (int y = 0; y < kLarge; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < kLarge; ++x) {
            row[3 * x] = uchar(x / 4);
            row[3 * x + 1] = uchar(y / 4);
            row[3 * x + 2] = uchar((x * 7 + y * 3) & 0xff);
        }
    }
    return image;
}

class LargePhotos : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }

    QImage load(const QString& file) {
        QImage picture;
        EXPECT_EQ(LoadPictureFile(picture, jpeg, file), LoadOk) << file.toStdString();
        return picture.convertToFormat(QImage::Format_RGB888);
    }

    // What converting each row on its own makes of the picture.
    static QImage rowByRow(QImage picture, const SrgbConversion& conversion) {
        for (int y = 0; y < picture.height(); ++y) {
            conversion.convert(picture.scanLine(y), picture.scanLine(y),
                               std::size_t(picture.width()));
        }
        return picture;
    }

    QTemporaryDir dir;
    TJPEGImage jpeg;
};

TEST_F(LargePhotos, JpegRowsConvertedBesideTheDecoderMatchRowByRow) {
    const QImage image = largePhoto();
    const QString plain = dir.filePath("plain.jpg");
    const QString profiled = dir.filePath("p3.jpg");
    ASSERT_TRUE(test::photos::writeJpeg(plain, image));
    ASSERT_TRUE(test::photos::writeJpeg(profiled, image, {.iccProfile = displayP3Profile()}));
    const SrgbConversion conversion = conversionOf(displayP3Profile(), Pixels::Rgb);
    ASSERT_TRUE(conversion);
    const QImage decoded = load(plain);
    ASSERT_EQ(decoded.size(), QSize(kLarge, kLarge));
    const QImage converted = load(profiled);
    EXPECT_NE(converted, decoded);
    EXPECT_EQ(converted, rowByRow(decoded, conversion));
}

// Decodes a CMYK JPEG's ink rows as they are stored.
std::vector<std::uint8_t> inkRows(const QString& file) {
    const QByteArray bytes = test::fixtures::readBytes(file);
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&info);
    std::vector<std::uint8_t> inks(std::size_t(info.output_width) * 4 * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = inks.data() + std::size_t(info.output_scanline) * 4 * info.output_width;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return inks;
}

TEST_F(LargePhotos, CmykRowsConvertedBesideTheDecoderMatchRowByRow) {
    std::vector<std::uint8_t> stored;
    stored.reserve(std::size_t(kLarge) * kLarge * 4);
    for (int y = 0; y < kLarge; ++y) {
        for (int x = 0; x < kLarge; ++x) {
            stored.insert(stored.end(), {std::uint8_t(x / 4), std::uint8_t(y / 4),
                                         std::uint8_t((x + y) / 8), std::uint8_t((x * y) & 0xff)});
        }
    }
    QImage size(kLarge, kLarge, QImage::Format_RGB888);
    size.fill(Qt::black); // only its size counts
    const QString file = dir.filePath("cmyk.jpg");
    const QByteArray profile = pressGrid();
    ASSERT_TRUE(test::photos::writeJpeg(
        file, size, {.iccProfile = profile, .cmykAdobe = true, .cmyk = stored}));
    const std::vector<std::uint8_t> inks = inkRows(file);
    ASSERT_EQ(inks.size(), stored.size());
    const SrgbConversion conversion = conversionOf(profile, Pixels::CmykInverted);
    ASSERT_TRUE(conversion);
    QImage want(kLarge, kLarge, QImage::Format_RGB888);
    for (int y = 0; y < kLarge; ++y) {
        conversion.convert(inks.data() + std::size_t(y) * kLarge * 4, want.scanLine(y), kLarge);
    }
    EXPECT_EQ(load(file), want);
}

TEST_F(LargePhotos, PngHalvesConvertedInTheDecoderProcessMatchRowByRow) {
    const QImage image = largePhoto();
    const QString plain = dir.filePath("plain.png");
    const QString profiled = dir.filePath("p3.png");
    const QByteArray profile = displayP3Profile();
    test::fixtures::DibPtr dib = test::fixtures::dibFromImage(image);
    ASSERT_TRUE(test::fixtures::saveDib(dib.get(), FIF_PNG, plain));
    FreeImage_CreateICCProfile(dib.get(), const_cast<char*>(profile.constData()),
                               long(profile.size()));
    ASSERT_TRUE(test::fixtures::saveDib(dib.get(), FIF_PNG, profiled));
    const QImage decoded = load(plain);
    ASSERT_EQ(decoded, image.convertToFormat(QImage::Format_RGB888));
    EXPECT_EQ(load(profiled), rowByRow(decoded, conversionOf(profile, Pixels::Rgb)));
}

// A profile's float pipeline is what Little CMS evaluates first; the tables must follow it, not
// the matrix and curves the same profile also holds.
TEST(PhotoColours, FloatPipelineGivesLittleCmsColours) {
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    std::vector<std::uint8_t> colours;
    for (int v = 0; v < 256 * 256 * 256; v += 4099) {
        colours.insert(colours.end(),
                       {std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
    }
    const std::size_t count = colours.size() / 3;
    for (const int stages : {0, 6}) {
        const QByteArray profile = floatPipelineProfile(p3, stages);
        const SrgbConversion conversion = conversionOf(profile, Pixels::Rgb);
        ASSERT_TRUE(conversion) << stages;
        std::vector<std::uint8_t> got(colours.size()), want(colours.size());
        conversion.convert(colours.data(), got.data(), count);
        cmsDoTransform(exactTransform(profile, TYPE_RGB_8).get(), colours.data(), want.data(),
                       cmsUInt32Number(count));
        // The grid follows the clipping at the edge of sRGB's gamut only roughly, as with any
        // grid profile of wide primaries; tables made from the profile's matrix and curves
        // (sRGB's) would leave every saturated colour tens of levels off.
        const Difference difference = compare(got, want);
        EXPECT_LE(difference.largest, 12) << stages;
        EXPECT_LE(difference.beyondOne, count * 3 / 50) << stages;
    }
}

// Profiles that would cost seconds to turn into tables are ignored, and the bound is what says so.
TEST(PhotoColours, CostlyProfilesAreIgnoredByTheirBound) {
    const cmsCIExyYTRIPLE p3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const QByteArray grid = scannerGrid(); // its grid in a 16-bit table (mft2) of 3 inputs
    const qsizetype table = grid.indexOf("mft2");
    ASSERT_GT(table, 0);
    const auto patched = [&grid, table](qsizetype at, char value) {
        QByteArray bytes = grid;
        bytes[table + at] = value;
        return bytes;
    };
    const struct {
        const char* what;
        QByteArray profile;
        const char* reason;
    } cases[] = {
        {"300 stages", floatPipelineProfile(p3, 300), "302 stages"},
        {"one stage too many", floatPipelineProfile(p3, 7), "9 stages"},
        {"a curve of many pieces", floatPipelineProfile(p3, 1, 17), "17 segments"},
        {"a grid of nine inputs", patched(8, 9), "9 inputs"},
        {"a grid larger than its tag", patched(10, char(255)), "grid larger"},
        {"a profile of 17 MB", grid + QByteArray(17 << 20, '\0'), "bytes"},
    };
    for (const auto& [what, profile, reason] : cases) {
        std::string why;
        EXPECT_FALSE(
            SrgbConversion::fromProfile(reinterpret_cast<const std::uint8_t*>(profile.constData()),
                                        std::size_t(profile.size()), Pixels::Rgb, &why))
            << what;
        EXPECT_NE(why.find(reason), std::string::npos) << what << ": " << why;
    }
}

} // namespace
} // namespace quill
