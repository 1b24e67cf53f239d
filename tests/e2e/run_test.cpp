// A whole conversion run in the real program, started and confirmed with real input.

#include "MainWindowSteps.h"
#include "X11Session.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using quill::e2e::X11Session;

namespace {

int darkPixels(const QImage& screen, QRect area) {
    int dark = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (QColor(screen.pixel(x, y)).lightness() < 90) {
                ++dark;
            }
        }
    }
    return dark;
}

} // namespace

TEST(RunEndToEnd, StartConfirmedWithTheKeyboardFillsTheOutputFolderAndShowsFertig) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"eins.png", "zwei.bmp", "drei.ppm"}) {
        QImage picture(640, 480, QImage::Format_RGB888);
        picture.fill(QColor(200, 120, 40));
        ASSERT_TRUE(picture.save(dir.path() + "/" + name));
    }

    X11Session session;
    ASSERT_TRUE(session.ok());
    ASSERT_TRUE(session.startProgram({}, dir.path()));
    const QString window = session.waitForWindow("Quillmere", 30000);
    ASSERT_FALSE(window.isEmpty());
    const QPoint origin = session.windowGeometry(window).topLeft();
    const QRect fertig(origin + QPoint(172, 100), QSize(58, 24));

    QImage before;
    ASSERT_TRUE(session.waitUntil(
        [&] {
            before = session.screenshot();
            return !before.isNull() && QColor(before.pixel(origin + QPoint(266 + 252, 266 + 32))) ==
                                           QColor(200, 120, 40);
        },
        30000))
        << "the first picture was never previewed";
    EXPECT_EQ(darkPixels(before, fertig), 0) << "\"Fertig !\" is hidden before a run";

    // "Start", then Yes (the default button) with the Enter key.
    ASSERT_TRUE(pressStartAndConfirm(session, origin)) << "no confirmation box";

    const QString output = dir.path() + "/_Parvexo";
    ASSERT_TRUE(
        session.waitUntil([&] { return QDir(output).entryList(QDir::Files).size() == 3; }, 60000))
        << "the output folder did not fill";
    EXPECT_EQ(QDir(output).entryList(QDir::Files, QDir::Name),
              QStringList({"drei.jpg", "eins.jpg", "zwei.jpg"}));
    QImage written(output + "/eins.jpg");
    EXPECT_EQ(written.size(), QSize(200, 150));

    QImage after;
    EXPECT_TRUE(session.waitUntil(
        [&] {
            after = session.screenshot();
            return !after.isNull() && darkPixels(after, fertig) > 20;
        },
        30000))
        << "\"Fertig !\" did not appear";

    session.closeWindow(window);
    EXPECT_TRUE(session.waitForProgramExit(20000));
}
