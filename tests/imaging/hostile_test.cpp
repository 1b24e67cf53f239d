// Files that crash, hang or exhaust an unguarded FreeImage (and an unguarded libjpeg caller):
// each gives the load failure or no picture, the test process stays alive with its memory
// bounded, and the next ordinary picture loads. Non-JPEG files reach FreeImage only inside the
// decoder process.

#include "DamagedFixtures.h"
#include "LoadingExpect.h"
#include "TestSupport.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QFileInfo>

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <jerror.h>
#include <jpeglib.h>

namespace quill {
namespace {

using namespace test::fixtures;
using namespace std::chrono_literals;

// A progressive JPEG of a small grey picture: with libjpeg's simple progression or with about
// 2,000 valid scans (every AC coefficient of every component refined bit by bit).
QByteArray progressiveJpeg(bool fullChroma, bool thousandsOfScans) {
    return test::fixtures::progressiveJpeg(16, 16, thousandsOfScans ? 10 : 0, fullChroma);
}

class Hostile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        startDecoderService();
        // The hangs are cut off by the time limit; a shorter one keeps the suite quick.
        timeoutBefore = decoderTimeout();
        setDecoderTimeout(6s);
    }
    static void TearDownTestSuite() {
        setDecoderTimeout(timeoutBefore);
        stopDecoderService();
    }

    void SetUp() override {
        DibPtr dib = dibFromImage(quadrants());
        ASSERT_TRUE(saveDib(dib.get(), FIF_PNG, dir.filePath(QStringLiteral("good.png"))));
        peakBefore = peakResidentMiB();
    }

    void TearDown() override {
        // Memory stayed bounded: nothing near the gigabytes the bombs ask for.
        EXPECT_LT(peakResidentMiB() - peakBefore, 300);
    }

    LoadOutcome load(const QString& file) { return LoadPictureFile(bitmap, jpeg, file); }

    // The load failure or no picture, then an ordinary picture still loads.
    void expectContained(const QString& file, bool mustFail) {
        bitmap = quadrants();
        const LoadOutcome outcome = load(file);
        const std::string name = QFileInfo(file).fileName().toStdString();
        if (mustFail) {
            EXPECT_EQ(outcome, LoadFailed) << name;
        } else {
            EXPECT_TRUE(outcome == LoadFailed || (outcome == LoadOk && bitmap.isNull()))
                << name << " gave outcome " << outcome << " with a " << bitmap.width() << "x"
                << bitmap.height() << " picture";
        }
        ASSERT_EQ(load(dir.filePath(QStringLiteral("good.png"))), LoadOk) << "after " << name;
        EXPECT_TRUE(showsQuadrants(bitmap, 16, 12)) << "after " << name;
    }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(writeBytes(file, bytes));
        return file;
    }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
    long peakBefore = 0;
    static inline std::chrono::milliseconds timeoutBefore{};
};

TEST_F(Hostile, SampleFilesAreContained) {
    for (const char* name : {"overflow.ico", "rle-overflow.tga", "segv.ras", "segv.ppm",
                             "overread.pcx", "cut32.lbm", "hang-eof.mng", "hang.ras"}) {
        const QString file = test::hostileFile(QString::fromLatin1(name));
        ASSERT_TRUE(QFileInfo::exists(file)) << name;
        expectContained(file, false);
    }
}

TEST_F(Hostile, SampleBombsAreRefusedBeforeDecoding) {
    for (const char* name : {"bomb-60000.bmp", "bomb-60000.png", "bomb-60000.tif"}) {
        expectContained(test::hostileFile(QString::fromLatin1(name)), true);
    }
    const QImage before = quadrants();
    bitmap = before;
    EXPECT_EQ(load(test::hostileFile(QStringLiteral("bomb-65500.jpg"))), LoadInvalidJpeg);
    EXPECT_EQ(bitmap, before);
}

TEST_F(Hostile, CraftedBombsAreRefused) {
    // 150 bytes of BMP claiming 60000 x 60000 at 24 bits.
    QByteArray bmp = "BM";
    putLe32(bmp, 150);
    putLe32(bmp, 0);
    putLe32(bmp, 54);
    putLe32(bmp, 40);
    putLe32(bmp, 60000);
    putLe32(bmp, 60000);
    putLe16(bmp, 1);
    putLe16(bmp, 24);
    bmp += QByteArray(150 - bmp.size(), '\0');
    ASSERT_EQ(bmp.size(), 150);
    expectContained(write(QStringLiteral("bomb.bmp"), bmp), true);

    // Our own small JPEG with its frame header claiming 65500 x 65500.
    TJPEGImage writer;
    writer.Assign(quadrants(16, 16));
    writer.SaveToFile(dir.filePath(QStringLiteral("small.jpg")));
    QByteArray jpg = readBytes(dir.filePath(QStringLiteral("small.jpg")));
    const qsizetype sof = jpg.indexOf(QByteArray("\xff\xc0", 2));
    ASSERT_GT(sof, 0);
    for (int i : {5, 7}) { // height, then width, after length and precision
        jpg[sof + i] = char(0xff);
        jpg[sof + i + 1] = char(0xdc);
    }
    const QImage before = quadrants();
    bitmap = before;
    EXPECT_EQ(load(write(QStringLiteral("bomb.jpg"), jpg)), LoadInvalidJpeg);
    EXPECT_EQ(bitmap, before);

    // An LBM and an MNG whose headers claim 2^28 + 1 pixels and more.
    QByteArray lbm = lbmBytes();
    lbm[20] = char(0xff); // width 0xff10
    lbm[22] = char(0xff); // height 0xff0c
    expectContained(write(QStringLiteral("bomb.lbm"), lbm), false);
}

