// The real window as the layout draws it: the quality shown with every digit, Qt's dialogs in
// German, "Start" pressed for as long as its click lasts, and the target folder dialog on the
// main window with nothing in its title.

#include "MainWindowSteps.h"
#include "X11Session.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

using quill::e2e::X11Session;

namespace {

const QColor windowColour(235, 235, 235);
const QColor previewGrey(128, 128, 128);

// Columns of the area that carry ink, in runs: "100" gives three, one for each digit, "10" two.
// The one-pixel gaps between digits are grey from anti-aliasing (lightness above 100 here), the
// strokes darker.
struct Ink {
    int runs = 0;
    int first = -1;
    int last = -1;
};

Ink inkIn(const QImage& screen, QRect area) {
    Ink ink;
    bool inRun = false;
    for (int x = area.left(); x <= area.right(); ++x) {
        bool dark = false;
        for (int y = area.top(); y <= area.bottom() && !dark; ++y) {
            dark = QColor(screen.pixel(x, y)).lightness() < 96;
        }
        if (dark) {
            ink.first = ink.first < 0 ? x - area.left() : ink.first;
            ink.last = x - area.left();
            ink.runs += inRun ? 0 : 1;
        }
        inRun = dark;
    }
    return ink;
}

// One column of a face gradient of 80 columns from start to end, as the button draws it.
QColor gradientColumn(QColor start, QColor end, int column) {
    const auto channel = [column](int from, int to) {
        const float step = float(to - from) / 80.0F;
        return int(std::trunc(double(column - 1) * double(step) + from));
    };
    return {channel(start.red(), end.red()), channel(start.green(), end.green()),
            channel(start.blue(), end.blue())};
}

// A visible window with this title other than the one given.
QString otherWindowNamed(X11Session& session, const QString& title, const QString& notThis) {
    const QStringList ids =
        session
            .xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                      QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& id : ids) {
        if (id != notThis) {
            return id;
        }
    }
    return {};
}

QString rgb(QColor c) {
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

bool waitForPaint(X11Session& session, QImage& screen, QPoint origin) {
    return session.waitUntil(
        [&] {
            screen = session.screenshot();
            return !screen.isNull() &&
                   QColor(screen.pixel(origin + QPoint(780, 560))) == previewGrey;
        },
        30000);
}

} // namespace

TEST(LayoutEndToEnd, QualityHundredShowsThreeDigitsAndQtDialogsSpeakGerman) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    X11Session session;
    ASSERT_TRUE(session.ok());
    ASSERT_TRUE(session.startProgram({}, empty.path()));
    const QString window = session.waitForWindow(QStringLiteral("Quillmere"), 30000);
    ASSERT_FALSE(window.isEmpty());
    const QPoint origin = session.windowGeometry(window).topLeft();
    QImage screen;
    ASSERT_TRUE(waitForPaint(session, screen, origin));

    // The quality label from its left edge at 224 to the preview area at 252.
    const QRect label(origin + QPoint(224, 196), QSize(28, 13));
    const Ink at90 = inkIn(screen, label);
    EXPECT_EQ(at90.runs, 2) << "90";

    // A click on the bar right of the handle moves it by a page, from 90 to 100.
    session.moveMouse(origin + QPoint(90 + 154, 234));
    session.click(1);
    Ink at100;
    EXPECT_TRUE(session.waitUntil(
        [&] {
            screen = session.screenshot();
            at100 = inkIn(screen, label);
            return at100.runs == 3;
        },
        20000))
        << "runs of ink: " << at100.runs;
    EXPECT_LE(at100.first, 3) << "the label keeps its left edge";
    // Three digits reach beyond the twelve pixels that held two.
    EXPECT_GT(at100.last, 12);
    EXPECT_LT(at100.last, 28);

    // Qt's own dialogs, opened by "Text Font" and "Text Farbe".
    session.moveMouse(origin + QPoint(8 + 40, 232 + 12));
    session.click(1);
    const QString font = session.waitForWindow(QStringLiteral("Schriftart auswählen"), 20000);
    ASSERT_FALSE(font.isEmpty()) << "no German font dialog";
    session.focusWindow(font);
    session.key(QStringLiteral("Escape"));
    ASSERT_TRUE(session.waitUntil(
        [&] { return session.waitForWindow(QStringLiteral("Schriftart auswählen"), 0).isEmpty(); },
        20000));
    session.moveMouse(origin + QPoint(8 + 40, 268 + 12));
    session.click(1);
    const QString colour = session.waitForWindow(QStringLiteral("Farbauswahl"), 20000);
    ASSERT_FALSE(colour.isEmpty()) << "no German colour dialog";
    session.focusWindow(colour);
    session.key(QStringLiteral("Escape"));

    session.closeWindow(window);
    EXPECT_TRUE(session.waitForProgramExit(20000));
}

