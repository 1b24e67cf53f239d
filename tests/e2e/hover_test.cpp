// The "HELP" hover in the real window: the red cross and the red text while the pointer rests on
// it, both gone as soon as it moves away.

#include "X11Session.h"

#include <QColor>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using quill::e2e::X11Session;

namespace {

bool isRed(QColor c) {
    return c.red() > 180 && c.green() < 80 && c.blue() < 80;
}

int redPixels(const QImage& screen, QRect area) {
    int red = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            red += isRed(QColor(screen.pixel(x, y))) ? 1 : 0;
        }
    }
    return red;
}

} // namespace

TEST(HoverEndToEnd, HelpTurnsRedWithTheCrossAndMovingAwayHidesIt) {
    X11Session session;
    ASSERT_TRUE(session.ok());
    // An empty folder of its own: whatever else lies in the system's temporary folder (a broken
    // picture and its message box) must not take part.
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    ASSERT_TRUE(session.startProgram({}, empty.path()));
    const QString window = session.waitForWindow("Quillmere", 30000);
    ASSERT_FALSE(window.isEmpty());
    const QPoint origin = session.windowGeometry(window).topLeft();
    const QRect help(origin + QPoint(120, 8), QSize(39, 20));
    const QRect cross(origin + QPoint(216, 4), QSize(26, 20));

    QImage screen;
    ASSERT_TRUE(session.waitUntil(
        [&] {
            screen = session.screenshot();
            return !screen.isNull() &&
                   QColor(screen.pixel(origin + QPoint(780, 560))) == QColor(128, 128, 128);
        },
        20000));
    EXPECT_EQ(redPixels(screen, cross), 0) << "the cross is hidden at first";
    EXPECT_EQ(redPixels(screen, help), 0);

    // Two small moves: the first enters, the second is the movement over "HELP".
    session.moveMouse(help.center() - QPoint(3, 0));
    session.moveMouse(help.center());
    EXPECT_TRUE(session.waitUntil(
        [&] {
            screen = session.screenshot();
            return redPixels(screen, cross) > 50 && redPixels(screen, help) > 5;
        },
        10000))
        << "hovering HELP shows no red cross or no red text";

    session.moveMouse(origin + QPoint(400, 300));
    EXPECT_TRUE(session.waitUntil(
        [&] {
            screen = session.screenshot();
            return redPixels(screen, cross) == 0 && redPixels(screen, help) == 0;
        },
        10000))
        << "the highlight stayed after the pointer left";

    session.closeWindow(window);
    EXPECT_TRUE(session.waitForProgramExit(20000));
}
