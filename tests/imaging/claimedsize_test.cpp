// Files too short for the picture their header claims, even at their format's best compression,
// give no picture; the most compressed files that writers really make still load. Every file is
// one colour in the longest runs its format allows, so each sits close to its format's bound.

#include "DamagedFixtures.h"
#include "LoadingExpect.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "decoder/PictureHeaders.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quill {
namespace {

using namespace test::fixtures;

const QRgb kInk = qRgb(10, 200, 30);

// 8-bit PCX with its palette at the end; every row in runs of 63 (width a multiple of 63).
QByteArray runLengthPcx(int width, int claimedHeight, int codedRows) {
    QByteArray out = test::formats::pcxHeader(8, 1, width, claimedHeight, width);
    for (int i = 0; i < width / 63 * codedRows; ++i) {
        out.append(char(0xC0 | 63));
        out.append(char(1));
    }
    out.append(char(12));
    QByteArray palette(768, '\0');
    palette[3] = char(qRed(kInk));
    palette[4] = char(qGreen(kInk));
    palette[5] = char(qBlue(kInk));
    return out + palette;
}

// RLE8 or RLE4 BMP, two colours: rows in runs of 255 and an end-of-line code, the last row
// closed by the end-of-bitmap code.
QByteArray runLengthBmp(int bitsPerPixel, int width, int claimedHeight, int codedRows) {
    QByteArray data;
    for (int row = 0; row < codedRows; ++row) {
        for (int left = width; left > 0; left -= 255) {
            data.append(char(std::min(left, 255)));
            data.append(char(bitsPerPixel == 8 ? 0x01 : 0x11));
        }
        data.append(char(0));
        data.append(char(row + 1 < codedRows ? 0 : 1));
    }
    return rleBmp(width, claimedHeight, bitsPerPixel, data, 2, 40, {qRgb(0, 0, 0), kInk});
}

// One-plane ILBM, two colours: each row of 1024 pixels (128 bytes) is one ByteRun1 code.
QByteArray byteRunIlbm(int claimedHeight, int codedRows) {
    const int width = 1024;
    QByteArray cmap(3, '\0');
    cmap.append(char(qRed(kInk)));
    cmap.append(char(qGreen(kInk)));
    cmap.append(char(qBlue(kInk)));
    QByteArray body;
    for (int row = 0; row < codedRows; ++row) {
        body.append(char(-127)); // the next byte 128 times
        body.append(char(0xff));
    }
    using namespace test::formats;
    return iffForm("ILBM" + iffChunk("BMHD", ilbmHeader(width, claimedHeight, 1, 1)) +
                   iffChunk("CMAP", cmap) + iffChunk("BODY", body));
}

class ClaimedSize : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(writeBytes(file, bytes));
        return file;
    }

    // Loads and checks size and colour; the result explains a mismatch.
    ::testing::AssertionResult loadsInk(const QString& file, QSize size) {
        bitmap = QImage();
        const LoadOutcome outcome = LoadPictureFile(bitmap, jpeg, file);
        if (outcome != LoadOk || bitmap.size() != size) {
            return ::testing::AssertionFailure()
                   << "outcome " << outcome << " with a " << bitmap.width() << "x"
                   << bitmap.height() << " picture";
        }
        const QRgb centre = bitmap.pixel(size.width() / 2, size.height() / 2);
        if (!closeTo(centre, kInk, 0)) {
            return ::testing::AssertionFailure()
                   << "centre " << qRed(centre) << "," << qGreen(centre) << "," << qBlue(centre);
        }
        return ::testing::AssertionSuccess();
    }

    // The load failure or no picture, never a picture made up beyond the file's end.
    ::testing::AssertionResult givesNoPicture(const QString& file) {
        bitmap = quadrants();
        const LoadOutcome outcome = LoadPictureFile(bitmap, jpeg, file);
        if (outcome == LoadFailed || (outcome == LoadOk && bitmap.isNull())) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "outcome " << outcome << " with a " << bitmap.width() << "x" << bitmap.height()
               << " picture";
    }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
};

