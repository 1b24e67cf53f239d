// The Debian package as a user meets it: built from the release build, installed with apt-get,
// run from where it was installed, found by the desktop, and removed without a trace.

#include "platform/DesktopApps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const QString packageName = QStringLiteral("quillmere");
const QString sourceDir = QStringLiteral(QUILL_SOURCE_DIR);
const QString buildDir = QStringLiteral(QUILL_PACKAGE_BUILD_DIR);
const QString version = QStringLiteral(QUILL_VERSION);
const QString metainfo = QStringLiteral("/usr/share/metainfo/org.example.quillmere.metainfo.xml");

struct Result {
    bool ran = false;
    int exitCode = -1;
    QString output; // standard output and error together
    bool ok() const { return ran && exitCode == 0; }
};

Result run(const QString& program, const QStringList& args, const QString& workingDir = QString(),
           int timeoutMs = 600000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DEBIAN_FRONTEND"), QStringLiteral("noninteractive"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    if (!workingDir.isEmpty()) {
        process.setWorkingDirectory(workingDir);
    }
    process.start(program, args);
    Result result;
    result.ran = process.waitForStarted(60000) && process.waitForFinished(timeoutMs) &&
                 process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

QString tool(const char* name) {
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// The dpkg state of the package: "installed", "config-files", ... or empty when dpkg knows
// nothing of it.
QString packageStatus() {
    const Result query =
        run(QStringLiteral("dpkg-query"),
            {QStringLiteral("-W"), QStringLiteral("-f=${db:Status-Status}"), packageName});
    return query.ok() ? query.output.trimmed() : QString();
}

Result apt(const QStringList& args) {
    // Waits for another apt or dpkg run rather than failing on its lock.
    QStringList all{QStringLiteral("-y"), QStringLiteral("-q"), QStringLiteral("-o"),
                    QStringLiteral("DPkg::Lock::Timeout=600")};
    return run(QStringLiteral("apt-get"), all + args);
}

// Why the test cannot run here, or nothing.
std::optional<QString> reasonToSkip() {
    if (::geteuid() != 0) {
        return QStringLiteral("installing a package needs root");
    }
    if (!QFileInfo::exists(QStringLiteral("/etc/debian_version"))) {
        return QStringLiteral("not a Debian system");
    }
    for (const char* name : {"apt-get", "dpkg", "dpkg-deb", "dpkg-query"}) {
        if (tool(name).isEmpty()) {
            return QStringLiteral("%1 is missing").arg(QString::fromLatin1(name));
        }
    }
    return std::nullopt;
}

// The executables of the processes that pid has started and not yet reaped.
QStringList childExecutables(qint64 pid) {
    QStringList executables;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task) + QStringLiteral("/children"));
        if (!children.open(QIODevice::ReadOnly)) {
            continue;
        }
        for (const QByteArray& child : children.readAll().simplified().split(' ')) {
            if (!child.isEmpty()) {
                executables << QFileInfo(
                                   QStringLiteral("/proc/%1/exe").arg(QString::fromLatin1(child)))
                                   .symLinkTarget();
            }
        }
    }
    return executables;
}

// Nothing of the package is left on the system: none of its files, none of its own folders, no
// trace in the MIME and desktop databases, no record in dpkg.
void expectNothingLeft(const QStringList& owned) {
    for (const QString& path : owned) {
        const QFileInfo info(path);
        if (info.isDir() && !info.isSymLink()) {
            // Shared folders such as /usr/share/applications stay; our own go.
            EXPECT_FALSE(path.contains(QStringLiteral("quillmere"))) << path.toStdString();
        } else {
            EXPECT_FALSE(info.exists() || info.isSymLink()) << path.toStdString();
        }
    }
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/usr/share/mime/image/x-koala.xml")));
    if (!tool("update-desktop-database").isEmpty()) {
        QFile cache(QStringLiteral("/usr/share/applications/mimeinfo.cache"));
        if (cache.open(QIODevice::ReadOnly)) {
            EXPECT_FALSE(cache.readAll().contains("quillmere.desktop"));
        }
    }
    const QString status = packageStatus();
    EXPECT_TRUE(status.isEmpty() || status == QLatin1String("not-installed"))
        << status.toStdString();
}

