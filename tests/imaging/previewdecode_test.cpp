// JPEG previews decoded at the size they are shown: the smallest DCT scale that still covers
// the shown size, at an eighth only the DC scans of a progressive file and the same picture, the
// full upright size reported from the header, the progressive flag taken from the header, the
// same refusals as a full decode, and unchanged bytes not decoded twice.

#include "LoadingFixtures.h"
#include "PhotoFixtures.h"
#include "decoder/JpegLimits.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace quill {
namespace {

using test::photos::exifWithOrientation;

QImage flat(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

// Top half red, bottom half blue: tells an upright picture from a turned one.
QImage redOverBlue(int width, int height) {
    QImage image = flat(width, height, Qt::blue);
    for (int y = 0; y < height / 2; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = 255;
            row[3 * x + 1] = 0;
            row[3 * x + 2] = 0;
        }
    }
    return image;
}

class PreviewDecode : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.filePath(name); }

    QString save(const QString& name, const QImage& image, bool progressive = false) {
        TJPEGImage writer;
        writer.SetProgressiveEncoding(progressive);
        writer.Assign(image);
        writer.SaveToFile(path(name));
        return path(name);
    }

    QTemporaryDir dir;
    TJPEGImage shared;
    QImage working;
    QSize full;
};

TEST_F(PreviewDecode, TheSmallestScaleStillTwiceTheShownSize) {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(save(QStringLiteral("a.jpg"), flat(1600, 1200, Qt::green)));
    // Shown at 520 x 390: twice that needs 6/8 (1200 x 900); 5/8 would give 1000 wide.
    EXPECT_EQ(jpeg.DecodeReduced(QSize(1040, 780)).size(), QSize(1200, 900));
    EXPECT_EQ(jpeg.DecodeReduced(QSize(100, 75)).size(), QSize(200, 150)) << "1/8";
    EXPECT_EQ(jpeg.DecodeReduced(QSize(1000, 750)).size(), QSize(1000, 750)) << "5/8 exactly";
    EXPECT_EQ(jpeg.DecodeReduced(QSize(5000, 10)).size(), QSize(1600, 1200)) << "no enlarging";
    // A side libjpeg rounds up: 1001 x 3 at 1/8 is 126 x 1.
    TJPEGImage odd;
    odd.LoadFromFile(save(QStringLiteral("odd.jpg"), flat(1001, 3, Qt::green)));
    EXPECT_EQ(odd.DecodeReduced(QSize(126, 1)).size(), QSize(126, 1));
    EXPECT_EQ(odd.DecodeReduced(QSize(127, 1)).size(), QSize(251, 1));

    // The reduced decode is the same picture, and leaves the object's own decode at full size.
    const QImage reduced = jpeg.DecodeReduced(QSize(100, 75)).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(test::fixtures::closeTo(reduced.pixel(100, 75), qRgb(0, 255, 0), 6));
    QImage whole;
    jpeg.AssignTo(whole);
    EXPECT_EQ(whole.size(), QSize(1600, 1200));
}

