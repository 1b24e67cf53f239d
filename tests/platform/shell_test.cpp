#include "platform/Shell.h"

#include "TestSupport.h"
#include "XdgSandbox.h"
#include "platform/DesktopApps.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QUrl>
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quill;
using quill::test::XdgSandbox;

namespace {

const QString notAssociated =
    QStringLiteral("Der angegebene Dateityp ist auf Ihrem Computer keiner Anwendung zugeordnet !");

// A sandboxed desktop on which PNG pictures, folders and web addresses open with the stub, and
// nothing else has an application.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox.isValid());
        files = sandbox.path(QStringLiteral("files"));
        ASSERT_TRUE(QDir().mkpath(files));
        stubDir = sandbox.path(QStringLiteral("stub"));
        const QString stub = sandbox.writeStub(stubDir);
        sandbox.writeEntry(QStringLiteral("stub-viewer.desktop"), stub + QStringLiteral(" %f"),
                           QStringLiteral("image/png;inode/directory;"));
        sandbox.writeEntry(QStringLiteral("stub-browser.desktop"), stub + QStringLiteral(" %u"),
                           QStringLiteral("x-scheme-handler/https;"));
    }

    // Lets every stub that was started finish before its folder goes.
    void TearDown() override {
        for (const QString& dir : {stubDir, sandbox.path(QStringLiteral("other"))}) {
            if (QFileInfo::exists(dir + QStringLiteral("/args"))) {
                XdgSandbox::writeText(dir + QStringLiteral("/release"), "");
                quill::test::waitForFile(dir + QStringLiteral("/done"));
            }
        }
    }

    QString file(const QString& name, const QByteArray& bytes = "some bytes") const {
        const QString path = files + QLatin1Char('/') + name;
        XdgSandbox::writeText(path, bytes);
        return path;
    }

    // The arguments the stub was started with, once it has written them.
    QStringList launchedWith() const {
        if (!quill::test::waitForFile(stubDir + QStringLiteral("/args"))) {
            return {};
        }
        return quill::test::readLines(stubDir + QStringLiteral("/args"));
    }

    XdgSandbox sandbox;
    QString files;
    QString stubDir;
};

} // namespace

TEST_F(ShellTest, MissingTargetsGiveFileOrPathNotFound) {
    EXPECT_EQ(ShellExecute(files + QStringLiteral("/nothing.jpg")), SE_ERR_FNF);
    EXPECT_EQ(ShellExecute(files + QStringLiteral("/no-folder/nothing.jpg")), SE_ERR_PNF);
    EXPECT_EQ(ShellExecute(files + QStringLiteral("/a/b/c/nothing.jpg")), SE_ERR_PNF);
    // A regular file standing where a folder of the path should be.
    const QString plain = file(QStringLiteral("plain.png"));
    EXPECT_EQ(ShellExecute(plain + QStringLiteral("/inner.png")), SE_ERR_PNF);
    // No selected entry passes an empty path.
    EXPECT_EQ(ShellExecute(QString()), SE_ERR_FNF);
    // A file address is a local file like any path.
    const QString missingUrl =
        QUrl::fromLocalFile(files + QStringLiteral("/fehlt hier.png")).toString();
    EXPECT_EQ(ShellExecute(missingUrl), SE_ERR_FNF);
    EXPECT_FALSE(QFileInfo::exists(stubDir + QStringLiteral("/args")));
}

