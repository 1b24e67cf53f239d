// The less common kinds of each format come out as they are meant, pixel for pixel, or are
// refused; run-length BMP data that had to be cut makes the load say the picture is damaged.

#include "DamagedFixtures.h"
#include "FormatFixtures.h"
#include "LoadingFixtures.h"
#include "ProfileFixtures.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quill {
namespace {

using test::formats::Sample;
namespace f = test::formats;

struct Case {
    const char* name; // with the extension that picks the decoder
    Sample sample;
};

class PictureKinds : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }

    LoadResult load(const char* name, const QByteArray& bytes) {
        const QString file = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(test::fixtures::writeBytes(file, bytes)) << name;
        bitmap = QImage();
        return LoadPictureFile(bitmap, jpeg, file);
    }

    ::testing::AssertionResult shows(const QImage& want) const {
        const QImage got = bitmap.convertToFormat(QImage::Format_RGB888);
        for (int y = 0; got.size() == want.size() && y < want.height(); ++y) {
            for (int x = 0; x < want.width(); ++x) {
                if (got.pixel(x, y) != want.pixel(x, y)) {
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << "," << y << ") is " << std::hex << got.pixel(x, y);
                }
            }
        }
        return got.size() == want.size() ? ::testing::AssertionSuccess()
                                         : ::testing::AssertionFailure() << "wrong size";
    }

    void expectAll(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            const LoadResult result = load(c.name, c.sample.bytes);
            EXPECT_EQ(result.outcome, LoadOk) << c.name << ": " << result.detail.toStdString();
            EXPECT_FALSE(result.damaged) << c.name;
            if (result.outcome == LoadOk) {
                EXPECT_TRUE(shows(c.sample.want)) << c.name;
            }
        }
    }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
};

TEST_F(PictureKinds, BitfieldBmpsReadEveryChannelThroughItsMask) {
    expectAll({
        {"usual.bmp", f::bitfieldBmp(32, {0xff0000, 0xff00, 0xff, 0})},
        {"bgr.bmp", f::bitfieldBmp(32, {0xff, 0xff00, 0xff0000, 0})},
        {"10-10-10.bmp", f::bitfieldBmp(32, {0x3ff00000, 0xffc00, 0x3ff, 0})},
        {"odd.bmp", f::bitfieldBmp(32, {0x7fu << 20, 0x1fu << 8, 0x3fu << 1, 0})},
        {"alpha-v3.bmp", f::bitfieldBmp(32, {0xff0000, 0xff00, 0xff, 0xff000000})},
        {"rgba-v4.bmp", f::bitfieldBmp(32, {0xff000000, 0xff0000, 0xff00, 0xff}, 108)},
        {"bgr-v5.bmp", f::bitfieldBmp(32, {0xff, 0xff00, 0xff0000, 0}, 124)},
        {"bgr-top-down.bmp", f::bitfieldBmp(32, {0xff, 0xff00, 0xff0000, 0}, 40, true)},
        {"565.bmp", f::bitfieldBmp(16, {0xf800, 0x7e0, 0x1f, 0})},
        {"4444-v3.bmp", f::bitfieldBmp(16, {0xf00, 0xf0, 0xf, 0xf000})},
        {"4444-v5.bmp", f::bitfieldBmp(16, {0xf000, 0xf00, 0xf0, 0xf}, 124, true)},
        {"4444-h56-top-down.bmp", f::bitfieldBmp(16, {0xf00, 0xf0, 0xf, 0xf000}, 56, true)},
        {"4444-h40-plain.bmp",
         f::bitfieldBmp(16, {0xf00, 0xf0, 0xf, 0xf000}, 40, true, 7, 5, true)},
        {"odd16.bmp", f::bitfieldBmp(16, {0x7u << 13, 0x3fu << 7, 0x7f, 0})},
    });
}

TEST_F(PictureKinds, IconMasksTurnWhiteAtEveryDepthAndHeader) {
    expectAll({
        {"1.ico", f::icon(1)},
        {"4.ico", f::icon(4)},
        {"8.ico", f::icon(8)},
        {"24.ico", f::icon(24)},
        {"4-unmasked.ico", f::icon(4, 40, false)},
        {"8-v5.ico", f::icon(8, 124)},
        {"24-v4.ico", f::icon(24, 108)},
        {"24-v5-profile.ico", f::icon(24, 124, true, test::profiles::srgbProfile())},
    });
}

TEST_F(PictureKinds, SunRastersOfEveryDepthAndCoding) {
    expectAll({
        {"1.ras", f::sunRaster(1, false, false)},
        {"1-rle.ras", f::sunRaster(1, true, false)},
        {"1-map.ras", f::sunRaster(1, false, true)},
        {"grey.ras", f::sunRaster(8, false, false)},
        {"grey-rle.ras", f::sunRaster(8, true, false)},
        {"palette.ras", f::sunRaster(8, false, true)},
        {"palette-rle.ras", f::sunRaster(8, true, true)},
    });
}

TEST_F(PictureKinds, TargaColourMapsAndGreyWithAlpha) {
    std::vector<Case> cases{
        {"map-24.tga", f::targa(false, 0, 24)},
        {"map-15.tga", f::targa(true, 0, 15)},
        {"map-16.tga", f::targa(false, 0, 16)},
        {"map-from-5.tga", f::targa(false, 5, 24)},
        {"map-from-5-rle.tga", f::targa(true, 5, 24, 0x20)},
    };
    for (bool runLength : {false, true}) {
        for (int order : {0x00, 0x10, 0x20, 0x30}) {
            cases.push_back({"grey-alpha.tga", f::targa(runLength, 0, 0, order)});
        }
    }
    expectAll(cases);
}