// One package test at a time on this machine, whichever worktree or clone it runs from: two of
// them would install and purge the same package under each other.
class MachineLock {
public:
    MachineLock() {
        const QByteArray folder =
            QFileInfo(QStringLiteral("/run/lock")).isDir() ? "/run/lock" : "/tmp";
        const QByteArray path = folder + "/quillmere-package-test.lock";
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_EX);
        }
    }
    ~MachineLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    MachineLock(const MachineLock&) = delete;
    MachineLock& operator=(const MachineLock&) = delete;

private:
    int fd_ = -1;
};

// Purges the package when the test leaves, however it leaves, so a failure never leaves the
// package on the machine.
class PurgeOnExit {
public:
    PurgeOnExit() = default;
    ~PurgeOnExit() {
        if (!packageStatus().isEmpty() && packageStatus() != QLatin1String("not-installed")) {
            apt({QStringLiteral("purge"), packageName});
        }
    }
    PurgeOnExit(const PurgeOnExit&) = delete;
    PurgeOnExit& operator=(const PurgeOnExit&) = delete;
};

class DebianPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        skip_ = reasonToSkip();
        if (skip_) {
            return;
        }
        lock_.emplace();
        const QString status = packageStatus();
        if (!status.isEmpty() && status != QLatin1String("not-installed")) {
            skip_ = QStringLiteral("quillmere is installed on this machine (%1); the test installs "
                                   "and purges its own and leaves yours alone")
                        .arg(status);
            return;
        }
        buildPackage();
    }
    static void TearDownTestSuite() { lock_.reset(); }

    void SetUp() override {
        if (skip_) {
            GTEST_SKIP() << "skipped: " << skip_->toStdString();
        }
        ASSERT_TRUE(QFileInfo(deb_).isFile()) << log_.toStdString();
    }

    // The release build in a folder of its own, then the package, as `make package` makes them.
    static void buildPackage() {
        QDir().mkpath(buildDir);
        const std::vector<std::pair<QString, QStringList>> steps{
            {QStringLiteral(QUILL_CMAKE_COMMAND),
             {QStringLiteral("-S"), sourceDir, QStringLiteral("-B"), buildDir, QStringLiteral("-G"),
              QStringLiteral("Ninja"), QStringLiteral("-DCMAKE_BUILD_TYPE=Release"),
              QStringLiteral("-DQUILL_TESTS=OFF")}},
            {QStringLiteral(QUILL_CMAKE_COMMAND),
             {QStringLiteral("--build"), buildDir, QStringLiteral("-j"), QStringLiteral("2")}},
            {QStringLiteral(QUILL_CPACK_COMMAND), {QStringLiteral("-G"), QStringLiteral("DEB")}}};
        for (const auto& [program, args] : steps) {
            const Result step = run(program, args, buildDir, 3000000);
            log_ += step.output;
            if (!step.ok()) {
                return;
            }
        }
        const QString architecture =
            run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).output.trimmed();
        deb_ = buildDir + QStringLiteral("/quillmere_%1_%2.deb").arg(version, architecture);
    }

    static QString field(const QString& name) {
        return run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb_, name}).output.trimmed();
    }

    static inline std::optional<QString> skip_;
    static inline std::optional<MachineLock> lock_;
    static inline QString deb_;
    static inline QString log_;
};

} // namespace