// As root, permissions never stop a read, so what cannot be read here is a named pipe: no viewer
// can take it as a document, and handing it over would leave the viewer blocked on it.
TEST_F(ShellTest, APipeIsRefusedAsAccessDenied) {
    const QString fifo = files + QStringLiteral("/pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(ShellExecute(fifo), SE_ERR_ACCESSDENIED);
    EXPECT_FALSE(QFileInfo::exists(stubDir + QStringLiteral("/args")));
}

TEST_F(ShellTest, ATypeWithoutApplicationGivesNoAssociation) {
    EXPECT_EQ(ShellExecute(file(QStringLiteral("scan.pcd"))), SE_ERR_NOASSOC);
    EXPECT_EQ(ShellExecute(file(QStringLiteral("bild.tga"))), SE_ERR_NOASSOC);
    // A default naming an application that is not installed does not count.
    sandbox.writeMimeApps("[Default Applications]\nimage/x-photo-cd=gone.desktop;\n");
    EXPECT_EQ(ShellExecute(files + QStringLiteral("/scan.pcd")), SE_ERR_NOASSOC);
    // Nor does an entry whose program is missing.
    sandbox.writeEntry(QStringLiteral("broken.desktop"), QStringLiteral("/nonexistent/viewer %f"),
                       QStringLiteral("image/x-photo-cd;"));
    EXPECT_EQ(ShellExecute(files + QStringLiteral("/scan.pcd")), SE_ERR_NOASSOC);
    // Web addresses without a browser.
    EXPECT_EQ(ShellExecute(QStringLiteral("http://quillmere.example.org/")), SE_ERR_NOASSOC);
    EXPECT_FALSE(QFileInfo::exists(stubDir + QStringLiteral("/args")));
}

TEST_F(ShellTest, OpeningStartsTheApplicationDetachedAndReturnsAtOnce) {
    const QString picture =
        file(QStringLiteral("Urlaub 01.png"), QByteArray("\x89PNG\r\n\x1a\n", 8));
    EXPECT_GT(ShellExecute(picture), 32);
    // The stub cannot finish before the test releases it: the call did not wait for it.
    EXPECT_FALSE(QFileInfo::exists(stubDir + QStringLiteral("/done")));
    EXPECT_EQ(launchedWith(), QStringList{picture});
    XdgSandbox::writeText(stubDir + QStringLiteral("/release"), "");
    EXPECT_TRUE(quill::test::waitForFile(stubDir + QStringLiteral("/done")));
}

TEST_F(ShellTest, RelativePathsAndFileAddressesReachTheApplicationAsAbsolutePaths) {
    const QString picture = file(QStringLiteral("bild ä.png"));
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(files));
    const int result = ShellExecute(QStringLiteral("bild ä.png"));
    QDir::setCurrent(saved);
    EXPECT_GT(result, 32);
    EXPECT_EQ(launchedWith(), QStringList{picture});

    XdgSandbox::writeText(stubDir + QStringLiteral("/release"), "");
    ASSERT_TRUE(quill::test::waitForFile(stubDir + QStringLiteral("/done")));
    for (const char* name : {"args", "release", "done"}) {
        QFile::remove(stubDir + QLatin1Char('/') + QLatin1String(name));
    }
    EXPECT_GT(ShellExecute(QUrl::fromLocalFile(picture).toString(QUrl::FullyEncoded)), 32);
    EXPECT_EQ(launchedWith(), QStringList{picture});
}

TEST_F(ShellTest, WebAddressesGoToTheSchemeHandler) {
    const QString address = QString::fromLatin1(WebPageAddress);
    EXPECT_TRUE(address.startsWith(QStringLiteral("https://")));
    EXPECT_GT(ShellExecute(address), 32);
    EXPECT_EQ(launchedWith(), QStringList{address});
}

TEST_F(ShellTest, UserDefaultsWinOverSystemAssociations) {
    // A second stub the user chose for PNG in the config home.
    const QString otherDir = sandbox.path(QStringLiteral("other"));
    const QString other = sandbox.writeStub(otherDir);
    sandbox.writeEntry(QStringLiteral("other.desktop"), other + QStringLiteral(" %f"),
                       QStringLiteral("image/jpeg;"), QStringLiteral("data"));
    sandbox.writeMimeApps("[Default Applications]\nimage/png=other.desktop\n");
    const QString picture = file(QStringLiteral("a.png"));
    EXPECT_GT(ShellExecute(picture), 32);
    EXPECT_TRUE(quill::test::waitForFile(otherDir + QStringLiteral("/args")));
    EXPECT_EQ(quill::test::readLines(otherDir + QStringLiteral("/args")), QStringList{picture});
    EXPECT_FALSE(QFileInfo::exists(stubDir + QStringLiteral("/args")));
}

