// Files that give no picture are load failures, never empty pictures passed off as success;
// run-length BMPs load as other programs read them; transparency is flattened onto white in the
// formats that have real alpha.

#include "DamagedFixtures.h"
#include "LoadingExpect.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace quill {
namespace {

using namespace test::fixtures;

class DamagedFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }

    QString write(const QString& name, const QByteArray& bytes) const {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(writeBytes(file, bytes)) << name.toStdString();
        return file;
    }

    LoadOutcome load(const QString& file) { return LoadPictureFile(bitmap, jpeg, file); }

    // The picture's colour indices, row by row from the top, as rleColour gives them.
    ::testing::AssertionResult showsIndices(const std::vector<std::vector<int>>& rows) const {
        const int height = int(rows.size());
        const int width = int(rows.front().size());
        if (bitmap.size() != QSize(width, height)) {
            return ::testing::AssertionFailure()
                   << "size " << bitmap.width() << "x" << bitmap.height();
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int want = rows[std::size_t(y)][std::size_t(x)];
                if (bitmap.pixel(x, y) != rleColour(want)) {
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << "," << y << ") is not colour " << want;
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
};

TEST_F(DamagedFiles, AFileItsDecoderGivesNoPictureForIsALoadFailure) {
    DibPtr rgb = dibFromImage(quadrants());
    ASSERT_TRUE(saveDib(rgb.get(), FIF_PNG, dir.filePath(QStringLiteral("real.png"))));
    ASSERT_TRUE(saveDib(rgb.get(), FIF_TIFF, dir.filePath(QStringLiteral("real.tif"))));
    const QByteArray png = readBytes(dir.filePath(QStringLiteral("real.png")));
    const QByteArray tif = readBytes(dir.filePath(QStringLiteral("real.tif")));
    ASSERT_GT(png.size(), 100);
    const QImage before = quadrants(8, 8);
    for (const auto& [name, bytes] :
         {std::pair{"empty.png", QByteArray()}, std::pair{"cut.png", png.left(png.size() / 2)},
          std::pair{"words.tif", QByteArray("nothing but words in here")},
          std::pair{"cut.tif", tif.left(16)}, std::pair{"png.tga", png}, std::pair{"png.pcx", png},
          std::pair{"zero.bmp", QByteArray(200, '\0')}}) {
        bitmap = before;
        EXPECT_EQ(load(write(QString::fromLatin1(name), bytes)), LoadFailed) << name;
        EXPECT_EQ(bitmap, before) << name << ": the previous picture stays";
    }
    bitmap = before;
    EXPECT_EQ(load(dir.filePath(QStringLiteral("missing.png"))), LoadFailed);
    EXPECT_EQ(bitmap, before);
    // A named pipe in a picture's place: refused at once, the decoder is not held up by it.
    const QString fifo = dir.filePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto timeout = decoderTimeout();
    setDecoderTimeout(std::chrono::seconds(3));
    QImage picture;
    const DecoderResult fromPipe = decodeInDecoderProcess(fifo, FIF_PNG, 0, picture);
    setDecoderTimeout(timeout);
    EXPECT_EQ(fromPipe, DecoderResult::NoPicture) << "not a decoder held until its time limit";

    // An extension without any decoder stays an empty picture and no failure.
    bitmap = before;
    EXPECT_EQ(load(write(QStringLiteral("Bild.psd"), png)), LoadOk);
    EXPECT_TRUE(bitmap.isNull());
    // And the good files still load.
    EXPECT_EQ(load(dir.filePath(QStringLiteral("real.tif"))), LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 12));
}

TEST_F(DamagedFiles, AFileFarLargerThanAnyPictureIsNotReadWhole) {
    // 3 GB, sparse, behind the headers of a small Targa and a version-5 BMP: formats the decoder
    // reads whole before the library sees them. Read, they would hold it for many seconds.
    const QByteArray tga = bytesOf({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 16, 0, 24, 0x20});
    const QByteArray bmp = rleBmp(16, 16, 8, bytesOf({0, 1}), 16, 124);
    for (const auto& [name, bytes, format] :
         {std::tuple{"huge.tga", tga, FIF_TARGA}, std::tuple{"huge.bmp", bmp, FIF_BMP}}) {
        const QString file = write(QString::fromLatin1(name), bytes);
        ASSERT_EQ(::truncate(QFile::encodeName(file).constData(), off_t{3} << 30), 0);
        QImage picture;
        EXPECT_EQ(decodeInDecoderProcess(file, format, 0, picture), DecoderResult::NoPicture)
            << name;
        bitmap = quadrants();
        EXPECT_EQ(load(file), LoadFailed) << name;
    }
}

TEST_F(DamagedFiles, RunLengthBmpsLoadWithTheRightPixels) {
    // 4 x 3, bottom row first: a run, a literal run, then two runs; each row ended by an
    // end-of-line, the last one right before the end-of-bitmap as most encoders write it.
    const QByteArray rows = bytesOf({4, 1, 0, 0,             // bottom: 1 1 1 1
                                     0, 4, 2, 3, 4, 5, 0, 0, // middle: literal 2 3 4 5
                                     2, 6, 2, 7, 0, 0});     // top: 6 6 7 7
    const std::vector<std::vector<int>> upright{{6, 6, 7, 7}, {2, 3, 4, 5}, {1, 1, 1, 1}};
    const QByteArray endOfBitmap = bytesOf({0, 1});
    for (const auto& [name, bytes] : {
             std::pair{"eol-eob.bmp", rleBmp(4, 3, 8, rows + endOfBitmap)},
             std::pair{"eob.bmp", rleBmp(4, 3, 8, rows.left(rows.size() - 2) + endOfBitmap)},
             std::pair{"no-end.bmp", rleBmp(4, 3, 8, rows)},
             std::pair{"v5.bmp", rleBmp(4, 3, 8, rows + endOfBitmap, 16, 124)},
         }) {
        bitmap = QImage();
        ASSERT_EQ(load(write(QString::fromLatin1(name), bytes)), LoadOk) << name;
        EXPECT_TRUE(showsIndices(upright)) << name;
    }

    // Top-down: the same runs give the picture upside down.
    ASSERT_EQ(load(write(QStringLiteral("top-down.bmp"), rleBmp(4, -3, 8, rows + endOfBitmap))),
              LoadOk);
    EXPECT_TRUE(showsIndices({{1, 1, 1, 1}, {2, 3, 4, 5}, {6, 6, 7, 7}}));

    // RLE4, 5 x 2: a run alternating two nibbles; a literal of three nibbles (padded to a word)
    // and a run that goes past the row's end, which is cut there.
    const QByteArray nibbles = bytesOf({5, 0x12, 0, 0,                   // bottom: 1 2 1 2 1
                                        0, 3, 0x34, 0x50, 4, 0x66, 0, 0, // top: 3 4 5 6 6
                                        0, 1});
    ASSERT_EQ(load(write(QStringLiteral("rle4.bmp"), rleBmp(5, 2, 4, nibbles))), LoadOk);
    EXPECT_TRUE(showsIndices({{3, 4, 5, 6, 6}, {1, 2, 1, 2, 1}}));

    // A delta skips pixels, and an early end leaves the rest: those take colour 0.
    const QByteArray delta = bytesOf({1, 9, 0, 2, 2, 1, 1, 8, 0, 1});
    ASSERT_EQ(load(write(QStringLiteral("delta.bmp"), rleBmp(4, 3, 8, delta))), LoadOk);
    EXPECT_TRUE(showsIndices({{0, 0, 0, 0}, {0, 0, 0, 8}, {9, 0, 0, 0}}));

    // What FreeImage's own run-length writer makes loads too.
    DibPtr palette = paletteDib(8);
    ASSERT_TRUE(
        saveDib(palette.get(), FIF_BMP, dir.filePath(QStringLiteral("fi.bmp")), BMP_SAVE_RLE));
    ASSERT_EQ(load(dir.filePath(QStringLiteral("fi.bmp"))), LoadOk);
    EXPECT_TRUE(showsQuadrants(bitmap, 16, 12));

    // Runs that stop before the last row are a damaged file.
    const QImage before = quadrants();
    bitmap = before;
    EXPECT_EQ(load(write(QStringLiteral("short.bmp"), rleBmp(4, 3, 8, bytesOf({4, 1, 0, 0})))),
              LoadFailed);
    EXPECT_EQ(bitmap, before);
}

TEST_F(DamagedFiles, FullyTransparentPicturesTurnWhiteWhereAlphaIsReal) {
    DibPtr clear(
        FreeImage_Allocate(6, 4, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    for (int y = 0; y < 4; ++y) {
        BYTE* row = FreeImage_GetScanLine(clear.get(), y);
        for (int x = 0; x < 6; ++x) {
            row[4 * x + FI_RGBA_RED] = 120;
            row[4 * x + FI_RGBA_GREEN] = 20;
            row[4 * x + FI_RGBA_BLUE] = 40;
            row[4 * x + FI_RGBA_ALPHA] = 0;
        }
    }
    for (const auto& [name, format] :
         {std::pair{"clear.png", FIF_PNG}, std::pair{"clear.tif", FIF_TIFF}}) {
        ASSERT_TRUE(saveDib(clear.get(), format, dir.filePath(QString::fromLatin1(name)))) << name;
        ASSERT_EQ(load(dir.filePath(QString::fromLatin1(name))), LoadOk) << name;
        ASSERT_EQ(bitmap.size(), QSize(6, 4)) << name;
        EXPECT_EQ(bitmap.pixel(0, 0), qRgb(255, 255, 255)) << name;
        EXPECT_EQ(bitmap.pixel(5, 3), qRgb(255, 255, 255)) << name;
    }
    // In a 32-bit BMP the fourth byte is commonly left at zero: the colours stay.
    ASSERT_TRUE(saveDib(clear.get(), FIF_BMP, dir.filePath(QStringLiteral("clear.bmp"))));
    ASSERT_EQ(load(dir.filePath(QStringLiteral("clear.bmp"))), LoadOk);
    EXPECT_EQ(bitmap.pixel(2, 2), qRgb(120, 20, 40));
}

} // namespace
} // namespace quill
