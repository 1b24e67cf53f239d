// Decoding the next file ahead changes nothing anyone can see: the same output bytes, the same
// message boxes in the same order, the same pictures in the preview and the progressive flag
// following the JPEG files in the run's order, also with damaged files and a file that goes
// away before its turn.

#include "PhotoFixtures.h"
#include "ProgramJpeg.h"
#include "TestSupport.h"
#include "batch/ConversionRun.h"
#include "batch/DecodeAhead.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace quill {
namespace {

// Detail everywhere, so that the files have real entropy-coded data to decode.
QImage detailed(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = uchar((x * 7 + y * 3 + seed * 40) ^ (x >> 3));
            row[3 * x + 1] = uchar((y * 5 + seed) ^ (x * y >> 9));
            row[3 * x + 2] = uchar(x + y * seed);
        }
    }
    return image;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A progressive output holds a progressive frame header (SOF2); entropy-coded data never holds
// that marker, and our outputs carry no other blocks.
bool isProgressive(const QByteArray& jpeg) {
    return jpeg.contains(QByteArray("\xff\xc2", 2));
}

// The window's side, recorded in one sequence, so that a report or a picture at another point
// of the run shows: every report, every picture shown in the preview, every file taken up (a
// test may remove a file there).
class RecordingHost final : public ConversionHost {
public:
    void report(const RunReport& report) override {
        events << QStringLiteral("report %1 %2: %3")
                      .arg(int(report.notice))
                      .arg(report.file, report.text);
        texts << report.text;
        timeline << QStringLiteral("report");
    }
    std::optional<QString> chooseTargetFolder() override { return std::nullopt; }
    void showOutput(const QImage& output) override {
        // Row by row: the padding at the end of each row is no part of the picture.
        const QImage rgb = output.convertToFormat(QImage::Format_RGB888);
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (int y = 0; y < rgb.height(); ++y) {
            hash.addData(QByteArrayView(rgb.constScanLine(y), qsizetype(rgb.width()) * 3));
        }
        events << QStringLiteral("shown %1x%2 %3")
                      .arg(rgb.width())
                      .arg(rgb.height())
                      .arg(QString::fromLatin1(hash.result().toHex()));
        timeline << QStringLiteral("shown");
    }
    void progress(int taken, int total) override {
        events << QStringLiteral("file %1 of %2").arg(taken).arg(total);
        timeline << QStringLiteral("file %1").arg(taken);
        if (beforeFile) {
            beforeFile(taken);
        }
    }

    void decodingAhead(int index) override { timeline << QStringLiteral("ahead %1").arg(index); }

    QStringList events;
    QStringList texts;
    // The events above with the decodes started ahead between them.
    QStringList timeline;
    std::function<void(int)> beforeFile;
};

struct RunRecord {
    QStringList events;
    QStringList texts;
    QStringList timeline;
    std::map<QString, QByteArray> outputs;
    bool progressiveAfter = false;
};

class LookAhead : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }
    void TearDown() override { setConversionLookAhead(true); }

    QString path(const QString& name) const { return dir.filePath(name); }

    // A folder of every kind: progressive and baseline JPEGs, PNGs and a BMP between them, a
    // photo stored on its side, a JPEG cut short (converted, with a warning), and files that
    // give no picture at all.
    void writeMixedFolder() {
        writeAll(path("a_prog.jpg"), test::programJpeg(detailed(320, 240, 1), true));
        ASSERT_TRUE(detailed(300, 200, 2).save(path("b.png")));
        writeAll(path("c_base.jpg"), test::programJpeg(detailed(240, 320, 3), false));
        ASSERT_TRUE(detailed(200, 150, 4).save(path("d.png")));
        writeAll(path("e_prog.jpg"), test::programJpeg(detailed(256, 256, 5), true));
        ASSERT_TRUE(detailed(128, 96, 6).save(path("f.bmp")));
        const QByteArray cut = test::programJpeg(detailed(320, 240, 7), false);
        writeAll(path("g_cut.jpg"), cut.left(cut.size() / 2));
        writeAll(path("h_kaputt.jpg"), QByteArrayLiteral("\xff\xd8\xff\xe0 not really"));
        writeAll(path("i_kaputt.png"), QByteArray("\x89PNG broken"));
        ASSERT_TRUE(test::photos::writeJpeg(path("j_hoch.jpg"), detailed(160, 120, 8),
                                            {.app1 = test::photos::exifWithOrientation(6)}));
        ASSERT_TRUE(detailed(90, 60, 9).save(path("k.png")));
        const QByteArray cutProgressive = test::programJpeg(detailed(320, 240, 10), true);
        writeAll(path("l_cut_prog.jpg"), cutProgressive.left(cutProgressive.size() * 2 / 3));
        ASSERT_TRUE(detailed(64, 64, 11).save(path("m.png")));
    }

    ConversionSettings settings(bool resize = true, int transformCode = 0) const {
        ConversionSettings s;
        s.folder = dir.path();
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files, QDir::Name)) {
            s.entries.push_back({name, false});
        }
        s.sizeRule.resize = resize;
        s.sizeRule.targetWidth = 150;
        s.sizeRule.targetHeight = 150;
        s.transformCode = transformCode;
        return s;
    }

    RunRecord run(bool lookAhead, const ConversionSettings& s, TJPEGImage& jpeg,
                  std::function<void(int)> beforeFile = {}) {
        QDir(path("_Parvexo")).removeRecursively();
        setConversionLookAhead(lookAhead);
        RecordingHost host;
        host.beforeFile = std::move(beforeFile);
        QImage working;
        QImage output;
        const ConversionResult result = RunBatchConversion(s, working, output, jpeg, host);
        EXPECT_TRUE(result.completed);
        RunRecord record;
        record.events = host.events;
        record.texts = host.texts;
        record.timeline = host.timeline;
        const QDir outputs(path("_Parvexo"));
        for (const QString& name : outputs.entryList(QDir::Files, QDir::Name)) {
            record.outputs[name] = readAll(outputs.filePath(name));
        }
        record.progressiveAfter = jpeg.ProgressiveEncoding();
        return record;
    }

    QTemporaryDir dir;
};