TEST_F(Hostile, ProgressiveJpegBombsFailAtOnce) {
    // Thousands of scans: each would cost a pass over the whole picture.
    const QByteArray scans = progressiveJpeg(false, true);
    TJPEGImage direct;
    direct.LoadFromBytes(scans);
    EXPECT_TRUE(direct.ProgressiveEncoding());
    QImage out;
    try {
        direct.AssignTo(out);
        ADD_FAILURE() << "thousands of scans were decoded";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.messageCode(), JERR_BAD_PROGRESSION);
    }
    EXPECT_TRUE(out.isNull());

    // Within the pixel limit, but its coefficients at full chroma would need 1.5 GB.
    const QByteArray huge = withFrameSize(progressiveJpeg(true, false), 16000, 16000);
    direct.LoadFromBytes(huge);
    try {
        direct.AssignTo(out);
        ADD_FAILURE() << "a 16000 x 16000 progressive picture was decoded";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.messageCode(), JERR_NO_BACKING_STORE);
    }

    // Through the load: the JPEG failure, the previous picture kept.
    const QImage before = quadrants();
    for (const auto& [name, bytes] : {std::pair{"scans.jpg", scans}, std::pair{"huge.jpg", huge}}) {
        bitmap = before;
        EXPECT_EQ(load(write(QString::fromLatin1(name), bytes)), LoadInvalidJpeg) << name;
        EXPECT_EQ(bitmap, before) << name;
    }
    // An ordinary progressive picture of the same making decodes.
    bitmap = QImage();
    EXPECT_EQ(load(write(QStringLiteral("fine.jpg"), progressiveJpeg(true, false))), LoadOk);
    EXPECT_EQ(bitmap.size(), QSize(16, 16));
}

TEST_F(Hostile, CraftedCrashersAndHangsAreContained) {
    // An LBM cut to 32 bytes, in the middle of its BMHD.
    expectContained(write(QStringLiteral("cut.lbm"), lbmBytes().left(32)), false);

    // An MNG that ends after its header and one empty chunk.
    DibPtr rgb = dibFromImage(quadrants());
    ASSERT_TRUE(saveDib(rgb.get(), FIF_PNG, dir.filePath(QStringLiteral("frame.png"))));
    const QByteArray mng = mngFromPng(readBytes(dir.filePath(QStringLiteral("frame.png"))), 16, 12);
    expectContained(write(QStringLiteral("cut.mng"), mng.left(8 + 40 + 12 + 4)), false);

    // A run-length TGA whose packets run far past its 4 x 4 pixels.
    QByteArray tga;
    tga.append(char(0));
    tga.append(char(0));
    tga.append(char(10)); // RLE true colour
    tga += QByteArray(9, '\0');
    putLe16(tga, 4);
    putLe16(tga, 4);
    tga.append(char(24));
    tga.append(char(0x20));
    for (int i = 0; i < 400; ++i) {
        tga.append(char(0xff)); // a run of 128 pixels
        tga += QByteArray("\x10\x20\x30", 3);
    }
    expectContained(write(QStringLiteral("overflow.tga"), tga), false);

    // An icon whose bitmap header claims far more than its directory entry and its data.
    QByteArray ico;
    putLe16(ico, 0);
    putLe16(ico, 1);
    putLe16(ico, 1);
    ico.append(char(1)); // 1 x 1 in the directory
    ico.append(char(1));
    ico.append(char(0));
    ico.append(char(0));
    putLe16(ico, 1);
    putLe16(ico, 32);
    putLe32(ico, 40 + 64);
    putLe32(ico, 22);
    putLe32(ico, 40);
    putLe32(ico, 1024); // the bitmap says 1024 x 512 (with the mask)
    putLe32(ico, 1024);
    putLe16(ico, 1);
    putLe16(ico, 32);
    ico += QByteArray(24, '\0');
    ico += QByteArray(64, '\x41');
    expectContained(write(QStringLiteral("overflow.ico"), ico), false);

    // A Sun raster claiming a large run-length picture with a few bytes of data.
    QByteArray ras;
    putBe32(ras, 0x59a66a95);
    putBe32(ras, 4000);
    putBe32(ras, 4000);
    putBe32(ras, 8);
    putBe32(ras, 64);
    putBe32(ras, 2);
    putBe32(ras, 0);
    putBe32(ras, 0);
    for (int i = 0; i < 16; ++i) {
        ras += QByteArray("\x80\xff\x07\x00", 4);
    }
    expectContained(write(QStringLiteral("short.ras"), ras), false);
}

} // namespace
} // namespace quill