TEST(LayoutEndToEnd, StartStaysPressedThroughItsBoxesAndTheFolderDialogOpensOnTheWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage picture(64, 48, QImage::Format_RGB888);
    picture.fill(QColor(200, 120, 40));
    ASSERT_TRUE(picture.save(dir.path() + QStringLiteral("/bild.png")));
    // A file of the output folder's name: the folder can be neither found nor made.
    QFile blocker(dir.path() + QStringLiteral("/_Parvexo"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    X11Session session;
    ASSERT_TRUE(session.ok());
    ASSERT_TRUE(session.startProgram({}, dir.path()));
    const QString window = session.waitForWindow(QStringLiteral("Quillmere"), 30000);
    ASSERT_FALSE(window.isEmpty());
    const QRect main = session.windowGeometry(window);
    const QPoint origin = main.topLeft();
    QImage screen;
    ASSERT_TRUE(waitForPaint(session, screen, origin));

    // Column 40 of "Start" on its first row, where no letter is drawn.
    const QPoint face = origin + QPoint(8 + 40, 197);
    const QColor fadeOut(156, 180, 188);
    const QColor pressed = gradientColumn(Qt::white, fadeOut, 40);
    const QColor normal = gradientColumn(QColor(133, 148, 216), fadeOut, 40);
    ASSERT_EQ(rgb(screen.pixel(face)), rgb(normal));

    const QString question = pressStart(session, origin);
    ASSERT_FALSE(question.isEmpty()) << "no confirmation box";
    screen = session.screenshot();
    EXPECT_EQ(rgb(screen.pixel(face)), rgb(pressed)) << "while the confirmation is open";

    pressEnterIn(session, question);
    QString failure;
    ASSERT_TRUE(session.waitUntil(
        [&] {
            failure = otherWindowNamed(session, QStringLiteral("Quillmere"), window);
            return !failure.isEmpty();
        },
        30000))
        << "no box about the output folder";
    screen = session.screenshot();
    EXPECT_EQ(rgb(screen.pixel(face)), rgb(pressed)) << "while the run shows its message";

    pressEnterIn(session, failure);
    // The dialog's title is a blank, never the program's name.
    const QString dialog = session.waitForWindow(QStringLiteral(" "), 30000);
    ASSERT_FALSE(dialog.isEmpty()) << "no target folder dialog with an empty title";
    EXPECT_TRUE(otherWindowNamed(session, QStringLiteral("Quillmere"), window).isEmpty());
    const QRect placed = session.windowGeometry(dialog);
    EXPECT_EQ(placed.size(), QSize(196, 259));
    EXPECT_LE((placed.center() - main.center()).manhattanLength(), 2)
        << placed.x() << "," << placed.y();
    screen = session.screenshot();
    EXPECT_EQ(rgb(screen.pixel(face)), rgb(pressed)) << "while the dialog is open";

    // "Abbrechen" ends the run; the pointer is then away from "Start", which looks normal again.
    session.moveMouse(placed.topLeft() + QPoint(112 + 37, 224 + 12));
    session.click(1);
    EXPECT_TRUE(session.waitUntil(
        [&] {
            screen = session.screenshot();
            return !screen.isNull() && QColor(screen.pixel(face)) == normal;
        },
        30000));

    session.closeWindow(window);
    EXPECT_TRUE(session.waitForProgramExit(20000));
}
