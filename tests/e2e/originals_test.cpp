// The originals in the real program: a name affix that would lead the outputs out of their
// folder is refused with real input, and every original stays byte for byte.

#include "MainWindowSteps.h"
#include "X11Session.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using quill::e2e::X11Session;

namespace {

QByteArray bytesOf(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

} // namespace

TEST(RunEndToEnd, AnAffixLeadingOutOfTheFolderIsRefusedAndTheOriginalsStayByteForByte) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir("bilder"));
    const QString folder = dir.path() + "/bilder";
    QImage picture(320, 240, QImage::Format_RGB888);
    picture.fill(QColor(30, 160, 90));
    ASSERT_TRUE(picture.save(folder + "/x.jpg", "JPEG"));
    ASSERT_TRUE(picture.save(folder + "/y.png"));
    const QByteArray originalJpeg = bytesOf(folder + "/x.jpg");
    const QByteArray originalPng = bytesOf(folder + "/y.png");

    X11Session session;
    ASSERT_TRUE(session.ok());
    ASSERT_TRUE(session.startProgram({}, folder));
    const QString window = session.waitForWindow("Quillmere", 30000);
    ASSERT_FALSE(window.isEmpty());
    const QPoint origin = session.windowGeometry(window).topLeft();

    // "../" typed into the affix field, then "Start" and Yes.
    session.focusWindow(window);
    session.moveMouse(origin + QPoint(164 + 30, 264 + 10));
    session.click(1);
    session.xdotool({"type", "--delay", "30", "../"});
    ASSERT_TRUE(pressStartAndConfirm(session, origin)) << "no confirmation box";

    // The refusal is a second window titled like the program.
    auto programWindows = [&] {
        return session.xdotool({"search", "--onlyvisible", "--name", "^Quillmere$"})
            .split('\n', Qt::SkipEmptyParts);
    };
    QStringList windows;
    ASSERT_TRUE(session.waitUntil(
        [&] {
            windows = programWindows();
            return windows.size() == 2;
        },
        20000))
        << "the affix was not refused with a message";
    windows.removeAll(window);
    ASSERT_EQ(windows.size(), 1);
    pressEnterIn(session, windows.first());
    ASSERT_TRUE(session.waitUntil([&] { return programWindows().size() == 1; }, 20000));

    EXPECT_EQ(bytesOf(folder + "/x.jpg"), originalJpeg);
    EXPECT_EQ(bytesOf(folder + "/y.png"), originalPng);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), QStringList({"x.jpg", "y.png"}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList()) << "nothing in the parent";
    EXPECT_FALSE(QFileInfo::exists(folder + "/_Parvexo"));

    session.closeWindow(window);
    EXPECT_TRUE(session.waitForProgramExit(20000));
}
