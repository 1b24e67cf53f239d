// The conversion run without a window: what it reports to its host and in which order, which
// files it takes, what it writes, and where it writes when "_Parvexo" cannot be made.

#include "batch/ConversionRun.h"
#include "batch/RunMessages.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>

using namespace quill;

namespace {

// A host that records everything the run hands it and answers the folder dialog from a script.
class RecordingHost final : public ConversionHost {
public:
    std::optional<QString> chooseTargetFolder() override {
        ++dialogs;
        if (folders.empty()) {
            return std::nullopt;
        }
        const std::optional<QString> next = folders.front();
        folders.pop_front();
        return next;
    }
    void showOutput(const QImage& output) override { shownSizes.push_back(output.size()); }
    void progress(int taken, int total) override {
        steps << QStringLiteral("%1/%2").arg(taken).arg(total);
    }
    void report(const RunReport& report) override { reports.push_back(report); }

    QStringList texts() const {
        QStringList all;
        for (const RunReport& report : reports) {
            all << report.text;
        }
        return all;
    }

    std::deque<std::optional<QString>> folders;
    std::vector<RunReport> reports;
    std::vector<QSize> shownSizes;
    QStringList steps;
    int dialogs = 0;
};

class ConversionRunTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { FreeImage_Initialise(false); }
    static void TearDownTestSuite() { FreeImage_DeInitialise(); }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        settings.folder = dir.path();
        settings.overlay = defaultOverlaySettings();
        previous = QDir::currentPath();
    }
    void TearDown() override { QDir::setCurrent(previous); }

    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }

    void picture(const QString& name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB888);
        image.fill(QColor(40, 90, 200));
        if (name.endsWith(QLatin1String(".jpg"))) {
            TJPEGImage writer;
            writer.Assign(image);
            writer.SaveToFile(path(name));
        } else {
            ASSERT_TRUE(image.save(path(name))) << qPrintable(name);
        }
    }

    void bytes(const QString& name, const QByteArray& content) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    void list(std::initializer_list<const char*> names) {
        settings.entries.clear();
        for (const char* name : names) {
            settings.entries.push_back({QString::fromUtf8(name), false});
        }
    }

    ConversionResult run() { return RunBatchConversion(settings, working, output, jpeg, host); }

    QStringList outputs() const {
        return QDir(path("_Parvexo")).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir dir;
    QString previous;
    ConversionSettings settings;
    QImage working;
    QImage output;
    TJPEGImage jpeg;
    RecordingHost host;
};

} // namespace

TEST_F(ConversionRunTest, ReportsEveryFileItCouldNotConvertInListOrderAndGoesOn) {
    picture("a.png", 40, 30);
    bytes("b.jpg", "no picture at all");
    picture("c.bmp", 30, 40);
    bytes("d.png", QByteArray());
    // A JPEG with detail everywhere, cut in the middle of its data.
    QImage detail(256, 192, QImage::Format_RGB888);
    for (int y = 0; y < detail.height(); ++y) {
        uchar* row = detail.scanLine(y);
        for (int x = 0; x < detail.width() * 3; ++x) {
            row[x] = uchar((x * 7) ^ (y * 13));
        }
    }
    TJPEGImage writer;
    writer.Assign(detail);
    writer.SaveToFile(path("whole.jpg"));
    QFile whole(path("whole.jpg"));
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray complete = whole.readAll();
    whole.close();
    QFile::remove(path("whole.jpg"));
    bytes("e.jpg", complete.left(complete.size() * 6 / 10));
    list({"a.png", "b.jpg", "c.bmp", "d.png", "e.jpg", "gone.png"});

    const ConversionResult result = run();
    ASSERT_TRUE(result.completed);
    EXPECT_EQ(result.lastProcessedIndex, 5);
    EXPECT_EQ(result.written, 3);
    EXPECT_EQ(host.steps, QStringList({"1/6", "2/6", "3/6", "4/6", "5/6", "6/6"}));

    ASSERT_EQ(host.reports.size(), 4u) << qPrintable(host.texts().join('\n'));
    EXPECT_EQ(host.reports[0].notice, RunNotice::LoadFailed);
    EXPECT_EQ(host.reports[0].file, "b.jpg");
    EXPECT_EQ(host.reports[0].text, LoadOutcomeMessage(LoadInvalidJpeg));
    EXPECT_EQ(host.reports[1].notice, RunNotice::LoadFailed);
    EXPECT_EQ(host.reports[1].file, "d.png");
    EXPECT_EQ(host.reports[1].text, LoadOutcomeMessage(LoadFailed));
    EXPECT_EQ(host.reports[2].notice, RunNotice::Damaged);
    EXPECT_EQ(host.reports[2].file, "e.jpg");
    EXPECT_EQ(host.reports[2].text, DamagedFileMessage("e.jpg"));
    EXPECT_EQ(host.reports[3].notice, RunNotice::LoadFailed);
    EXPECT_EQ(host.reports[3].file, "gone.png");

    // The damaged picture is written all the same, as far as it goes.
    EXPECT_EQ(outputs(), QStringList({"a.jpg", "c.jpg", "e.jpg"}));
    EXPECT_EQ(host.shownSizes, (std::vector<QSize>{{200, 150}, {150, 200}, {200, 150}}));
}