TEST_F(DebianPackage, ControlFieldsNameTheProgramAndEverythingItNeeds) {
    EXPECT_EQ(field(QStringLiteral("Package")), packageName);
    EXPECT_EQ(field(QStringLiteral("Version")), version);
    EXPECT_EQ(
        field(QStringLiteral("Architecture")),
        run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")}).output.trimmed());
    EXPECT_EQ(field(QStringLiteral("Section")), QStringLiteral("graphics"));
    EXPECT_EQ(field(QStringLiteral("Priority")), QStringLiteral("optional"));
    EXPECT_EQ(field(QStringLiteral("Homepage")), QStringLiteral("https://quillmere.example.org/"));
    EXPECT_TRUE(field(QStringLiteral("Maintainer")).contains(QLatin1Char('@')));
    const QStringList description = field(QStringLiteral("Description")).split(QLatin1Char('\n'));
    EXPECT_GT(description.size(), 2); // a synopsis and a long description

    // What the binaries link, found by dpkg-shlibdeps, and what the program needs without linking.
    const QStringList depends = field(QStringLiteral("Depends")).split(QStringLiteral(", "));
    QSet<QString> names;
    for (const QString& dependency : depends) {
        names << dependency.section(QLatin1Char(' '), 0, 0);
    }
    for (const char* name : {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6",
                             "libfreeimage3", "libheif1", "libjpeg62-turbo",
                             "qt6-translations-l10n", "fonts-liberation2", "fonts-dejavu-core"}) {
        EXPECT_TRUE(names.contains(QString::fromLatin1(name)))
            << name << " missing from: " << depends.join(QStringLiteral(", ")).toStdString();
    }
    // No window without the X11 platform plugin, which nothing links: whichever package holds it
    // on this system must come along.
    const Result xcb = run(QStringLiteral("dpkg-query"),
                           {QStringLiteral("-S"), QStringLiteral("*/platforms/libqxcb.so")});
    ASSERT_TRUE(xcb.ok()) << xcb.output.toStdString();
    const QString xcbPackage = xcb.output.section(QLatin1Char(':'), 0, 0);
    EXPECT_TRUE(names.contains(xcbPackage)) << xcbPackage.toStdString();
    EXPECT_EQ(names.size(), depends.size()) << "a package named twice";
    // Without the Wayland platform plugin a Wayland session falls back or aborts.
    EXPECT_TRUE(field(QStringLiteral("Recommends"))
                    .split(QStringLiteral(", "))
                    .contains(QStringLiteral("qt6-wayland")));
}

TEST_F(DebianPackage, HoldsTheProgramItsHelperAndTheDesktopFilesAndNoBuildPath) {
    QTemporaryDir root;
    ASSERT_TRUE(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb_, root.path()}).ok());
    const auto has = [&](const QString& path) { return QFileInfo::exists(root.path() + path); };
    for (const char* path :
         {"/usr/bin/quillmere", "/usr/libexec/quillmere/quillmere-decoder",
          "/usr/share/applications/quillmere.desktop", "/usr/share/mime/packages/quillmere.xml",
          "/usr/share/metainfo/org.example.quillmere.metainfo.xml",
          "/usr/share/quillmere/help/index.html", "/usr/share/man/man1/quillmere.1.gz",
          "/usr/share/man/de/man1/quillmere.1.gz", "/usr/share/doc/quillmere/copyright",
          "/usr/share/doc/quillmere/changelog.gz",
          "/usr/share/icons/hicolor/scalable/apps/quillmere.svg"}) {
        EXPECT_TRUE(has(QString::fromLatin1(path))) << path;
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(
            has(QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/quillmere.png").arg(size)))
            << size;
    }
    // The helper is private: not on the path.
    EXPECT_FALSE(has(QStringLiteral("/usr/bin/quillmere-decoder")));
    // Nothing outside /usr.
    EXPECT_EQ(QDir(root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("usr")});

    // The installed program finds its helper and help page by the way from its own folder; the
    // folders of this build must not be compiled in.
    for (const char* binary : {"/usr/bin/quillmere", "/usr/libexec/quillmere/quillmere-decoder"}) {
        QFile file(root.path() + QString::fromLatin1(binary));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << binary;
        const QByteArray bytes = file.readAll();
        EXPECT_FALSE(bytes.contains(QFile::encodeName(sourceDir))) << binary;
        EXPECT_FALSE(bytes.contains(QFile::encodeName(buildDir))) << binary;
        // Stripped, as Debian ships binaries, and hardened as it builds them: every symbol bound at
        // start (so the relocations stay read-only) and buffer functions checked.
        EXPECT_FALSE(bytes.contains(".debug_info")) << binary;
        const QStringList elf{file.fileName()};
        EXPECT_TRUE(run("readelf", QStringList{"-d"} + elf).output.contains("BIND_NOW")) << binary;
        EXPECT_TRUE(
            run("readelf", QStringList{"--dyn-syms", "--wide"} + elf).output.contains("_chk@"))
            << binary;
    }

    // Debian's machine-readable copyright format: every licence a Files paragraph names is spelled
    // out in a paragraph of its own; the program's is the GPL.
    QFile copyright(root.path() + QStringLiteral("/usr/share/doc/quillmere/copyright"));
    ASSERT_TRUE(copyright.open(QIODevice::ReadOnly));
    const QStringList paragraphs = QString::fromUtf8(copyright.readAll()).split("\n\n");
    EXPECT_TRUE(paragraphs[0].startsWith(
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"));
    QSet<QString> licences[2]; // named by Files paragraphs, spelled out
    for (const QString& paragraph : paragraphs.mid(1)) {
        licences[paragraph.startsWith("Files: ") ? 0 : 1]
            << paragraph.section("License: ", 1).section('\n', 0, 0);
    }
    EXPECT_TRUE(licences[0].contains("GPL-3.0-or-later"));
    EXPECT_TRUE((licences[0] - licences[1]).isEmpty());

    // Owned by root, directories and programs readable and runnable by all.
    const Result listing = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb_});
    ASSERT_TRUE(listing.ok());
    for (const QString& line : listing.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        EXPECT_TRUE(line.contains(QStringLiteral(" root/root "))) << line.toStdString();
        const QString mode = line.left(10);
        EXPECT_TRUE(mode == QLatin1String("drwxr-xr-x") || mode == QLatin1String("-rwxr-xr-x") ||
                    mode == QLatin1String("-rw-r--r--"))
            << line.toStdString();
    }
}

TEST_F(DebianPackage, LintianFindsNoErrorsNoWarningsAndNoHardeningGaps) {
    ASSERT_FALSE(tool("lintian").isEmpty()) << "lintian is missing (scripts/install-deps.sh)";
    const Result lintian = run(QStringLiteral("lintian"),
                               {QStringLiteral("--fail-on"), QStringLiteral("error,warning"),
                                QStringLiteral("--display-info"), deb_});
    EXPECT_TRUE(lintian.ok()) << lintian.output.toStdString();
    for (const QString& line : lintian.output.split(QLatin1Char('\n'))) {
        EXPECT_FALSE(line.startsWith(QStringLiteral("E: ")) ||
                     line.startsWith(QStringLiteral("W: ")) ||
                     line.contains(QStringLiteral(" hardening-")))
            << line.toStdString();
    }
    // Shown in the test's log, so warnings that creep in are seen.
    std::printf("%s", lintian.output.toLocal8Bit().constData());
}

// Installs with apt-get as a user would, checks the installed program and its desktop
// integration, removes and purges it, and checks that nothing of it is left.
TEST_F(DebianPackage, InstallsRunsIntegratesAndRemovesWithoutATrace) {
    PurgeOnExit purge;
    const Result install = apt({QStringLiteral("install"), QFileInfo(deb_).absoluteFilePath()});
    ASSERT_TRUE(install.ok()) << install.output.toStdString();
    ASSERT_EQ(packageStatus(), QStringLiteral("installed"));

    const Result files = run(QStringLiteral("dpkg-query"), {QStringLiteral("-L"), packageName});
    ASSERT_TRUE(files.ok());
    const QStringList owned = files.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_TRUE(owned.contains(QStringLiteral("/usr/bin/quillmere")));

    const Result versionRun =
        run(QStringLiteral("/usr/bin/quillmere"), {QStringLiteral("--version")});
    EXPECT_TRUE(versionRun.ok()) << versionRun.output.toStdString();
    EXPECT_EQ(versionRun.output.trimmed(), QStringLiteral("Quillmere ") + version);
    EXPECT_TRUE(
        QFileInfo(QStringLiteral("/usr/libexec/quillmere/quillmere-decoder")).isExecutable());

    // The installed program finds its decoder in the private folder: its worker process is started
    // with the program and waits for pictures.
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral("/usr/bin/quillmere"), QStringList());
        ASSERT_TRUE(program.waitForStarted(60000));
        // A child caught between fork and exec still shows the program's own file: wait for the
        // decoder itself.
        const QString decoder = QStringLiteral("/usr/libexec/quillmere/quillmere-decoder");
        QStringList children;
        for (int attempt = 0; attempt < 600 && !children.contains(decoder); ++attempt) {
            children = childExecutables(program.processId());
            program.waitForFinished(100);
        }
        program.kill();
        program.waitForFinished(60000);
        EXPECT_TRUE(children.contains(decoder)) << children.join(QLatin1Char(' ')).toStdString();
    }

    // The installed metadata validates.
    const Result desktop = run(QStringLiteral("desktop-file-validate"),
                               {QStringLiteral("/usr/share/applications/quillmere.desktop")});
    EXPECT_TRUE(desktop.ok()) << desktop.output.toStdString();
    const Result appstream =
        run(QStringLiteral("appstreamcli"),
            {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
    EXPECT_TRUE(appstream.ok()) << appstream.output.toStdString();
    const Result manual =
        run(QStringLiteral("gzip"),
            {QStringLiteral("-t"), QStringLiteral("/usr/share/man/man1/quillmere.1.gz")});
    EXPECT_TRUE(manual.ok()) << manual.output.toStdString();

    // The triggers of shared-mime-info and desktop-file-utils have run: the system knows the
    // Koala type and offers Quillmere for it, with the file as argument.
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral("/usr/share/mime/image/x-koala.xml")));
    {
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(home.path()));
        qputenv("XDG_DATA_DIRS", "/usr/share");
        const std::optional<quill::DesktopApp> app =
            quill::applicationForTypes({QStringLiteral("image/x-koala")});
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CONFIG_DIRS");
        qunsetenv("XDG_DATA_DIRS");
        ASSERT_TRUE(app);
        EXPECT_EQ(app->id, QStringLiteral("quillmere.desktop"));
        EXPECT_EQ(quill::expandExec(*app, QStringLiteral("/tmp/Bild 1.koa")),
                  (QStringList{QStringLiteral("quillmere"), QStringLiteral("/tmp/Bild 1.koa")}));
    }
    if (!tool("update-desktop-database").isEmpty()) {
        QFile cache(QStringLiteral("/usr/share/applications/mimeinfo.cache"));
        ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
        EXPECT_TRUE(cache.readAll().contains("image/x-koala=quillmere.desktop"));
    }

    // Removed, and after a second install purged: each time no file of the package is left, the
    // databases forget it again, and dpkg keeps no record (it has no configuration to keep).
    for (const char* command : {"remove", "purge"}) {
        SCOPED_TRACE(command);
        if (packageStatus() != QLatin1String("installed")) {
            const Result again =
                apt({QStringLiteral("install"), QFileInfo(deb_).absoluteFilePath()});
            ASSERT_TRUE(again.ok()) << again.output.toStdString();
        }
        const Result removal = apt({QString::fromLatin1(command), packageName});
        ASSERT_TRUE(removal.ok()) << removal.output.toStdString();
        expectNothingLeft(owned);
    }
}
