// The real program in a Wayland session: a headless weston with XWayland. Told nothing but
// WAYLAND_DISPLAY and DISPLAY, it must come up on X11, convert a folder and turn the pictures
// chosen in "drehen & spiegeln".
//
// A headless weston has no seat, so X input comes from XTEST alone. Measured with XWayland 22.1:
// an absolute pointer move (`xdotool mousemove`, a warp) makes XWayland abort; relative moves,
// clicks and keys reach the clients, keys going to the window under the pointer because weston
// gives no X window the focus. Weston shows "drehen & spiegeln" over XTRA but keeps its X window
// in the top left corner, away from where Qt believes it; opening it with XTEST's relative moves
// over XTRA does not succeed every time here, so the test opens it the keyboard's way and
// chooses with a click.

#include "X11Session.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

template <typename Predicate> bool poll(Predicate predicate, int ms) {
    for (int waited = 0; waited < ms; waited += 100) {
        if (predicate()) {
            return true;
        }
        QThread::msleep(100);
    }
    return predicate();
}

class WestonSession {
public:
    WestonSession() {
        runtime_ = dir_.path() + "/runtime";
        QDir().mkpath(runtime_);
        QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString log = dir_.path() + "/weston.log";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime_);
        weston_.setProcessEnvironment(env);
        weston_.setProcessChannelMode(QProcess::MergedChannels);
        weston_.start("weston", {"--backend=headless-backend.so", "--xwayland", "--no-config",
                                 "--socket=quill-wayland", "--idle-time=0", "--width=1280",
                                 "--height=1024", "--log=" + log});
        if (!weston_.waitForStarted(10000)) {
            why_ = "weston cannot be started: " + weston_.errorString();
            return;
        }
        // Weston names the X display it listens on in its log; XWayland starts with the first
        // client.
        const QRegularExpression listening("xserver listening on display (:\\d+)");
        poll(
            [&] {
                QFile file(log);
                const auto match = file.open(QIODevice::ReadOnly)
                                       ? listening.match(QString::fromUtf8(file.readAll()))
                                       : QRegularExpressionMatch();
                display_ = match.hasMatch() ? match.captured(1) : QString();
                return !display_.isEmpty() || weston_.state() == QProcess::NotRunning;
            },
            20000);
        if (display_.isEmpty() || !QFile::exists(runtime_ + "/quill-wayland")) {
            QFile file(log);
            file.open(QIODevice::ReadOnly);
            why_ = "weston did not offer Wayland and XWayland: " +
                   QString::fromUtf8(file.readAll().right(600)) + weston_.readAll();
            display_.clear();
        }
    }

    ~WestonSession() {
        for (QProcess* process : {&program_, &weston_}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(10000)) {
                    process->kill();
                    process->waitForFinished(5000);
                }
            }
        }
    }

    const QString& whyNot() const { return why_; }
    bool ok() const { return !display_.isEmpty(); }

    // What a desktop session hands the program; no Qt platform named.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QT_QPA_PLATFORM");
        env.insert("WAYLAND_DISPLAY", "quill-wayland");
        env.insert("DISPLAY", display_);
        env.insert("XDG_RUNTIME_DIR", runtime_);
        env.insert("XDG_CONFIG_HOME", dir_.path() + "/config");
        env.insert("XDG_CACHE_HOME", dir_.path() + "/cache");
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        return env;
    }

    bool startProgram(const QString& workingDir) {
        program_.setProcessEnvironment(environment());
        program_.setProcessChannelMode(QProcess::ForwardedChannels);
        program_.setWorkingDirectory(workingDir);
        program_.start(quill::e2e::programPath(), {});
        return program_.waitForStarted(10000);
    }
    QProcess& program() { return program_; }

    QString run(const QString& tool, const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(tool, arguments);
        process.waitForFinished(20000);
        return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    }

    // The window with this title once weston has placed it: shown first in the top left
    // corner, it moves a moment later, so its place must hold for half a second.
    QString waitForWindow(const QString& title, int ms) {
        QString id;
        QRect place;
        int still = 0;
        poll(
            [&] {
                id = run("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"})
                         .section('\n', 0, 0);
                const QRect now = id.isEmpty() ? QRect() : windowRect(id);
                still = now == place && !id.isEmpty() ? still + 1 : 0;
                place = now;
                return still == 5;
            },
            ms);
        return still == 5 ? id : QString();
    }

    // Where the X server has the window (xdotool adds weston's frame offset twice).
    QRect windowRect(const QString& id) {
        const QString info = run("xwininfo", {"-id", id});
        const auto value = [&](const char* name) {
            return QRegularExpression(QString(name) + ":\\s+(-?\\d+)")
                .match(info)
                .captured(1)
                .toInt();
        };
        return {value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                value("Height")};
    }

    // Relative moves only: an absolute one is a warp, and XWayland aborts on it without a seat.
    bool pointTo(QPoint target) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const QString where = run("xdotool", {"getmouselocation", "--shell"});
            const auto value = [&](const char* name) {
                return QRegularExpression(QString("^") + name + "=(-?\\d+)$",
                                          QRegularExpression::MultilineOption)
                    .match(where)
                    .captured(1)
                    .toInt();
            };
            const QPoint delta = target - QPoint(value("X"), value("Y"));
            if (delta.isNull()) {
                return true;
            }
            run("xdotool", {"mousemove_relative", "--", QString::number(delta.x()),
                            QString::number(delta.y())});
        }
        return false;
    }

    bool pointTo(const QString& id, QPoint offset) {
        return pointTo(windowRect(id).topLeft() + offset);
    }

    QImage grab(const QString& id) {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start("xwd", {"-id", id, "-silent"});
        process.waitForFinished(20000);
        return quill::e2e::decodeXwd(process.readAllStandardOutput());
    }