TEST_F(ConversionRunTest, AuswahlTakesOnlyTheSelectedEntries) {
    picture("a.png", 40, 30);
    picture("b.png", 40, 30);
    picture("c.png", 40, 30);
    list({"a.png", "b.png", "c.png"});
    settings.takeAll = false;
    settings.entries[1].selected = true;
    settings.affix = QStringLiteral("_k");

    const ConversionResult result = run();
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.lastProcessedIndex, 1);
    EXPECT_EQ(result.written, 1);
    EXPECT_EQ(host.steps, QStringList({"1/1"}));
    EXPECT_TRUE(host.reports.empty());
    EXPECT_EQ(outputs(), QStringList({"b_k.jpg"}));
}

TEST_F(ConversionRunTest, AnUnusableOutputFolderAsksForAnotherParentAndCancelWritesNothing) {
    picture("a.png", 40, 30);
    list({"a.png"});
    bytes("_Parvexo", "a file in the way");
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    host.folders = {path("nirgends"), other.path()};

    ConversionResult result = run();
    ASSERT_TRUE(result.completed);
    EXPECT_EQ(host.dialogs, 2);
    ASSERT_EQ(host.reports.size(), 2u);
    for (const RunReport& report : host.reports) {
        EXPECT_EQ(report.notice, RunNotice::OutputFolderFailed);
        EXPECT_TRUE(report.file.isEmpty());
        EXPECT_EQ(report.text, outputFolderFailedMessage());
    }
    EXPECT_TRUE(QFileInfo::exists(other.path() + "/_Parvexo/a.jpg"));

    // Cancelled: the run ends before it takes a file.
    host.reports.clear();
    host.steps.clear();
    host.dialogs = 0;
    result = run();
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(host.dialogs, 1);
    EXPECT_EQ(host.reports.size(), 1u);
    EXPECT_TRUE(host.steps.isEmpty());
    EXPECT_EQ(result.written, 0);
}

TEST_F(ConversionRunTest, AWriteThatFailsIsReportedForThatFileOnly) {
    picture("a.png", 40, 30);
    picture("b.png", 40, 30);
    list({"a.png", "b.png"});
    ASSERT_TRUE(QDir().mkpath(path("_Parvexo/a.jpg"))); // a folder where the output goes

    const ConversionResult result = run();
    EXPECT_EQ(result.written, 1);
    ASSERT_EQ(host.reports.size(), 1u);
    EXPECT_EQ(host.reports[0].notice, RunNotice::WriteFailed);
    EXPECT_EQ(host.reports[0].file, "a.png");
    EXPECT_EQ(host.reports[0].text, writeFailedMessage());
    EXPECT_TRUE(QFileInfo(path("_Parvexo/a.jpg")).isDir());
    EXPECT_TRUE(QFileInfo::exists(path("_Parvexo/b.jpg")));
}
