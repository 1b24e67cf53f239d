// Loading every input format into the working bitmap, through the decoder process or the JPEG
// object, with pictures written here.

#include "LoadingExpect.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace quill {
namespace {

using namespace test::fixtures;

class Loading : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }

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

    QString writeJpeg(const QString& name, const QImage& image, bool progressive = false) const {
        TJPEGImage encoder;
        encoder.SetProgressiveEncoding(progressive);
        encoder.Assign(image);
        encoder.SaveToFile(path(name));
        return path(name);
    }

    LoadOutcome load(const QString& file) { return LoadPictureFile(bitmap, jpeg, file); }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
};

TEST_F(Loading, FormatsWithFreeImageWritersLoadUprightInTrueColour) {
    DibPtr rgb = dibFromImage(quadrants());
    const std::vector<std::tuple<QString, FREE_IMAGE_FORMAT, int>> files{
        {"a.bmp", FIF_BMP, 0},    {"a.tif", FIF_TIFF, 0},
        {"a.tiff", FIF_TIFF, 0},  {"a.png", FIF_PNG, 0},
        {"a.ppm", FIF_PPMRAW, 0}, {"b.ppm", FIF_PPM, 1},
        {"a.tga", FIF_TARGA, 0},  {"rle.tga", FIF_TARGA, TARGA_SAVE_RLE},
    };
    for (const auto& [name, format, flags] : files) {
        const QString file = writeDib(rgb.get(), format, name, flags);
        bitmap = QImage();
        ASSERT_EQ(load(file), LoadOk) << name.toStdString();
        EXPECT_EQ(bitmap.format(), QImage::Format_RGB888) << name.toStdString();
        EXPECT_TRUE(showsQuadrants(bitmap, 16, 12)) << name.toStdString();
    }
    // The icon writer takes square pictures only.
    DibPtr square = dibFromImage(quadrants(16, 16));
    ASSERT_EQ(load(writeDib(square.get(), FIF_ICO, "a.ico")), LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 16));
}

TEST_F(Loading, FormatsWithoutWritersLoadFromHandMadeFiles) {
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

    // Koala: 160 double-wide pixels become 320; the first cell is white on black.
    ASSERT_EQ(load(writeRaw("a.koa", koalaBytes())), LoadOk);
    ASSERT_EQ(bitmap.size(), QSize(320, 200));
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.pixel(7, 7), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.pixel(8, 0), qRgb(0, 0, 0));
    EXPECT_EQ(bitmap.pixel(0, 8), qRgb(0, 0, 0));

    // Photo CD with flags 1: the base picture, bright above and dark below, grey.
    ASSERT_EQ(load(writeRaw("a.pcd", photoCdBytes())), LoadOk);
    ASSERT_EQ(bitmap.size(), QSize(768, 512));
    const QRgb top = bitmap.pixel(100, 100);
    const QRgb bottom = bitmap.pixel(100, 400);
    EXPECT_GT(qGray(top), 200);
    EXPECT_LT(qGray(bottom), 80);
    EXPECT_TRUE(closeTo(top, qRgb(qRed(top), qRed(top), qRed(top)), 12));
}

TEST_F(Loading, PaletteDepthsExpandToTrueColour) {
    for (unsigned bpp : {4u, 8u}) {
        DibPtr dib = paletteDib(bpp);
        for (const auto& [suffix, format] : {std::pair{".bmp", FIF_BMP}, std::pair{".png", FIF_PNG},
                                             std::pair{".tif", FIF_TIFF}}) {
            const QString name = QStringLiteral("p%1%2").arg(bpp).arg(QLatin1String(suffix));
            ASSERT_EQ(load(writeDib(dib.get(), format, name)), LoadOk) << name.toStdString();
            EXPECT_EQ(bitmap.format(), QImage::Format_RGB888);
            EXPECT_TRUE(showsQuadrants(bitmap, 16, 12)) << name.toStdString();
        }
    }
    DibPtr mono = paletteDib(1);
    writeRaw(QStringLiteral("m.pbm"), pbmBytes(false));
    for (const auto& [name, format] : {std::pair{"m.bmp", FIF_BMP}, std::pair{"m.png", FIF_PNG},
                                       std::pair{"m.pbm", FIF_UNKNOWN}}) {
        const QString file = format == FIF_UNKNOWN ? path(QString::fromLatin1(name))
                                                   : writeDib(mono.get(), format, name);
        ASSERT_EQ(load(file), LoadOk) << name;
        EXPECT_EQ(bitmap.pixel(2, 2), qRgb(0, 0, 0)) << name;
        EXPECT_EQ(bitmap.pixel(12, 2), qRgb(255, 255, 255)) << name;
        EXPECT_EQ(bitmap.pixel(2, 10), qRgb(255, 255, 255)) << name;
    }
}

