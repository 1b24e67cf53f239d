// Which shared libraries the two executables load: FreeImage's loaders are not safe on hostile
// files, so only the decoder process may carry them, and the decoder loads no toolkit.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

// The libraries the dynamic loader resolves for an executable, one "name => path" line each.
QString loadedLibraries(const QString& executable) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {executable});
    if (!ldd.waitForFinished(30000) || ldd.exitStatus() != QProcess::NormalExit ||
        ldd.exitCode() != 0) {
        return {};
    }
    return QString::fromLocal8Bit(ldd.readAllStandardOutput());
}

const QString binDir = QStringLiteral(QUILL_BIN_DIR);

} // namespace

TEST(Libraries, OnlyTheDecoderProcessLoadsFreeImageAndItLoadsNoQt) {
    const QString program = loadedLibraries(binDir + QStringLiteral("/quillmere"));
    const QString decoder = loadedLibraries(binDir + QStringLiteral("/quillmere-decoder"));
    ASSERT_TRUE(program.contains(QStringLiteral("libQt6Widgets"))) << program.toStdString();
    ASSERT_TRUE(decoder.contains(QStringLiteral("libfreeimage"), Qt::CaseInsensitive))
        << decoder.toStdString();
    EXPECT_FALSE(program.contains(QStringLiteral("freeimage"), Qt::CaseInsensitive))
        << program.toStdString();
    EXPECT_FALSE(decoder.contains(QStringLiteral("libQt"))) << decoder.toStdString();
    for (const char* library : {"libheif", "libjxl", "libwebp", "libraw"}) {
        EXPECT_TRUE(decoder.contains(QLatin1String(library))) << library;
        EXPECT_FALSE(program.contains(QLatin1String(library))) << library;
    }
}
