// The real program started with a picture's path shows that picture at its computed place.

#include "X11Session.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using quill::e2e::X11Session;

TEST(PreviewEndToEnd, PictureNamedOnTheCommandLineSitsCentredInThePreview) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // 300 x 200 is shown at its own size, at 116, 166 of the 532 x 532 preview area.
    QImage picture(300, 200, QImage::Format_RGB888);
    picture.fill(QColor(20, 200, 60));
    ASSERT_TRUE(picture.save(dir.path() + "/gruen.png"));
    QImage other(64, 64, QImage::Format_RGB888);
    other.fill(QColor(250, 0, 250));
    ASSERT_TRUE(other.save(dir.path() + "/aaa_erstes.png"));

    X11Session session;
    ASSERT_TRUE(session.ok());
    ASSERT_TRUE(session.startProgram({dir.path() + "/gruen.png"}, dir.path()));
    const QString window = session.waitForWindow("Quillmere", 30000);
    ASSERT_FALSE(window.isEmpty());
    const QPoint origin = session.windowGeometry(window).topLeft();
    const QPoint area = origin + QPoint(252, 32);

    QImage screen;
    const QColor green(20, 200, 60);
    ASSERT_TRUE(session.waitUntil(
        [&] {
            screen = session.screenshot();
            return !screen.isNull() && QColor(screen.pixel(area + QPoint(266, 266))) == green;
        },
        30000))
        << "the picture never appeared in the preview";

    const QColor grey(128, 128, 128);
    // Inside at the four corners, grey just outside them.
    EXPECT_EQ(QColor(screen.pixel(area + QPoint(116, 166))), green);
    EXPECT_EQ(QColor(screen.pixel(area + QPoint(415, 365))), green);
    EXPECT_EQ(QColor(screen.pixel(area + QPoint(115, 166))), grey);
    EXPECT_EQ(QColor(screen.pixel(area + QPoint(416, 365))), grey);
    EXPECT_EQ(QColor(screen.pixel(area + QPoint(116, 165))), grey);
    EXPECT_EQ(QColor(screen.pixel(area + QPoint(415, 366))), grey);

    session.closeWindow(window);
    EXPECT_TRUE(session.waitForProgramExit(20000));
}