TEST_F(Loading, SixteenBitsPerChannelAndGreyComeThrough) {
    const int w = 8;
    const int h = 4;
    DibPtr grey(FreeImage_AllocateT(FIT_UINT16, w, h));
    DibPtr rgb16(FreeImage_AllocateT(FIT_RGB16, w, h));
    DibPtr rgba16(FreeImage_AllocateT(FIT_RGBA16, w, h));
    for (int y = 0; y < h; ++y) {
        auto* g = reinterpret_cast<std::uint16_t*>(FreeImage_GetScanLine(grey.get(), y));
        auto* c = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(rgb16.get(), y));
        auto* a = reinterpret_cast<FIRGBA16*>(FreeImage_GetScanLine(rgba16.get(), y));
        for (int x = 0; x < w; ++x) {
            // Bottom-up: y == h - 1 is the top row, which is brighter.
            g[x] = y == h - 1 ? 0xC000 : 0x4000;
            c[x] = FIRGB16{0xFF00, 0x8000, 0x0000};
            // Left half opaque red, right half half-transparent black.
            a[x] = x < w / 2 ? FIRGBA16{0xFFFF, 0, 0, 0xFFFF} : FIRGBA16{0, 0, 0, 0x8000};
        }
    }
    ASSERT_EQ(load(writeDib(grey.get(), FIF_PNG, "g16.png")), LoadOk);
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(bitmap.pixel(0, h - 1), qRgb(0x40, 0x40, 0x40));
    ASSERT_EQ(load(writeDib(grey.get(), FIF_PGMRAW, "g16.pgm")), LoadOk);
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(0xC0, 0xC0, 0xC0));
    ASSERT_EQ(load(writeDib(rgb16.get(), FIF_TIFF, "c16.tif")), LoadOk);
    EXPECT_EQ(bitmap.pixel(3, 2), qRgb(0xFF, 0x80, 0x00));
    ASSERT_EQ(load(writeDib(rgba16.get(), FIF_PNG, "a16.png")), LoadOk);
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_TRUE(closeTo(bitmap.pixel(w - 1, 0), qRgb(127, 127, 127), 2));
}

TEST_F(Loading, TransparencyIsFlattenedOntoWhite) {
    QImage translucent(16, 12, QImage::Format_ARGB32);
    translucent.fill(qRgba(0, 0, 255, 255));
    for (int y = 0; y < 12; ++y) {
        for (int x = 8; x < 16; ++x) {
            translucent.setPixel(x, y, y < 6 ? qRgba(0, 0, 0, 0) : qRgba(255, 0, 0, 128));
        }
    }
    DibPtr dib = dibFromImage(translucent, true);
    for (const auto& [name, format] : {std::pair{"t.png", FIF_PNG}, std::pair{"t.tga", FIF_TARGA},
                                       std::pair{"t.tif", FIF_TIFF}}) {
        ASSERT_EQ(load(writeDib(dib.get(), format, name)), LoadOk) << name;
        EXPECT_EQ(bitmap.pixel(2, 2), qRgb(0, 0, 255)) << name;
        EXPECT_EQ(bitmap.pixel(12, 2), qRgb(255, 255, 255)) << name;
        EXPECT_TRUE(closeTo(bitmap.pixel(12, 10), qRgb(255, 127, 127), 2)) << name;
    }
    DibPtr square = dibFromImage(translucent.copy(0, 0, 16, 16), true);
    ASSERT_EQ(load(writeDib(square.get(), FIF_ICO, "t.ico")), LoadOk);
    EXPECT_EQ(bitmap.pixel(12, 2), qRgb(255, 255, 255));

    // A palette PNG whose entry 3 is fully transparent.
    DibPtr palette = paletteDib(8);
    std::array<BYTE, 4> alpha{255, 255, 255, 0};
    FreeImage_SetTransparencyTable(palette.get(), alpha.data(), 4);
    ASSERT_EQ(load(writeDib(palette.get(), FIF_PNG, "trns.png")), LoadOk);
    EXPECT_EQ(bitmap.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.pixel(12, 10), qRgb(255, 255, 255));
}