TEST_F(LookAhead, OutputsMessagesPreviewAndProgressionAreThoseOfThePlainOrder) {
    writeMixedFolder();
    for (const bool resize : {true, false}) {
        SCOPED_TRACE(resize ? "sized" : "full size, turned");
        const ConversionSettings s = settings(resize, resize ? 0 : 2);
        TJPEGImage plainJpeg;
        const RunRecord plain = run(false, s, plainJpeg);
        TJPEGImage aheadJpeg;
        const RunRecord ahead = run(true, s, aheadJpeg);

        EXPECT_EQ(ahead.events, plain.events);
        EXPECT_EQ(ahead.texts, plain.texts);
        ASSERT_EQ(ahead.outputs.size(), plain.outputs.size());
        for (const auto& [name, bytes] : plain.outputs) {
            EXPECT_TRUE(ahead.outputs.at(name) == bytes) << name.toStdString();
        }
        EXPECT_EQ(ahead.progressiveAfter, plain.progressiveAfter);
    }
}

TEST_F(LookAhead, EachNextDecodeStartsBeforeTheCurrentPictureIsFinished) {
    writeMixedFolder();
    ConversionSettings s = settings();
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        s.entries[i].selected = i % 3 != 1;
    }
    for (const bool takeAll : {true, false}) {
        SCOPED_TRACE(takeAll ? "all" : "selected");
        s.takeAll = takeAll;
        std::vector<int> taken;
        for (std::size_t i = 0; i < s.entries.size(); ++i) {
            if (takeAll || s.entries[i].selected) {
                taken.push_back(int(i));
            }
        }
        TJPEGImage jpeg;
        const QStringList timeline = run(true, s, jpeg).timeline;
        // Taken ahead or not, loaded or failed: the next taken file has started decoding before
        // the current one is shown, written or reported; the first is decoded in its turn.
        for (std::size_t k = 0; k + 1 < taken.size(); ++k) {
            const qsizetype at = timeline.indexOf(QStringLiteral("file %1").arg(k + 1));
            ASSERT_GE(at, 0);
            qsizetype finished = at + 1;
            while (finished < timeline.size() && timeline[finished] != QLatin1String("shown") &&
                   timeline[finished] != QLatin1String("report")) {
                ++finished;
            }
            const qsizetype next = timeline.indexOf(QStringLiteral("ahead %1").arg(taken[k + 1]));
            EXPECT_GE(next, 0) << k;
            EXPECT_LT(next, finished) << k;
        }
        EXPECT_EQ(timeline.filter(QStringLiteral("ahead")).size(), qsizetype(taken.size() - 1));
    }
}