TEST_F(ShellTest, OpenWithAssociationShowsTheChosenMessage) {
    const QString pcd = file(QStringLiteral("scan.pcd"));
    const QString fifo = files + QStringLiteral("/pipe.jpg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    quill::test::MessageRecorder boxes;
    OpenWithAssociation(files + QStringLiteral("/missing.jpg"));
    OpenWithAssociation(files + QStringLiteral("/missing/missing.jpg"));
    OpenWithAssociation(fifo);
    OpenWithAssociation(pcd);
    ASSERT_EQ(boxes.shown().size(), 4u);
    EXPECT_EQ(boxes.texts(),
              (QStringList{QStringLiteral("Die angegebene Datei wurde nicht gefunden !"),
                           QStringLiteral("Der Pfad zur Datei wurde nicht gefunden !"),
                           QStringLiteral("Dateizugriff wird vom Betriebssystem verweigert !"),
                           notAssociated}));
    for (const MessageRequest& box : boxes.shown()) {
        EXPECT_EQ(box.title, QStringLiteral("Fehler"));
        EXPECT_EQ(box.icon, MsgIcon::Warning);
        EXPECT_EQ(box.buttons, MsgButtons::Ok);
    }

    boxes.clear();
    OpenWithAssociation(file(QStringLiteral("ok.png")));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(launchedWith().isEmpty());
}

TEST_F(ShellTest, HelpAndWebPageFailures) {
    quill::test::MessageRecorder boxes;
    OpenHelpPage(QUrl::fromLocalFile(files + QStringLiteral("/hilfe.html")).toString());
    OpenHelpPage(QUrl::fromLocalFile(files + QStringLiteral("/weg/hilfe.html")).toString());
    // An existing page with no application for it has no message of its own.
    OpenHelpPage(QUrl::fromLocalFile(file(QStringLiteral("hilfe.html"))).toString());
    EXPECT_EQ(boxes.texts(),
              (QStringList{QStringLiteral("Die angegebene Datei wurde nicht gefunden !"),
                           QStringLiteral("Der Pfad zur Datei wurde nicht gefunden !"),
                           QStringLiteral(" ")}));
    for (const MessageRequest& box : boxes.shown()) {
        EXPECT_EQ(box.title, QStringLiteral("Fehler"));
        EXPECT_EQ(box.icon, MsgIcon::Warning);
    }

    // The web page reports nothing, whatever happens.
    boxes.clear();
    sandbox.writeMimeApps("[Removed Associations]\nx-scheme-handler/https=stub-browser.desktop\n");
    OpenWebPage();
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(QFileInfo::exists(stubDir + QStringLiteral("/args")));
}

// Terminal emulators are looked for only in a folder of the test's own, empty or holding a stub
// standing in for Debian's x-terminal-emulator.
class TerminalShellTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        noTerminals = sandbox.path(QStringLiteral("no-terminals"));
        ASSERT_TRUE(QDir().mkpath(noTerminals));
        setTerminalSearchPath({noTerminals});
        tuiDir = sandbox.path(QStringLiteral("tui"));
        tui = sandbox.writeStub(tuiDir);
    }

    void TearDown() override {
        setTerminalSearchPath({});
        for (const QString& dir : {tuiDir, terminalDir}) {
            if (!dir.isEmpty() && QFileInfo::exists(dir + QStringLiteral("/args"))) {
                XdgSandbox::writeText(dir + QStringLiteral("/release"), "");
                quill::test::waitForFile(dir + QStringLiteral("/done"));
            }
        }
        ShellTest::TearDown();
    }

    void installTerminal() {
        terminalDir = sandbox.path(QStringLiteral("terminal"));
        sandbox.writeStub(terminalDir);
        ASSERT_TRUE(QFile::link(terminalDir + QStringLiteral("/stub.sh"),
                                terminalDir + QStringLiteral("/x-terminal-emulator")));
        setTerminalSearchPath({terminalDir});
    }

    QString noTerminals;
    QString tuiDir;
    QString tui;
    QString terminalDir;
};

TEST_F(TerminalShellTest, AProgramForTheTerminalIsStartedOnlyInATerminalEmulator) {
    sandbox.writeEntry(QStringLiteral("tui-viewer.desktop"), tui + QStringLiteral(" %f"),
                       QStringLiteral("image/x-tga;text/html;"), QStringLiteral("share"),
                       "Terminal=true\n");
    const QString picture = file(QStringLiteral("bild.tga"));
    // No terminal emulator: as if nothing were associated, for files and for the help page.
    EXPECT_EQ(ShellExecute(picture), SE_ERR_NOASSOC);
    quill::test::MessageRecorder boxes;
    OpenWithAssociation(picture);
    EXPECT_EQ(boxes.texts(), QStringList{notAssociated});
    const QString help = QUrl::fromLocalFile(file(QStringLiteral("hilfe.html"))).toString();
    EXPECT_EQ(ShellExecute(help), SE_ERR_NOASSOC);
    EXPECT_FALSE(quill::test::waitForFile(tuiDir + QStringLiteral("/args"), 1));

    // With one, the program runs inside it, never on its own.
    installTerminal();
    EXPECT_GT(ShellExecute(picture), 32);
    ASSERT_TRUE(quill::test::waitForFile(terminalDir + QStringLiteral("/args")));
    EXPECT_EQ(quill::test::readLines(terminalDir + QStringLiteral("/args")),
              (QStringList{QStringLiteral("-e"), tui, picture}));
    EXPECT_FALSE(QFileInfo::exists(tuiDir + QStringLiteral("/args")));
}

