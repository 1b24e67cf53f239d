#include "platform/DesktopApps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Sets environment variables for one scope.
class EnvironmentScope {
public:
    void set(const char* name, const QByteArray& value) {
        saved_.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                                  : std::nullopt);
        qputenv(name, value);
    }
    ~EnvironmentScope() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                qputenv(it->first.constData(), *it->second);
            } else {
                qunsetenv(it->first.constData());
            }
        }
    }

private:
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

// One install of this build tree into a temporary prefix, shared by the tests below.
class InstallTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = new QTemporaryDir;
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(QUILL_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(QUILL_BUILD_DIR),
                       QStringLiteral("--prefix"), prefix_->path()});
        const bool finished = install.waitForFinished(300000);
        output_ = install.readAll();
        installed_ =
            finished && install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0;
    }
    static void TearDownTestSuite() {
        delete prefix_;
        prefix_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(installed_) << output_.toStdString(); }

    static QString path(const QString& relative) {
        return prefix_->path() + QLatin1Char('/') + relative;
    }
    static QString bin(const QString& name) {
        return path(QStringLiteral(QUILL_INSTALL_BINDIR) + QLatin1Char('/') + name);
    }
    static QString data(const QString& relative) {
        return path(QStringLiteral(QUILL_INSTALL_DATADIR) + QLatin1Char('/') + relative);
    }

    static inline QTemporaryDir* prefix_ = nullptr;
    static inline QByteArray output_;
    static inline bool installed_ = false;
};

} // namespace

TEST_F(InstallTree, PutsTheProgramAndItsFilesInTheUsualPlaces) {
    const QFileInfo program(bin(QStringLiteral("quillmere")));
    EXPECT_TRUE(program.isFile() && program.isExecutable());

    const QString page = data(QStringLiteral("quillmere/help/index.html"));
    EXPECT_EQ(readBytes(page), readBytes(QStringLiteral(QUILL_SOURCE_DIR "/data/help/index.html")));
    // Where the program looks for it: the data folder seen from its own folder.
    EXPECT_EQ(
        QFileInfo(program.absolutePath() + QStringLiteral("/../share/quillmere/help/index.html"))
            .canonicalFilePath(),
        QFileInfo(page).canonicalFilePath());

    EXPECT_EQ(readBytes(data(QStringLiteral("applications/quillmere.desktop"))),
              readBytes(QStringLiteral(QUILL_SOURCE_DIR "/data/quillmere.desktop")));
    EXPECT_TRUE(QFileInfo(data(QStringLiteral("mime/packages/quillmere.xml"))).isFile());
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(data(QStringLiteral("icons/hicolor/%1x%1/apps/quillmere.png").arg(size)));
        EXPECT_EQ(icon.size(), QSize(size, size)) << size;
    }
    const QByteArray svg =
        readBytes(data(QStringLiteral("icons/hicolor/scalable/apps/quillmere.svg")));
    EXPECT_TRUE(svg.contains("<svg") && svg.contains("viewBox=\"0 0 64 64\""))
        << svg.left(200).toStdString();
}

// The decoder is a private helper: not on the path, but where the installed program looks.
TEST_F(InstallTree, PutsTheDecoderInThePrivateFolder) {
    EXPECT_FALSE(QFileInfo::exists(bin(QStringLiteral("quillmere-decoder"))));
    const QFileInfo decoder(path(QStringLiteral("libexec/quillmere/quillmere-decoder")));
    EXPECT_TRUE(decoder.isFile() && decoder.isExecutable());
}

// What software centres and `man` read, for this version of the program.
TEST_F(InstallTree, DescribesTheProgramForSoftwareCentresAndMan) {
    const QString metainfo = data(QStringLiteral("metainfo/org.example.quillmere.metainfo.xml"));
    const QByteArray text = readBytes(metainfo);
    EXPECT_TRUE(text.contains("<launchable type=\"desktop-id\">quillmere.desktop</launchable>"));
    // A release entry for every version the program reports.
    EXPECT_TRUE(text.contains("<release version=\"" QUILL_VERSION "\""))
        << "add a <release> for " QUILL_VERSION " to data/org.example.quillmere.metainfo.xml";
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(QStringLiteral("appstreamcli"),
                   {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
    ASSERT_TRUE(validate.waitForFinished(60000))
        << "appstream is missing (scripts/install-deps.sh)";
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();

    for (const char* page : {"man/man1/quillmere.1.gz", "man/de/man1/quillmere.1.gz"}) {
        QProcess zcat;
        zcat.start(QStringLiteral("gzip"),
                   {QStringLiteral("-dc"), data(QString::fromLatin1(page))});
        ASSERT_TRUE(zcat.waitForFinished(60000)) << page;
        const QByteArray roff = zcat.readAllStandardOutput();
        EXPECT_EQ(zcat.exitCode(), 0) << page;
        EXPECT_TRUE(roff.contains(".TH QUILLMERE 1 ")) << page;
        EXPECT_TRUE(roff.contains("\"Quillmere " QUILL_VERSION "\"")) << page;
    }
    EXPECT_TRUE(QFileInfo(data(QStringLiteral("doc/quillmere/copyright"))).isFile());
}

TEST_F(InstallTree, TheInstalledProgramRunsWithoutAWindow) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(bin(QStringLiteral("quillmere")), {QStringLiteral("--version")});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardOutput().contains(QUILL_VERSION));
}

// With the prefix as the only data folder and its programs on the path, the desktop offers the
// installed Quillmere for every picture type of the entry, started with the file as argument.
TEST_F(InstallTree, TheDesktopFindsTheInstalledEntryForThePictureTypes) {
    QTemporaryDir config;
    EnvironmentScope environment;
    environment.set("XDG_DATA_HOME", (config.path() + QStringLiteral("/data")).toLocal8Bit());
    environment.set("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    environment.set("XDG_CONFIG_DIRS", config.path().toLocal8Bit());
    environment.set("XDG_DATA_DIRS", path(QStringLiteral(QUILL_INSTALL_DATADIR)).toLocal8Bit());
    environment.set("PATH", (QFileInfo(bin(QStringLiteral("quillmere"))).absolutePath() +
                             QStringLiteral(":/usr/bin:/bin"))
                                .toLocal8Bit());
    for (const char* type :
         {"image/jpeg", "image/png", "image/x-photo-cd", "image/x-koala", "image/x-tga",
          "image/x-portable-bitmap", "video/x-mng", "image/heif", "image/avif", "image/webp",
          "image/jxl", "image/x-adobe-dng", "image/x-samsung-srw"}) {
        const std::optional<quill::DesktopApp> app =
            quill::applicationForTypes({QString::fromLatin1(type)});
        ASSERT_TRUE(app) << type;
        EXPECT_EQ(app->id, QStringLiteral("quillmere.desktop"));
        EXPECT_EQ(quill::expandExec(*app, QStringLiteral("/tmp/Bild 1.jpg")),
                  (QStringList{QStringLiteral("quillmere"), QStringLiteral("/tmp/Bild 1.jpg")}));
    }
}