TEST_F(PictureKinds, PlanarPcxInTheHeaderPalette) {
    expectAll({
        {"4-planes.pcx", f::planarPcx(1, 4)},
        {"3-planes.pcx", f::planarPcx(1, 3)},
        {"2-planes.pcx", f::planarPcx(1, 2)},
        {"cga.pcx", f::planarPcx(2, 1)},
        {"4-bits.pcx", f::planarPcx(4, 1)},
        {"2x2-bits.pcx", f::planarPcx(2, 2)},
        {"8-bits.pcx", f::planarPcx(8, 1)},
        {"8-bits-padded.pcx", f::planarPcx(8, 1, 13, 4, 30)},
    });
}

TEST_F(PictureKinds, PlainBitmapDigitsWithAndWithoutBlanks) {
    expectAll({
        {"spaced.pbm", f::plainBitmap(" ")},
        {"tight.pbm", f::plainBitmap("")},
        {"tight-wide.pbm", f::plainBitmap("", 40, 3)},
    });
}

TEST_F(PictureKinds, IlbmVariantsReadOrRefused) {
    expectAll({
        {"ham5.lbm", f::ilbm(f::IlbmKind::Ham5)},
        {"ham6.lbm", f::ilbm(f::IlbmKind::Ham6)},
        {"ham6-4-bit-colours.lbm", f::ilbm(f::IlbmKind::Ham6, 11, 3, false, true)},
        {"ham8.lbm", f::ilbm(f::IlbmKind::Ham8)},
        {"half-brite.lbm", f::ilbm(f::IlbmKind::HalfBrite)},
        {"deep.lbm", f::ilbm(f::IlbmKind::Deep32)},
        {"acbm.lbm", f::ilbm(f::IlbmKind::Acbm)},
        {"stencil.lbm", f::ilbm(f::IlbmKind::Palette, 11, 3, true)},
        {"ham-stencil.lbm", f::ilbm(f::IlbmKind::Ham6, 11, 3, true)},
    });
    // Per-line palettes are not read: no picture rather than a wrong one.
    EXPECT_EQ(load("pchg.lbm", f::ilbm(f::IlbmKind::PaletteChange).bytes).outcome, LoadFailed);
}

TEST_F(PictureKinds, PhotoCdRowsComeTopFirstWhateverItsOrientationByte) {
    for (int orientation : {0, 1, 3, 8}) {
        ASSERT_EQ(load("base.pcd", test::fixtures::photoCdBytes(orientation)).outcome, LoadOk);
        ASSERT_EQ(bitmap.size(), QSize(768, 512));
        EXPECT_GT(qGray(bitmap.pixel(100, 10)), 200) << orientation;
        EXPECT_LT(qGray(bitmap.pixel(100, 500)), 60) << orientation;
    }
    // Kodak's PhotoYCC: luma times 1.3584, chroma around 156 and 137 times 2.2179 and 1.8215.
    ASSERT_EQ(load("colour.pcd", test::fixtures::photoCdBytes(8, {100, 170, 120})).outcome, LoadOk);
    EXPECT_TRUE(test::fixtures::closeTo(bitmap.pixel(100, 10), qRgb(105, 146, 167), 1))
        << std::hex << bitmap.pixel(100, 10);
}

TEST_F(PictureKinds, RunLengthBmpDataCutToFitMakesADamagedPicture) {
    using test::fixtures::bytesOf;
    using test::fixtures::rleBmp;
    const struct {
        const char* name;
        int width;
        QByteArray runs; // of a picture two rows high
        bool damaged;
    } cases[] = {
        {"whole.bmp", 4, bytesOf({4, 1, 0, 0, 4, 2, 0, 0}), false},
        {"delta-inside.bmp", 4, bytesOf({0, 2, 0, 1, 4, 2}), false},
        {"run-past-row.bmp", 4, bytesOf({6, 1, 0, 0, 4, 2}), true},
        {"literal-past-row.bmp", 4, bytesOf({0, 5, 1, 2, 3, 4, 5, 0}), true},
        {"rle4-past-row.bmp", 3, bytesOf({4, 0x12, 0, 0, 3, 0x34}), true},
        {"delta-past-row.bmp", 4, bytesOf({4, 1, 0, 2, 9, 0, 4, 2}), true},
        {"delta-past-top.bmp", 4, bytesOf({4, 1, 0, 0, 4, 2, 0, 2, 0, 3}), true},
        {"rows-past-top.bmp", 4, bytesOf({4, 1, 0, 0, 4, 2, 0, 0, 4, 3}), true},
    };
    for (const auto& c : cases) {
        const int bpp = c.width == 3 ? 4 : 8;
        const LoadResult result = load(c.name, rleBmp(c.width, 2, bpp, c.runs + bytesOf({0, 1})));
        ASSERT_EQ(result.outcome, LoadOk) << c.name;
        EXPECT_EQ(result.damaged, c.damaged) << c.name;
        EXPECT_EQ(bitmap.size(), QSize(c.width, 2)) << c.name;
    }
}

} // namespace
} // namespace quill