TEST_F(TerminalShellTest, AGraphicalApplicationComesBeforeOneForTheTerminal) {
    installTerminal();
    sandbox.writeEntry(QStringLiteral("tui-viewer.desktop"), tui + QStringLiteral(" %f"),
                       QStringLiteral("image/png;"), QStringLiteral("share"), "Terminal=true\n");
    // Even as the user's default, the terminal program yields to the graphical viewer.
    sandbox.writeMimeApps("[Default Applications]\nimage/png=tui-viewer.desktop\n");
    const QString picture = file(QStringLiteral("a.png"));
    EXPECT_GT(ShellExecute(picture), 32);
    EXPECT_EQ(launchedWith(), QStringList{picture});
    EXPECT_FALSE(QFileInfo::exists(terminalDir + QStringLiteral("/args")));
    EXPECT_FALSE(QFileInfo::exists(tuiDir + QStringLiteral("/args")));
}

TEST_F(ShellTest, AStartedProgramsOutputNeverReachesOurs) {
    const QString noisyDir = sandbox.path(QStringLiteral("noisy"));
    const QString noisy = noisyDir + QStringLiteral("/noisy.sh");
    XdgSandbox::writeText(noisy, "#!/bin/sh\n"
                                 "echo quillmere-noise-on-stdout\n"
                                 "echo quillmere-noise-on-stderr >&2\n"
                                 ": > \"$(dirname \"$0\")/done\"\n");
    QFile::setPermissions(noisy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    sandbox.writeEntry(QStringLiteral("noisy.desktop"), noisy + QStringLiteral(" %f"),
                       QStringLiteral("image/png;"));
    sandbox.writeMimeApps("[Default Applications]\nimage/png=noisy.desktop\n");
    const QString picture = file(QStringLiteral("a.png"));

    // Our own output goes to a file while the program runs.
    const QString captured = sandbox.path(QStringLiteral("captured.txt"));
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1);
    const int savedErr = ::dup(2);
    const int capture = ::open(QFile::encodeName(captured).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(capture, 0);
    ::dup2(capture, 1);
    ::dup2(capture, 2);
    const int result = ShellExecute(picture);
    const bool finished = quill::test::waitForFile(noisyDir + QStringLiteral("/done"));
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    ::close(capture);

    EXPECT_GT(result, 32);
    ASSERT_TRUE(finished);
    QFile output(captured);
    ASSERT_TRUE(output.open(QIODevice::ReadOnly));
    EXPECT_FALSE(output.readAll().contains("quillmere-noise"));
}

TEST(ShellMessages, EveryResultHasItsMessage) {
    EXPECT_EQ(openFailureMessage(2), QStringLiteral("Die angegebene Datei wurde nicht gefunden !"));
    EXPECT_EQ(openFailureMessage(3), QStringLiteral("Der Pfad zur Datei wurde nicht gefunden !"));
    EXPECT_EQ(openFailureMessage(11),
              QStringLiteral("Die .EXE Datei ist ungültig oder beschädigt !"));
    EXPECT_EQ(openFailureMessage(5),
              QStringLiteral("Dateizugriff wird vom Betriebssystem verweigert !"));
    EXPECT_EQ(openFailureMessage(26), openFailureMessage(5));
    EXPECT_EQ(openFailureMessage(27), notAssociated);
    EXPECT_EQ(openFailureMessage(31), notAssociated);
    for (int other : {0, 8, 28, 29, 30, 32}) {
        EXPECT_EQ(openFailureMessage(other), QStringLiteral("Datei konnte nicht geöffnet werden !"))
            << other;
    }
    EXPECT_EQ(helpFailureMessage(2), openFailureMessage(2));
    EXPECT_EQ(helpFailureMessage(3), openFailureMessage(3));
    for (int other : {0, 5, 11, 26, 27, 31, 32}) {
        EXPECT_EQ(helpFailureMessage(other), QStringLiteral(" ")) << other;
    }
}

TEST(ShellAbout, TitleAndTextOfTheAboutBox) {
    const MessageRequest box = aboutBox(QStringLiteral("1.0.0"));
    EXPECT_EQ(box.title, QStringLiteral(" "));
    EXPECT_EQ(box.text,
              QStringLiteral("Quillmere 1.0.0\n\nDieses Programm verwendet FreeImage.lib."));
    EXPECT_EQ(box.buttons, MsgButtons::Ok);
    EXPECT_EQ(box.icon, MsgIcon::None);
}

TEST(ShellHelpPage, TheAddressIsTheShippedPageBesideTheProgram) {
    const QUrl address(helpPageAddress());
    ASSERT_TRUE(address.isLocalFile()) << address.toString().toStdString();
    const QString path = address.toLocalFile();
    EXPECT_TRUE(QFileInfo(path).isFile()) << path.toStdString();
    EXPECT_EQ(QFileInfo(path).canonicalFilePath(),
              QFileInfo(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/../share/quillmere/help/index.html"))
                  .canonicalFilePath());
}