private:
    QTemporaryDir dir_;
    QString runtime_;
    QString display_;
    QString why_;
    QProcess weston_;
    QProcess program_;
};

bool isRed(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) < 70 && qBlue(pixel) < 70;
}

} // namespace

TEST(WestonEndToEnd, ComesUpOnXWaylandByItselfConvertsAndTurnsWithXtra) {
    QTemporaryDir pictures;
    ASSERT_TRUE(pictures.isValid());
    // Landscape, red in the top left corner: turned right, the red lands top right.
    for (const char* name : {"eins.png", "zwei.png"}) {
        QImage picture(64, 32, QImage::Format_RGB32);
        picture.fill(QColor(200, 120, 40));
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                picture.setPixel(x, y, qRgb(255, 0, 0));
            }
        }
        ASSERT_TRUE(picture.save(pictures.path() + "/" + name));
    }

    WestonSession weston;
    if (!weston.ok()) {
        GTEST_SKIP() << qPrintable(weston.whyNot());
    }
    ASSERT_TRUE(weston.startProgram(pictures.path()));
    const QString main = weston.waitForWindow("Quillmere", 30000);
    ASSERT_FALSE(main.isEmpty()) << "the program's window did not come up on XWayland";
    ASSERT_TRUE(poll(
        [&] {
            const QImage shot = weston.grab(main);
            return !shot.isNull() && QColor(shot.pixel(518, 298)) == QColor(200, 120, 40);
        },
        30000))
        << "the first picture was never previewed";

    // Into the PostFix field with a click, then Tab past the check box and the quality bar to
    // XTRA, Enter: the turn window opens and stays without the pointer.
    ASSERT_TRUE(weston.pointTo(main, {202, 274}));
    weston.run("xdotool", {"click", "1"});
    ASSERT_TRUE(weston.pointTo(main, {400, 300}));
    weston.run("xdotool", {"key", "Tab", "Tab", "Tab", "Return"});
    const QString turns = weston.waitForWindow("drehen & spiegeln", 10000);
    ASSERT_FALSE(turns.isEmpty()) << "XTRA did not open \"drehen & spiegeln\"";
    ASSERT_TRUE(weston.pointTo(turns, {60, 88}));
    weston.run("xdotool", {"click", "1"}); // "90° nach rechts"
    // Escape closes it; it may lie over "Start" otherwise.
    weston.run("xdotool", {"key", "Escape"});
    ASSERT_TRUE(poll(
        [&] {
            return weston.run("xwininfo", {"-id", turns}).contains("IsUnMapped");
        },
        10000))
        << "Escape did not close \"drehen & spiegeln\"";

    ASSERT_TRUE(weston.pointTo(main, {48, 208}));
    weston.run("xdotool", {"click", "1"}); // "Start"
    const QString question = weston.waitForWindow("Achtung!", 20000);
    ASSERT_FALSE(question.isEmpty()) << "no confirmation box";
    ASSERT_TRUE(weston.pointTo(question, {40, 36}));
    weston.run("xdotool", {"key", "Return"});

    const QString output = pictures.path() + "/_Parvexo";
    ASSERT_TRUE(poll([&] { return QDir(output).entryList(QDir::Files).size() == 2; }, 60000))
        << "the output folder did not fill";
    ASSERT_TRUE(poll(
        [&] {
            const QImage shot = weston.grab(main);
            int dark = 0;
            for (int y = 100; y < 124 && !shot.isNull(); ++y) {
                for (int x = 172; x < 230; ++x) {
                    dark += QColor(shot.pixel(x, y)).lightness() < 90 ? 1 : 0;
                }
            }
            return dark > 20;
        },
        30000))
        << "\"Fertig !\" did not appear";
    for (const char* name : {"eins.jpg", "zwei.jpg"}) {
        const QImage written(output + "/" + name);
        ASSERT_EQ(written.size(), QSize(100, 200)) << name << " is not turned a quarter";
        const struct {
            QPoint at;
            bool red;
        } corners[] = {{{3, 3}, false}, {{96, 3}, true}, {{3, 196}, false}, {{96, 196}, false}};
        for (const auto& corner : corners) {
            EXPECT_EQ(isRed(written.pixel(corner.at)), corner.red)
                << name << " at " << corner.at.x() << "," << corner.at.y();
        }
    }

    weston.run(QStringLiteral(QUILL_BIN_DIR "/quill_wmclose"), {main});
    EXPECT_TRUE(weston.program().waitForFinished(20000));
}