TEST_F(PreviewDecode, ShowsTheFullUprightSizeAndTakesTheProgressiveFlagFromTheHeader) {
    const QString progressive = save(QStringLiteral("p.jpg"), flat(2000, 1000, Qt::red), true);
    const QString baseline = save(QStringLiteral("b.jpg"), flat(800, 600, Qt::red), false);

    ASSERT_EQ(LoadPreviewFile(working, shared, progressive, 520, full), LoadOk);
    EXPECT_EQ(full, QSize(2000, 1000));
    EXPECT_EQ(working.size(), QSize(750, 375)) << "3/8: at least 520 x 260";
    EXPECT_TRUE(shared.ProgressiveEncoding());
    // The shared object holds the file, but none of its bytes: those only the decoder reads.
    EXPECT_EQ(shared.Width(), 2000);
    EXPECT_TRUE(shared.Data().Data.isEmpty());
    QImage whole;
    shared.AssignTo(whole);
    EXPECT_EQ(whole.size(), QSize(2000, 1000));

    ASSERT_EQ(LoadPreviewFile(working, shared, baseline, 520, full), LoadOk);
    EXPECT_EQ(full, QSize(800, 600));
    EXPECT_EQ(working.size(), QSize(600, 450)) << "6/8: at least 520 x 390";
    EXPECT_FALSE(shared.ProgressiveEncoding());

    // A photo stored on its side with an EXIF orientation: the display shows it upright.
    const QString turned = path(QStringLiteral("hoch.jpg"));
    ASSERT_TRUE(
        test::photos::writeJpeg(turned, redOverBlue(1600, 1200), {.app1 = exifWithOrientation(6)}));
    ASSERT_EQ(LoadPreviewFile(working, shared, turned, 520, full), LoadOk);
    EXPECT_EQ(full, QSize(1200, 1600));
    EXPECT_EQ(working.size(), QSize(450, 600)) << "shown 390 x 520, 3/8 upright";
    QImage upright;
    ASSERT_EQ(LoadPictureFile(upright, shared, turned), LoadOk);
    EXPECT_EQ(upright.size(), QSize(1200, 1600));
    // Same corner colours as the full decode: turned the same way.
    const QImage small = working.convertToFormat(QImage::Format_RGB32);
    const QImage big = upright.convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(test::fixtures::closeTo(small.pixel(10, 10), big.pixel(10, 10), 8));
    EXPECT_TRUE(test::fixtures::closeTo(small.pixel(439, 10), big.pixel(1189, 10), 8));
}

// Smooth gradients with noise everywhere, so that every scan carries data.
QImage noisy(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    std::uint32_t seed = 7;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < 3 * width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = uchar((x / 3 + y + x % 3 * 60 + int(seed >> 27)) & 0xff);
        }
    }
    return image;
}

