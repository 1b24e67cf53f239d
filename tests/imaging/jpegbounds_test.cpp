// A JPEG input costs bounded time and memory whatever it claims or whatever stands in its place,
// and a JPEG cut short is decoded as far as it goes but known to be incomplete.

#include "DamagedFixtures.h"
#include "LoadingExpect.h"
#include "ProgramJpeg.h"
#include "decoder/JpegLimits.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"
#include "platform/RegularFile.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

#include <jerror.h>

namespace quill {
namespace {

using namespace test::fixtures;
using test::detailedPicture;
using test::programJpeg;
using namespace std::chrono_literals;

class JpegBounds : public ::testing::Test {
protected:
    void SetUp() override { peakBefore = peakResidentMiB(); }

    QString write(const QString& name, const QByteArray& bytes) const {
        const QString file = dir.filePath(name);
        EXPECT_TRUE(writeBytes(file, bytes)) << name.toStdString();
        return file;
    }

    LoadResult load(const QString& file) { return LoadPictureFile(bitmap, jpeg, file); }

    long grownMiB() const { return peakResidentMiB() - peakBefore; }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
    long peakBefore = 0;
};

TEST_F(JpegBounds, AProgressiveHeaderBombIsRefusedBeforeAnyScan) {
    const QByteArray bomb = progressiveHeaderBomb();
    ASSERT_LT(bomb.size(), 64 * 1024);
    ASSERT_EQ(jpeg_limits::countScans(asBytes(bomb)), 946);

    TJPEGImage direct;
    direct.LoadFromBytes(bomb);
    ASSERT_EQ(direct.Width(), 16000);
    QImage out;
    try {
        direct.AssignTo(out);
        ADD_FAILURE() << "16000 x 16000 pixels in 946 scans were decoded";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.messageCode(), JERR_BAD_PROGRESSION);
    }
    EXPECT_TRUE(out.isNull());