TEST_F(Loading, BmpWithVersionFourAndFiveHeadersLoads) {
    const QImage pattern = quadrants();
    for (int headerSize : {108, 124}) {
        ASSERT_EQ(load(writeRaw("v.bmp", bmpNewHeaderBytes(pattern, headerSize, false))), LoadOk);
        EXPECT_TRUE(showsQuadrants(bitmap, 16, 12)) << headerSize;
    }
    QImage translucent = pattern.convertToFormat(QImage::Format_ARGB32);
    translucent.setPixel(12, 2, qRgba(0, 0, 0, 0));
    ASSERT_EQ(load(writeRaw("alpha.bmp", bmpNewHeaderBytes(translucent, 124, true))), LoadOk);
    EXPECT_EQ(bitmap.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.pixel(12, 2), qRgb(255, 255, 255));
    EXPECT_EQ(bitmap.pixel(13, 2), qRgb(0, 255, 0));
}

// Floating-point grey and colour are read (see tiff_test.cpp); complex numbers are no picture.
TEST_F(Loading, ComplexPicturesAreRefusedWithTheLoadFailure) {
    DibPtr dib(FreeImage_AllocateT(FIT_COMPLEX, 4, 4));
    bitmap = quadrants();
    EXPECT_EQ(load(writeDib(dib.get(), FIF_TIFF, "f.tif")), LoadFailed);
    EXPECT_EQ(LoadOutcomeMessage(LoadFailed), QStringLiteral("Fehler beim Laden der Datei"));
}

TEST_F(Loading, ExtensionsChooseTheDecoder) {
    const QImage pattern = quadrants();
    // .JPG and .Jpg take the JPEG path.
    for (const char* name : {"Bild.JPG", "Bild.Jpg"}) {
        writeJpeg(QStringLiteral("tmp.jpg"), pattern);
        QFile::remove(path(QString::fromLatin1(name)));
        QFile::rename(path(QStringLiteral("tmp.jpg")), path(QString::fromLatin1(name)));
        bitmap = QImage();
        ASSERT_EQ(load(path(QString::fromLatin1(name))), LoadOk) << name;
        EXPECT_TRUE(showsQuadrants(bitmap, 16, 12, 40)) << name;
    }
    // The other spellings of JPEG take the same path; an extension without a decoder leaves the
    // bitmap empty, without a failure.
    for (const char* name : {"Bild.jpeg", "Bild.JPE", "Bild.jfif"}) {
        writeJpeg(QString::fromLatin1(name), pattern);
        bitmap = QImage();
        ASSERT_EQ(load(path(QString::fromLatin1(name))), LoadOk) << name;
        EXPECT_TRUE(showsQuadrants(bitmap, 16, 12, 40)) << name;
    }
    writeJpeg(QStringLiteral("Bild.jpg2"), pattern);
    bitmap = pattern;
    EXPECT_EQ(load(path(QStringLiteral("Bild.jpg2"))), LoadOk);
    EXPECT_TRUE(bitmap.isNull());
    // JPEG data in a .png goes to the PNG loader only, which finds no PNG: a load failure.
    writeJpeg(QStringLiteral("x.png"), pattern);
    bitmap = pattern;
    EXPECT_EQ(load(path(QStringLiteral("x.png"))), LoadFailed);
    EXPECT_EQ(bitmap, pattern);
    // PNM content of any kind loads under any of the three extensions.
    DibPtr rgb = dibFromImage(pattern);
    writeDib(rgb.get(), FIF_PPMRAW, "colour.pbm");
    ASSERT_EQ(load(path(QStringLiteral("colour.pbm"))), LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 12));
    ASSERT_EQ(load(writeRaw(QStringLiteral("mono.ppm"), pbmBytes(true))), LoadOk);
    EXPECT_EQ(bitmap.pixel(2, 2), qRgb(0, 0, 0));
    EXPECT_EQ(bitmap.pixel(12, 2), qRgb(255, 255, 255));
    // No extension at all, and a dot only in the folder name.
    QDir(dir.path()).mkdir(QStringLiteral("folder.png"));
    writeRaw(QStringLiteral("folder.png/noext"), readBytes(path(QStringLiteral("colour.pbm"))));
    bitmap = pattern;
    EXPECT_EQ(load(path(QStringLiteral("folder.png/noext"))), LoadOk);
    EXPECT_TRUE(bitmap.isNull());
}

