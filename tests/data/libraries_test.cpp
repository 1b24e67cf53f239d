// Which shared libraries the two executables load: FreeImage's loaders are not safe on hostile
// files, so only the decoder process may carry them, and the decoder loads no toolkit. Nor may
// the program call a JPEG, EXIF or colour profile reader: every picture is parsed in the decoder.

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

// The functions an executable imports from shared libraries, one name a line.
QStringList importedFunctions(const QString& executable) {
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--undefined-only"),
                                    QStringLiteral("--format=just-symbols"), executable});
    if (!nm.waitForFinished(30000) || nm.exitStatus() != QProcess::NormalExit ||
        nm.exitCode() != 0) {
        return {};
    }
    QStringList names;
    for (const QString& line : QString::fromLocal8Bit(nm.readAllStandardOutput()).split('\n')) {
        names << line.section(QLatin1Char('@'), 0, 0).trimmed();
    }
    return names;
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

TEST(Libraries, TheProgramParsesNoPictureOnlyTheDecoderDoes) {
    const QStringList program = importedFunctions(binDir + QStringLiteral("/quillmere"));
    const QStringList decoder = importedFunctions(binDir + QStringLiteral("/quillmere-decoder"));
    // The program still writes JPEGs.
    ASSERT_TRUE(program.contains(QStringLiteral("jpeg_write_scanlines")));
    for (const char* reader :
         {"jpeg_read_header", "jpeg_start_decompress", "jpeg_read_scanlines",
          "jpeg_read_coefficients", "exif_data_load_data", "exif_data_new_from_data",
          "exif_loader_write", "cmsOpenProfileFromMem"}) {
        const QString name = QLatin1String(reader);
        EXPECT_FALSE(program.contains(name)) << reader;
    }
    for (const char* reader : {"jpeg_read_header", "jpeg_start_decompress", "jpeg_read_scanlines",
                               "exif_data_load_data", "cmsOpenProfileFromMem"}) {
        EXPECT_TRUE(decoder.contains(QLatin1String(reader))) << reader;
    }
}
