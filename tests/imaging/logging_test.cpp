// The log: quiet by default, and with debug logging on, a refused file leaves a line naming the
// file and why, down to what the decoder process itself said or how it ended.

#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"
#include "platform/Logging.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quill;

namespace {

QStringList* captured = nullptr;

void capture(QtMsgType, const QMessageLogContext& context, const QString& text) {
    if (captured != nullptr) {
        *captured << QString::fromUtf8(context.category) + QStringLiteral(": ") + text;
    }
}

// Records every log line while it lives, with the given rules.
class LogCapture {
public:
    explicit LogCapture(const QString& rules) {
        captured = &lines;
        previous_ = qInstallMessageHandler(capture);
        QLoggingCategory::setFilterRules(rules);
    }
    ~LogCapture() {
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(previous_);
        captured = nullptr;
    }
    QStringList lines;

private:
    QtMessageHandler previous_;
};

class LoadLog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { FreeImage_Initialise(false); }
    static void TearDownTestSuite() { FreeImage_DeInitialise(); }
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString file = dir.filePath(name);
        QFile out(file);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return file;
    }

    QTemporaryDir dir;
    QImage bitmap;
    TJPEGImage jpeg;
};

} // namespace

TEST_F(LoadLog, ARefusedFileIsLoggedWithItsReasonOnlyWhenDebugLoggingIsOn) {
    const QString png = write(QStringLiteral("kaputt.png"), "\x89PNG\r\n\x1a\n but nothing more");
    const QString jpg = write(QStringLiteral("kaputt.jpg"), "not a JPEG");
    {
        LogCapture quiet{QString()};
        EXPECT_EQ(LoadPictureFile(bitmap, jpeg, png).outcome, LoadFailed);
        EXPECT_TRUE(quiet.lines.isEmpty()) << qPrintable(quiet.lines.join('\n'));
    }
    LogCapture log(QStringLiteral("quillmere.*.debug=true"));
    const LoadResult failed = LoadPictureFile(bitmap, jpeg, png);
    ASSERT_EQ(failed.outcome, LoadFailed);
    EXPECT_FALSE(failed.detail.isEmpty());
    const LoadResult invalid = LoadPictureFile(bitmap, jpeg, jpg);
    ASSERT_EQ(invalid.outcome, LoadInvalidJpeg);
    EXPECT_FALSE(invalid.detail.isEmpty());

    const QString all = log.lines.join('\n');
    EXPECT_TRUE(
        all.contains(QStringLiteral("quillmere.load: refused ") + png + " - " + failed.detail))
        << qPrintable(all);
    EXPECT_TRUE(
        all.contains(QStringLiteral("quillmere.load: refused ") + jpg + " - " + invalid.detail))
        << qPrintable(all);
    EXPECT_TRUE(all.contains(QStringLiteral("quillmere.decoder: decode ") + png))
        << qPrintable(all);
}