TEST_F(Loading, ContentOfAnotherFormatIsALoadFailure) {
    DibPtr rgb = dibFromImage(quadrants());
    const QByteArray png = readBytes(writeDib(rgb.get(), FIF_PNG, "real.png"));
    const QByteArray bmp = readBytes(writeDib(rgb.get(), FIF_BMP, "real.bmp"));
    // A large PNG named .pcd passes the size rule but is still no Photo CD.
    QByteArray bigPng = png;
    bigPng.append(QByteArray(800000, '\0'));
    for (const auto& [name, bytes] :
         {std::pair{"five.koa", QByteArray("\x00\x60\x01\x02\x03", 5)}, std::pair{"png.koa", png},
          std::pair{"png.pcd", bigPng}, std::pair{"short.pcd", png}, std::pair{"bmp.tga", bmp},
          std::pair{"png.ras", png}, std::pair{"bmp.ico", bmp}, std::pair{"png.tif", png},
          std::pair{"png.lbm", png}, std::pair{"empty.bmp", QByteArray()}}) {
        bitmap = quadrants();
        EXPECT_EQ(load(writeRaw(QString::fromLatin1(name), bytes)), LoadFailed) << name;
        EXPECT_EQ(bitmap, quadrants()) << name;
    }
    bitmap = quadrants();
    EXPECT_EQ(load(path(QStringLiteral("missing.png"))), LoadFailed);
    EXPECT_EQ(bitmap, quadrants());
}

TEST_F(Loading, CorruptJpegKeepsThePreviousPicture) {
    const QImage before = quadrants();
    bitmap = before;
    writeRaw(QStringLiteral("broken.jpg"), QByteArray("\xff\xd8\xff\xe0 not really", 16));
    EXPECT_EQ(load(path(QStringLiteral("broken.jpg"))), LoadInvalidJpeg);
    EXPECT_EQ(bitmap, before);
    EXPECT_EQ(load(path(QStringLiteral("missing.jpg"))), LoadInvalidJpeg);
    EXPECT_EQ(bitmap, before);
    EXPECT_EQ(LoadOutcomeMessage(LoadInvalidJpeg), QStringLiteral("Keine gültige JPEG-Datei"));
}

TEST_F(Loading, RelativePathsFollowTheCurrentFolder) {
    DibPtr rgb = dibFromImage(quadrants());
    writeDib(rgb.get(), FIF_PNG, "rel.png");
    writeJpeg(QStringLiteral("rel.jpg"), quadrants());
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const LoadOutcome png = load(QStringLiteral("rel.png"));
    const bool pngShown = showsQuadrants(bitmap, 16, 12);
    const LoadOutcome jpg = load(QStringLiteral("rel.jpg"));
    QDir::setCurrent(previous);
    EXPECT_EQ(png, LoadOk);
    EXPECT_TRUE(pngShown);
    EXPECT_EQ(jpg, LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 12, 40));
}

// Every listed file has a decoder, the JPEG spellings among them; the table may know more names.
TEST_F(Loading, DecoderTableCoversTheFileListMask) {
    for (const QString& listed :
         QStringLiteral("*.jpg;*.bmp;*.pcd;*.tif;*.tiff;*.ico;*.koa;*.lbm;*.mng;*.pcx;*.ppm;*.pgm;"
                        "*.pbm;*.png;*.ras;*.tga;*.heic;*.heif;*.hif;*.avif;*.webp;*.gif;*.jxl;"
                        "*.dng;*.cr2;*.cr3;*.nef;*.arw;*.raf;*.orf;*.rw2;*.pef;*.srw")
             .split(QLatin1Char(';'))) {
        EXPECT_TRUE(HasDecoder(QString(listed).replace('*', "Bild").toUpper()))
            << listed.toStdString();
    }
    EXPECT_FALSE(HasDecoder(QStringLiteral("Bild.psd")));
}

} // namespace
} // namespace quill