TEST_F(LookAhead, TheProgressiveFlagFollowsTheJpegsInTheRunsOrder) {
    writeMixedFolder();
    TJPEGImage jpeg;
    const RunRecord record = run(true, settings(), jpeg);
    // Each output is progressive exactly when the last JPEG whose header was read before it (in
    // list order) was: a PNG after a progressive JPEG is written progressive; a file with no
    // readable header leaves the flag as it was.
    const std::map<QString, bool> expected{
        {"a_prog.jpg", true},     {"b.jpg", true},       {"c_base.jpg", false},
        {"d.jpg", false},         {"e_prog.jpg", true},  {"f.jpg", true},
        {"g_cut.jpg", false},     {"j_hoch.jpg", false}, {"k.jpg", false},
        {"l_cut_prog.jpg", true}, {"m.jpg", true}};
    ASSERT_EQ(record.outputs.size(), expected.size());
    for (const auto& [name, progressive] : expected) {
        ASSERT_TRUE(record.outputs.count(name)) << name.toStdString();
        EXPECT_EQ(isProgressive(record.outputs.at(name)), progressive) << name.toStdString();
    }
    EXPECT_TRUE(record.progressiveAfter);
    EXPECT_EQ(record.texts, QStringList({DamagedFileMessage(QStringLiteral("g_cut.jpg")),
                                         "Keine gültige JPEG-Datei", "Fehler beim Laden der Datei",
                                         DamagedFileMessage(QStringLiteral("l_cut_prog.jpg"))}));
}

TEST_F(LookAhead, AFileRemovedBeforeItsTurnIsReportedInItsTurnAsBefore) {
    writeMixedFolder();
    const QByteArray base = readAll(path("c_base.jpg"));
    const QByteArray png = readAll(path("d.png"));
    // Removed while the file before each is taken up: just before the look-ahead would read it.
    const auto removeNext = [this](int taken) {
        if (taken == 2) {
            QFile::remove(path("c_base.jpg"));
        } else if (taken == 3) {
            QFile::remove(path("d.png"));
        }
    };
    const ConversionSettings s = settings();
    TJPEGImage plainJpeg;
    const RunRecord plain = run(false, s, plainJpeg, removeNext);
    writeAll(path("c_base.jpg"), base);
    writeAll(path("d.png"), png);
    TJPEGImage aheadJpeg;
    const RunRecord ahead = run(true, s, aheadJpeg, removeNext);

    ASSERT_GE(plain.texts.size(), 2);
    EXPECT_EQ(plain.texts[0], "Keine gültige JPEG-Datei");
    EXPECT_EQ(plain.texts[1], "Fehler beim Laden der Datei");
    EXPECT_EQ(ahead.events, plain.events);
    EXPECT_EQ(ahead.outputs, plain.outputs);
    EXPECT_FALSE(ahead.outputs.count("c_base.jpg"));
}

TEST_F(LookAhead, ADecodeAheadIsTakenOverWholeOrNotAtAll) {
    writeAll(path("p.jpg"), test::programJpeg(detailed(200, 100, 1), true));
    writeAll(path("kaputt.jpg"), QByteArrayLiteral("\xff\xd8 no more"));
    TJPEGImage shared;
    ASSERT_FALSE(shared.ProgressiveEncoding());
    QImage working;

    DecodeAhead ahead;
    EXPECT_EQ(ahead.index(), -1);
    ahead.start(4, path("p.jpg"));
    EXPECT_EQ(ahead.index(), 4);
    ahead.wait();
    // What was read ahead is what counts, whatever happens to the file afterwards.
    ASSERT_TRUE(QFile::remove(path("p.jpg")));
    EXPECT_FALSE(shared.ProgressiveEncoding()) << "nothing reaches the shared object early";
    const std::optional<LoadResult> loaded = ahead.take(working, shared);
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(loaded->damaged);
    EXPECT_EQ(ahead.index(), -1);
    EXPECT_EQ(working.size(), QSize(200, 100));
    EXPECT_TRUE(shared.ProgressiveEncoding());
    EXPECT_EQ(shared.Data().Width, 200);

    // A file that did not load leaves everything to the turn itself.
    const qint64 before = working.cacheKey();
    ahead.start(5, path("kaputt.jpg"));
    EXPECT_FALSE(ahead.take(working, shared).has_value());
    EXPECT_EQ(working.cacheKey(), before);
    EXPECT_EQ(shared.Data().Width, 200);

    // Starting again drops what was held: never two pictures ahead.
    ASSERT_TRUE(detailed(30, 20, 2).save(path("q.png")));
    ahead.start(6, path("kaputt.jpg"));
    ahead.start(7, path("q.png"));
    EXPECT_EQ(ahead.index(), 7);
    ASSERT_TRUE(ahead.take(working, shared).has_value());
    EXPECT_EQ(working.size(), QSize(30, 20));
    EXPECT_EQ(shared.Data().Width, 200) << "a PNG leaves the JPEG object alone";
}

} // namespace
} // namespace quill