TEST_F(PreviewDecode, AnEighthOfAProgressiveFileFromItsDcScansIsTheDecodeOfAllScans) {
    using test::photos::Progression;
    struct Case {
        const char* name;
        Progression progression;
        bool grey;
        unsigned restartRows;
        int keptPercent; // of the file's bytes; below 100 the file breaks off
        int acScans;     // of the luminance (full resolution) left out; -1: none, decoded whole
    };
    const Case cases[] = {
        {"simple", Progression::Simple, false, 0, 100, 4},
        {"simple grey", Progression::Simple, true, 0, 100, 4},
        {"unrefined", Progression::WithoutRefinement, false, 0, 100, 2},
        {"simple restarts", Progression::Simple, false, 1, 100, 4},
        {"unrefined grey restarts", Progression::WithoutRefinement, true, 2, 100, 2},
        {"simple cut", Progression::Simple, false, 0, 70, -1},
        {"unrefined cut", Progression::WithoutRefinement, false, 0, 60, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(QStringLiteral("p.jpg"));
        ASSERT_TRUE(test::photos::writeJpeg(file, noisy(517, 389),
                                            {.grey = c.grey,
                                             .progression = c.progression,
                                             .restartRows = c.restartRows,
                                             .quality = 92}));
        QByteArray bytes = test::fixtures::readBytes(file);
        bytes.truncate(bytes.size() * c.keptPercent / 100);
        const auto dcOnly = jpeg_limits::leaveOutAcData(test::fixtures::asBytes(bytes), {1});
        // A file that breaks off is decoded whole: how libjpeg smooths it depends on that.
        ASSERT_EQ(dcOnly.has_value(), c.acScans >= 0);
        if (dcOnly) {
            EXPECT_EQ(std::count(dcOnly->emptied.begin(), dcOnly->emptied.end(), true), c.acScans);
            EXPECT_EQ(qsizetype(dcOnly->emptied.size()),
                      jpeg_limits::countScans(test::fixtures::asBytes(bytes)));
            EXPECT_LT(qsizetype(dcOnly->stream.size()), bytes.size() / 2)
                << dcOnly->stream.size() << " of " << bytes.size();
        }
        TJPEGImage jpeg;
        jpeg.LoadFromBytes(bytes);
        bool dcIncomplete = true;
        bool allIncomplete = false;
        const QImage dc = jpeg.DecodeReduced(QSize(1, 1), &dcIncomplete);
        const QImage all =
            jpeg.DecodeReduced(QSize(1, 1), &allIncomplete, TJPEGImage::ScanUse::All);
        EXPECT_EQ(dc.size(), QSize(65, 49));
        EXPECT_TRUE(dc == all) << "byte for byte, palette included";
        EXPECT_EQ(dcIncomplete, allIncomplete);
        EXPECT_EQ(dcIncomplete, c.keptPercent < 100);
    }
    // A baseline file has no scans to leave out.
    ASSERT_TRUE(test::photos::writeJpeg(path(QStringLiteral("b.jpg")), noisy(64, 64)));
    EXPECT_FALSE(jpeg_limits::leaveOutAcData(
        test::fixtures::asBytes(test::fixtures::readBytes(path("b.jpg"))), {1}));
}

TEST_F(PreviewDecode, FailuresAreTheFullDecodesAndLeaveThePictureAlone) {
    const QString good = save(QStringLiteral("gut.jpg"), flat(1600, 1200, Qt::blue));
    ASSERT_EQ(LoadPreviewFile(working, shared, good, 520, full), LoadOk);
    const QImage before = working;

    QFile broken(path(QStringLiteral("kaputt.jpg")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\xff\xd8\xff\xe0 not really");
    broken.close();
    QSize untouched(7, 7);
    EXPECT_EQ(LoadPreviewFile(working, shared, path(QStringLiteral("kaputt.jpg")), 520, untouched),
              LoadInvalidJpeg);
    EXPECT_EQ(LoadPreviewFile(working, shared, path(QStringLiteral("fehlt.jpg")), 520, untouched),
              LoadInvalidJpeg);
    EXPECT_EQ(untouched, QSize(7, 7));
    EXPECT_EQ(working.cacheKey(), before.cacheKey());

    // Other formats decode as always, at full size.
    QImage png = flat(300, 200, Qt::red);
    ASSERT_TRUE(png.save(path(QStringLiteral("c.png"))));
    ASSERT_EQ(LoadPreviewFile(working, shared, path(QStringLiteral("c.png")), 520, full), LoadOk);
    EXPECT_EQ(full, QSize(300, 200));
    EXPECT_EQ(working.size(), QSize(300, 200));
    // An empty path: an empty picture, no message.
    ASSERT_EQ(LoadPreviewFile(working, shared, QString(), 520, full), LoadOk);
    EXPECT_EQ(full, QSize(0, 0));
}

TEST_F(PreviewDecode, UnchangedBytesAreNotDecodedAgainChangedOnesAre) {
    PreviewMemo memo;
    const QString file = save(QStringLiteral("a.jpg"), flat(1600, 1200, Qt::red));
    ASSERT_EQ(LoadPreviewFile(working, shared, file, 520, full, &memo), LoadOk);
    const qint64 first = working.cacheKey();
    shared.SetProgressiveEncoding(true); // as a progressive file read meanwhile would
    ASSERT_EQ(LoadPreviewFile(working, shared, file, 520, full, &memo), LoadOk);
    EXPECT_EQ(working.cacheKey(), first) << "the same picture, not a new decode";
    EXPECT_FALSE(shared.ProgressiveEncoding()) << "the header is still read";

    // The same name and size, other contents: decoded anew.
    save(QStringLiteral("a.jpg"), flat(1600, 1200, Qt::blue));
    ASSERT_EQ(LoadPreviewFile(working, shared, file, 520, full, &memo), LoadOk);
    EXPECT_NE(working.cacheKey(), first);
    EXPECT_TRUE(test::fixtures::closeTo(working.convertToFormat(QImage::Format_RGB32).pixel(50, 50),
                                        qRgb(0, 0, 255), 6));
    // Another preview limit asks for another size.
    ASSERT_EQ(LoadPreviewFile(working, shared, file, 100, full, &memo), LoadOk);
    EXPECT_EQ(working.size(), QSize(200, 150));
}

// Start-up decodes the named file's preview on a thread while the window is built; that picture
// may only stand in for a decode of the same bytes, at the same size, with the same settings.
TEST_F(PreviewDecode, APreviewDecodedAheadStandsInOnlyForTheSameBytesSizeAndSettings) {
    const QString file = save(QStringLiteral("a.jpg"), redOverBlue(1600, 1200));
    PreviewMemo memo;
    {
        PreviewAhead ahead(file, 520);
        memo.ahead = ahead.take();
    }
    ASSERT_TRUE(memo.ahead.has_value());
    const qint64 aheadKey = memo.ahead->picture.cacheKey();

    // Another preview limit asks for another size: decoded here.
    ASSERT_EQ(LoadPreviewFile(working, shared, file, 100, full, &memo), LoadOk);
    EXPECT_NE(working.cacheKey(), aheadKey);
    EXPECT_EQ(working.size(), QSize(200, 150));

    // The same bytes at the same size: the picture decoded ahead, the same as decoding it here.
    const LoadResult taken = LoadPreviewFile(working, shared, file, 520, full, &memo);
    ASSERT_EQ(taken, LoadOk);
    EXPECT_FALSE(taken.damaged);
    EXPECT_EQ(working.cacheKey(), aheadKey);
    EXPECT_EQ(full, QSize(1600, 1200));
    QImage fresh;
    TJPEGImage other;
    ASSERT_EQ(LoadPreviewFile(fresh, other, file, 520, full), LoadOk);
    EXPECT_EQ(working, fresh);

    // Other settings decode otherwise (a palette picture on an 8-bit screen): decoded here.
    TJPEGDefaults eightBit;
    eightBit.PixelFormat = jf8Bit;
    TJPEGImage palette(eightBit);
    PreviewMemo onlyAhead{std::nullopt, memo.ahead};
    ASSERT_EQ(LoadPreviewFile(working, palette, file, 520, full, &onlyAhead), LoadOk);
    EXPECT_EQ(working.format(), QImage::Format_Indexed8);

    // The file changed since (same name, same size): the new picture, not the one decoded ahead.
    save(QStringLiteral("a.jpg"), flat(1600, 1200, Qt::green));
    onlyAhead = PreviewMemo{std::nullopt, memo.ahead};
    ASSERT_EQ(LoadPreviewFile(working, shared, file, 520, full, &onlyAhead), LoadOk);
    EXPECT_NE(working.cacheKey(), aheadKey);
    EXPECT_TRUE(test::fixtures::closeTo(working.convertToFormat(QImage::Format_RGB32).pixel(10, 10),
                                        qRgb(0, 255, 0), 6));
}

TEST_F(PreviewDecode, WhatDoesNotDecodeAheadIsLoadedAndReportedInItsTurn) {
    // A JPEG whose data breaks off: decoded ahead, with its damage.
    QByteArray cut;
    {
        const QString whole = save(QStringLiteral("ganz.jpg"), redOverBlue(1600, 1200));
        QFile file(whole);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        cut = file.readAll().left(20000);
    }
    QFile cutFile(path(QStringLiteral("kurz.jpg")));
    ASSERT_TRUE(cutFile.open(QIODevice::WriteOnly));
    cutFile.write(cut);
    cutFile.close();
    PreviewMemo memo;
    {
        PreviewAhead ahead(path(QStringLiteral("kurz.jpg")), 520);
        memo.ahead = ahead.take();
    }
    ASSERT_TRUE(memo.ahead.has_value());
    EXPECT_TRUE(memo.ahead->damaged);
    const LoadResult damaged =
        LoadPreviewFile(working, shared, path(QStringLiteral("kurz.jpg")), 520, full, &memo);
    EXPECT_EQ(damaged, LoadOk);
    EXPECT_TRUE(damaged.damaged);
    EXPECT_EQ(working.cacheKey(), memo.ahead->picture.cacheKey());

    // Not a JPEG, broken, missing: nothing ahead, and the load in its turn says what it always did.
    QFile broken(path(QStringLiteral("kaputt.jpg")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\xff\xd8\xff\xe0 not really");
    broken.close();
    ASSERT_TRUE(flat(30, 20, Qt::red).save(path(QStringLiteral("c.png"))));
    for (const char* name : {"kaputt.jpg", "fehlt.jpg", "c.png"}) {
        PreviewAhead ahead(path(QLatin1String(name)), 520);
        EXPECT_FALSE(ahead.take().has_value()) << name;
    }
    EXPECT_EQ(
        LoadPreviewFile(working, shared, path(QStringLiteral("kaputt.jpg")), 520, full, &memo),
        LoadInvalidJpeg);
}

// After a run the folder's first entry is previewed again; a picture of another format whose
// file is unchanged is not decoded again either, and any change or failure is still seen.
TEST_F(PreviewDecode, AnotherFormatsUnchangedFileIsNotDecodedAgainAndFailuresStaySeen) {
    PreviewMemo memo;
    const QString png = path(QStringLiteral("a.png"));
    ASSERT_TRUE(redOverBlue(300, 200).save(png));
    ASSERT_EQ(LoadPreviewFile(working, shared, png, 520, full, &memo), LoadOk);
    const qint64 first = working.cacheKey();
    ASSERT_EQ(LoadPreviewFile(working, shared, png, 520, full, &memo), LoadOk);
    EXPECT_EQ(working.cacheKey(), first) << "the same picture, not a new decode";
    EXPECT_EQ(full, QSize(300, 200));
    EXPECT_TRUE(shared.Empty()) << "these loads leave the JPEG object alone";

    // The same bytes under another name: decoded for that name.
    ASSERT_TRUE(QFile::copy(png, path(QStringLiteral("b.png"))));
    ASSERT_EQ(LoadPreviewFile(working, shared, path(QStringLiteral("b.png")), 520, full, &memo),
              LoadOk);
    EXPECT_NE(working.cacheKey(), first);
    const qint64 second = working.cacheKey();

    // Changed contents at the same size: decoded anew.
    ASSERT_TRUE(flat(300, 200, Qt::green).save(path(QStringLiteral("b.png"))));
    ASSERT_EQ(LoadPreviewFile(working, shared, path(QStringLiteral("b.png")), 520, full, &memo),
              LoadOk);
    EXPECT_NE(working.cacheKey(), second);
    EXPECT_EQ(working.convertToFormat(QImage::Format_RGB32).pixel(10, 10), qRgb(0, 255, 0));

    // Cut short after it was remembered, or gone: the load fails each time and leaves nothing
    // (a picture that was replaced is not held on to).
    QFile file(path(QStringLiteral("b.png")));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(40));
    file.close();
    for (int time = 0; time < 2; ++time) {
        EXPECT_EQ(LoadPreviewFile(working, shared, path(QStringLiteral("b.png")), 520, full, &memo),
                  LoadFailed);
        EXPECT_TRUE(working.isNull());
        EXPECT_EQ(full, QSize(0, 0));
        EXPECT_FALSE(memo.other.has_value());
    }
    ASSERT_TRUE(QFile::remove(png));
    EXPECT_EQ(LoadPreviewFile(working, shared, png, 520, full, &memo), LoadFailed);
}

} // namespace
} // namespace quill