    const QImage before = quadrants();
    bitmap = before;
    EXPECT_EQ(load(write(QStringLiteral("bomb.jpg"), bomb)), LoadInvalidJpeg);
    EXPECT_EQ(bitmap, before);
    // Within the scans budget, but its coefficients alone would take 768 MB, the picture as much
    // again: refused when the decoder's buffers are set up, before any scan.
    const QByteArray tenScans = progressiveJpeg(16000, 16000, 0);
    ASSERT_EQ(jpeg_limits::countScans(asBytes(tenScans)), 10);
    EXPECT_EQ(load(write(QStringLiteral("ten.jpg"), tenScans)), LoadInvalidJpeg);
    EXPECT_EQ(bitmap, before);
    EXPECT_LT(grownMiB(), 100) << "nothing of the gigabytes they would take was allocated";
}

TEST_F(JpegBounds, ScanCountingStepsOverSegmentsAndEntropyData) {
    const QByteArray progressive = programJpeg(detailedPicture(64, 48), true);
    const QByteArray baseline = programJpeg(detailedPicture(64, 48), false);
    EXPECT_EQ(jpeg_limits::countScans(asBytes(progressive)), 10); // libjpeg's simple progression
    EXPECT_EQ(jpeg_limits::countScans(asBytes(baseline)), 1);
    // A start-of-scan code inside a comment, and a second picture after the end, are no scans.
    QByteArray commented = baseline;
    commented.insert(2, QByteArray("\xff\xfe\x00\x08\xff\xda\x00\x02", 8));
    EXPECT_EQ(jpeg_limits::countScans(asBytes(commented + baseline)), 1);
    EXPECT_EQ(jpeg_limits::countScans(asBytes(QByteArray("no jpeg"))), 0);
}

TEST_F(JpegBounds, AFiftyMegapixelProgressiveFileIsWithinTheBudget) {
    // libjpeg's simple progression at 8688 x 5792: its data is that of a small picture, so the
    // rest comes out grey, but it is decoded, not refused.
    const QByteArray camera = progressiveJpeg(8688, 5792, 0);
    ASSERT_EQ(jpeg_limits::countScans(asBytes(camera)), 10);
    ASSERT_EQ(load(write(QStringLiteral("camera.jpg"), camera)), LoadOk);
    EXPECT_EQ(bitmap.size(), QSize(8688, 5792));
}

TEST_F(JpegBounds, AnOversizedFileIsRefusedUnread) {
    const QString file =
        write(QStringLiteral("huge.jpg"), programJpeg(detailedPicture(64, 48), false));
    // 3 GB, sparse: nothing of it is on the disk, but read whole it would fill the memory.
    ASSERT_EQ(::truncate(QFile::encodeName(file).constData(), off_t{3} << 30), 0);
    const QImage before = quadrants();
    bitmap = before;
    EXPECT_EQ(load(file), LoadInvalidJpeg);
    EXPECT_EQ(bitmap, before);
    EXPECT_LT(grownMiB(), 100);

    // Up to the cap a file is read; beyond it, not even a file that grows while it is read.
    QByteArray bytes;
    ASSERT_EQ(::truncate(QFile::encodeName(file).constData(), 1000), 0);
    EXPECT_EQ(readRegularFile(file, bytes, 1000), RegularFileRead::Read);
    EXPECT_EQ(bytes.size(), 1000);
    EXPECT_EQ(readRegularFile(file, bytes, 999), RegularFileRead::TooLarge);
}

TEST_F(JpegBounds, APipeInAJpegsPlaceIsRefusedWithoutWaiting) {
    const QString fifo = dir.filePath(QStringLiteral("pipe.jpg"));
    const QByteArray name = QFile::encodeName(fifo);
    ASSERT_EQ(::mkfifo(name.constData(), 0600), 0);
    const QImage before = quadrants();
    bitmap = before;
    std::future<LoadOutcome> outcome =
        std::async(std::launch::async, [&]() -> LoadOutcome { return load(fifo); });
    if (outcome.wait_for(20s) != std::future_status::ready) {
        ADD_FAILURE() << "the load waits for a writer";
        // A writer that goes at once lets the blocked open (and the test) end.
        const int writer = ::open(name.constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            ::close(writer);
        }
    }
    EXPECT_EQ(outcome.get(), LoadInvalidJpeg);
    EXPECT_EQ(bitmap, before);
}

TEST_F(JpegBounds, ACutShortJpegDecodesAsFarAsItGoesAndSaysSo) {
    const QImage picture = detailedPicture(64, 48);
    // Arithmetic coding fills data that runs out with zeros without a word from libjpeg.
    const struct {
        const char* kind;
        QByteArray whole;
    } files[] = {
        {"baseline", programJpeg(picture, false)},
        {"progressive", programJpeg(picture, true)},
        {"arithmetic", test::photos::encodeJpeg(picture, {.arithmetic = true})},
        {"arithmetic with restarts",
         test::photos::encodeJpeg(picture, {.restartRows = 1, .arithmetic = true})},
        {"arithmetic progressive",
         test::photos::encodeJpeg(
             picture, {.progression = test::photos::Progression::Simple, .arithmetic = true})},
    };
    for (const auto& [kind, whole] : files) {
        const LoadResult first = load(write(QStringLiteral("whole.jpg"), whole));
        ASSERT_EQ(first.outcome, LoadOk) << kind;
        EXPECT_FALSE(first.damaged) << kind;
        const QImage complete = bitmap;

        // Cut in the middle of its data: the picture comes out at its size, marked incomplete.
        const QString cut = write(QStringLiteral("cut.jpg"), whole.left(whole.size() * 6 / 10));
        const LoadResult cutShort = load(cut);
        ASSERT_EQ(cutShort.outcome, LoadOk) << kind;
        EXPECT_EQ(bitmap.size(), QSize(64, 48)) << kind;
        EXPECT_TRUE(cutShort.damaged) << kind;

        // Only the end marker missing: every pixel is there.
        const QString noEnd = write(QStringLiteral("noend.jpg"), whole.left(whole.size() - 2));
        const LoadResult withoutEnd = load(noEnd);
        ASSERT_EQ(withoutEnd.outcome, LoadOk) << kind;
        EXPECT_FALSE(withoutEnd.damaged) << kind;
        EXPECT_EQ(bitmap, complete) << kind;
    }
    // A progressive file that ends between two scans misses the last refinement.
    const QByteArray progressive = programJpeg(picture, true);
    const qsizetype lastScan = progressive.lastIndexOf(QByteArray("\xff\xda", 2));
    ASSERT_GT(lastScan, 0);
    const QString early = write(QStringLiteral("early.jpg"), progressive.left(lastScan));
    const LoadResult endsEarly = load(early);
    ASSERT_EQ(endsEarly.outcome, LoadOk);
    EXPECT_TRUE(endsEarly.damaged);

    // The mark belongs to that file only: a picture of another format loaded after it has none.
    DibPtr rgb = dibFromImage(quadrants());
    ASSERT_TRUE(saveDib(rgb.get(), FIF_PNG, dir.filePath(QStringLiteral("next.png"))));
    startDecoderService();
    const LoadResult next = load(dir.filePath(QStringLiteral("next.png")));
    stopDecoderService();
    ASSERT_EQ(next.outcome, LoadOk);
    EXPECT_FALSE(next.damaged);
}

// A few hundred bytes of arithmetic-coded data that claim 44848 x 5888 pixels: decoding them
// fills gigabytes of coefficients' worth of work with zeros. That happens in the decoder process,
// within its time limit, never in this one; and since the data runs out long before the picture
// ends, a decode that finishes in time says the picture is damaged.
TEST_F(JpegBounds, AHugeArithmeticCodedClaimIsBoundedByTheDecodersLimits) {
    QImage flat(16, 16, QImage::Format_RGB888);
    flat.fill(Qt::gray);
    QByteArray claim = test::photos::encodeJpeg(flat, {.arithmetic = true});
    const qsizetype frame = claim.indexOf(QByteArray("\xff\xc9", 2)); // arithmetic baseline
    ASSERT_GT(frame, 0);
    // Length, precision, then height and width.
    claim[frame + 5] = char(5888 >> 8);
    claim[frame + 6] = char(5888 & 0xff);
    claim[frame + 7] = char(44848 >> 8);
    claim[frame + 8] = char(44848 & 0xff);
    ASSERT_LT(claim.size(), 400);

    const auto limitBefore = decoderTimeout();
    setDecoderTimeout(1500ms);
    const QImage before = quadrants();
    bitmap = before;
    const LoadResult result = load(write(QStringLiteral("claim.jpg"), claim));
    setDecoderTimeout(limitBefore);
    // How far the decoder gets within the limit depends on the machine; either way nothing is
    // taken for a whole picture.
    if (result.outcome == LoadOk) {
        EXPECT_TRUE(result.damaged);
        EXPECT_EQ(bitmap.size(), QSize(44848, 5888));
    } else {
        EXPECT_EQ(result.outcome, LoadInvalidJpeg);
        EXPECT_EQ(bitmap, before);
        EXPECT_LT(grownMiB(), 100) << "the 790 MB picture was not made here";
    }
}

} // namespace
} // namespace quill