TEST_F(ClaimedSize, TheMostCompressedFilesOfEachFormatLoad) {
    EXPECT_TRUE(loadsInk(write("runs.pcx", runLengthPcx(630, 1000, 1000)), QSize(630, 1000)));
    EXPECT_TRUE(loadsInk(write("rle8.bmp", runLengthBmp(8, 1000, 100, 100)), QSize(1000, 100)));
    EXPECT_TRUE(loadsInk(write("rle4.bmp", runLengthBmp(4, 1000, 100, 100)), QSize(1000, 100)));
    EXPECT_TRUE(loadsInk(write("byterun.lbm", byteRunIlbm(1000, 1000)), QSize(1024, 1000)));

    QImage ink(1000, 100, QImage::Format_RGB888);
    ink.fill(kInk);
    DibPtr dib = dibFromImage(ink);
    const QString tga = dir.filePath(QStringLiteral("rle.tga"));
    ASSERT_TRUE(saveDib(dib.get(), FIF_TARGA, tga, TARGA_SAVE_RLE));
    ASSERT_LT(QFileInfo(tga).size(), 10000) << "not run-length coded";
    EXPECT_TRUE(loadsInk(tga, QSize(1000, 100)));
}

TEST_F(ClaimedSize, FilesClaimingMoreThanTheyHoldGiveNoPicture) {
    // The same files, their headers claiming many more rows than were coded.
    EXPECT_TRUE(givesNoPicture(write("runs.pcx", runLengthPcx(630, 60000, 1000))));
    EXPECT_TRUE(givesNoPicture(write("rle8.bmp", runLengthBmp(8, 1000, 60000, 100))));
    EXPECT_TRUE(givesNoPicture(write("rle4.bmp", runLengthBmp(4, 1000, 60000, 100))));
    EXPECT_TRUE(givesNoPicture(write("byterun.lbm", byteRunIlbm(60000, 1000))));

    // A PCX whose bytes per line cannot hold a row of its width, however long the file.
    QByteArray narrow = runLengthPcx(630, 100, 100);
    narrow[66] = char(62);
    narrow[67] = 0;
    EXPECT_TRUE(givesNoPicture(write("narrow.pcx", narrow)));
}

TEST(ClaimedSizeBounds, EachFormatsBestCompressionIsTheLimit) {
    // PCX: 630 x 1000 bytes need 10,000 runs of 63, two bytes each, after the 128-byte header.
    const QByteArray pcx = runLengthPcx(630, 1000, 0);
    const auto* head = reinterpret_cast<const std::uint8_t*>(pcx.constData());
    EXPECT_TRUE(pictures::pcxHoldsClaimedPicture(head, 128, 128 + 20000));
    EXPECT_FALSE(pictures::pcxHoldsClaimedPicture(head, 128, 128 + 19999));
    EXPECT_FALSE(pictures::pcxHoldsClaimedPicture(head, 127, 1 << 20)) << "no whole header";

    // BMP RLE8 and RLE4: 1000 x 100 pixels need 393 runs of up to 255, after both headers.
    for (int bits : {8, 4}) {
        const QByteArray bmp = runLengthBmp(bits, 1000, 100, 0);
        const auto* bmpHead = reinterpret_cast<const std::uint8_t*>(bmp.constData());
        EXPECT_TRUE(pictures::bmpHoldsClaimedPicture(bmpHead, 54, 54 + 786)) << bits;
        EXPECT_FALSE(pictures::bmpHoldsClaimedPicture(bmpHead, 54, 54 + 785)) << bits;
    }
    // Top-down (negative height) counts the same; uncompressed BMPs are left to their loader.
    QByteArray topDown = runLengthBmp(8, 1000, -100, 0);
    EXPECT_FALSE(pictures::bmpHoldsClaimedPicture(
        reinterpret_cast<const std::uint8_t*>(topDown.constData()), 54, 54 + 785));
    QByteArray plain = runLengthBmp(8, 1000, 100, 0);
    plain[30] = 0;
    EXPECT_TRUE(pictures::bmpHoldsClaimedPicture(
        reinterpret_cast<const std::uint8_t*>(plain.constData()), 54, 54));

    // ILBM ByteRun1: 128 bytes per two-byte code, so one code per row of 1024 pixels.
    QByteArray lbm = byteRunIlbm(1000, 1000);
    const auto* whole = reinterpret_cast<const std::uint8_t*>(lbm.constData());
    EXPECT_TRUE(pictures::readIlbmSize(whole, std::size_t(lbm.size())));
    lbm = byteRunIlbm(1001, 1000);
    whole = reinterpret_cast<const std::uint8_t*>(lbm.constData());
    EXPECT_FALSE(pictures::readIlbmSize(whole, std::size_t(lbm.size())));
}

} // namespace
} // namespace quill
