// Loading every input format into the working bitmap, through the decoder process or the JPEG
// object, with the fixtures written here.

#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "loading_expect.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace quill {
namespace {

using namespace test::fixtures;

class Loading : public ::testing::Test {
protected:
    static void SetUpTestSuite() { FreeImage_Initialise(false); }
    static void TearDownTestSuite() { FreeImage_DeInitialise(); }

    QString path(const QString& name) const { return dir.filePath(name); }

    QString writeDib(FIBITMAP* dib, FREE_IMAGE_FORMAT format, const QString& name,
                     int flags = 0) const {
        const QString file = path(name);
        EXPECT_TRUE(saveDib(dib, format, file, flags)) << name.toStdString();
        return file;
    }

    QString writeRaw(const QString& name, const QByteArray& bytes) const {
        const QString file = path(name);
        EXPECT_TRUE(writeBytes(file, bytes));
        return file;
    }

    LoadOutcome load(const QString& file) { return LoadPictureFile(bitmap, jpeg, file); }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
};

TEST_F(Loading, EveryFormatWrittenByFreeImageLoadsUprightInTrueColour) {
    DibPtr rgb = dibFromImage(quadrants());
    const std::vector<std::pair<QString, FREE_IMAGE_FORMAT>> files{
        {"a.bmp", FIF_BMP},    {"a.tif", FIF_TIFF},   {"a.tiff", FIF_TIFF},
        {"a.png", FIF_PNG},    {"a.ppm", FIF_PPMRAW}, {"a.tga", FIF_TARGA},
        {"a.ico", FIF_ICO},
    };
    for (const auto& [name, format] : files) {
        const QString file = writeDib(rgb.get(), format, name);
        bitmap = QImage();
        ASSERT_EQ(load(file), LoadOk) << name.toStdString();
        EXPECT_EQ(bitmap.format(), QImage::Format_RGB888) << name.toStdString();
        EXPECT_TRUE(showsQuadrants(bitmap, 16, 12)) << name.toStdString();
    }
}

TEST_F(Loading, HandMadeFormatsLoad) {
    const QImage pattern = quadrants();
    ASSERT_EQ(load(writeRaw("a.pcx", pcxBytes(pattern))), LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 12));
    ASSERT_EQ(load(writeRaw("a.ras", rasBytes(pattern))), LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 12));
    ASSERT_EQ(load(writeRaw("a.lbm", lbmBytes())), LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 12));

    DibPtr rgb = dibFromImage(pattern);
    const QString png = writeDib(rgb.get(), FIF_PNG, "frame.png");
    ASSERT_EQ(load(writeRaw("a.mng", mngFromPng(readBytes(png), 16, 12))), LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 12));
}

TEST_F(Loading, KoalaAndPhotoCd) {
    ASSERT_EQ(load(writeRaw("a.koa", koalaBytes())), LoadOk);
    ASSERT_FALSE(bitmap.isNull());
    std::printf("koala %dx%d tl=%x (9,0)=%x (0,8)=%x\n", bitmap.width(), bitmap.height(),
                bitmap.pixel(0, 0), bitmap.pixel(9, 0), bitmap.pixel(0, 8));
    ASSERT_EQ(load(writeRaw("a.pcd", photoCdBytes())), LoadOk);
    ASSERT_FALSE(bitmap.isNull());
    std::printf("pcd %dx%d top=%x bottom=%x\n", bitmap.width(), bitmap.height(),
                bitmap.pixel(10, 10), bitmap.pixel(10, 500));
}

} // namespace
} // namespace quill
