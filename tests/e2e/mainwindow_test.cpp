// The real program in a real X server: the window's title, size, place and look, and closing.

#include "X11Session.h"

#include <QColor>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using quill::e2e::X11Session;

namespace {

QColor at(const QImage& screen, QPoint p) {
    return QColor(screen.pixel(p));
}

::testing::AssertionResult hasColour(const QImage& screen, QPoint p, QColor expected) {
    const QColor c = at(screen, p);
    if (c.rgb() == expected.rgb()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "pixel (" << p.x() << ", " << p.y() << ") is (" << c.red() << ", " << c.green()
           << ", " << c.blue() << "), expected (" << expected.red() << ", " << expected.green()
           << ", " << expected.blue() << ")";
}

} // namespace

TEST(MainWindowEndToEnd, OpensCentredWithItsLookAndClosesOnRequest) {
    X11Session session;
    ASSERT_TRUE(session.ok()) << "Xvfb did not start";
    // An empty folder of its own: whatever else lies in the system's temporary folder (a broken
    // picture and its message box) must not take part.
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    ASSERT_TRUE(session.startProgram({}, empty.path()));

    const QString window = session.waitForWindow(QStringLiteral("Quillmere"), 30000);
    ASSERT_FALSE(window.isEmpty()) << "no window titled Quillmere";

    const QRect client = session.windowGeometry(window);
    EXPECT_EQ(client.size(), QSize(794, 576));
    // Centred: without a window manager there is no frame, so the client sits where the
    // 800 x 600 outer window was placed.
    const QPoint centre = client.center();
    EXPECT_NEAR(centre.x(), session.screenSize().width() / 2, 16);
    EXPECT_NEAR(centre.y(), session.screenSize().height() / 2, 16);

    // Let the first paint finish: the preview area's grey is the last large surface drawn.
    QImage screen;
    const QPoint origin = client.topLeft();
    ASSERT_TRUE(session.waitUntil(
        [&] {
            screen = session.screenshot();
            return !screen.isNull() &&
                   at(screen, origin + QPoint(780, 560)) == QColor(128, 128, 128);
        },
        20000));

    EXPECT_TRUE(hasColour(screen, origin + QPoint(400, 4), QColor(235, 235, 235)));
    EXPECT_TRUE(hasColour(screen, origin + QPoint(200, 180), QColor(156, 180, 188)));
    EXPECT_TRUE(hasColour(screen, origin + QPoint(260, 40), QColor(128, 128, 128)));
    // "Start": a horizontal gradient from (133, 148, 216) to (156, 180, 188) over 80 columns,
    // read on its first row, where no letter is drawn.
    EXPECT_TRUE(hasColour(screen, origin + QPoint(8 + 2, 197), QColor(133, 148, 215)));
    EXPECT_TRUE(hasColour(screen, origin + QPoint(8 + 40, 197), QColor(144, 163, 202)));
    EXPECT_TRUE(hasColour(screen, origin + QPoint(8 + 79, 197), QColor(155, 179, 188)));

    session.closeWindow(window);
    EXPECT_TRUE(session.waitForProgramExit(20000)) << "the window did not close";
    EXPECT_EQ(session.program().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(session.program().exitCode(), 0);
}

TEST(CommandLine, VersionAndHelpPrintWithoutOpeningAWindow) {
    // No display at all: a window would fail to open, so a clean exit proves none was tried.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    for (const QString& option : {QStringLiteral("--version"), QStringLiteral("--help")}) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(quill::e2e::programPath(), {option});
        ASSERT_TRUE(process.waitForFinished(20000)) << qPrintable(option);
        EXPECT_EQ(process.exitCode(), 0) << qPrintable(option);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        if (option == "--version") {
            EXPECT_TRUE(out.startsWith("Quillmere ")) << qPrintable(out);
        } else {
            EXPECT_TRUE(out.contains("quillmere [BILDDATEI]")) << qPrintable(out);
        }
    }
}
