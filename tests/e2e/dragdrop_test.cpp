// Drag and drop between the real program and a second program of ours, with real input.

#include "X11Session.h"

#include <QColor>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using quill::e2e::X11Session;

namespace {

// Reads the peer's lines as they come; true once a line starting with `prefix` was seen.
bool waitForLine(X11Session& session, QProcess& peer, const QString& prefix, QString* line,
                 int ms) {
    QString seen;
    const bool found = session.waitUntil(
        [&] {
            while (peer.canReadLine()) {
                const QString next = QString::fromUtf8(peer.readLine()).trimmed();
                if (next.startsWith(prefix)) {
                    seen = next;
                    return true;
                }
            }
            peer.waitForReadyRead(10);
            return false;
        },
        ms);
    if (line) {
        *line = seen;
    }
    return found;
}

void drag(X11Session& session, QPoint from, QPoint to) {
    session.moveMouse(from);
    session.xdotool({"mousedown", "1"});
    // Several steps: drags start only after the pointer has moved a little.
    for (int step = 1; step <= 8; ++step) {
        session.moveMouse(from + (to - from) * step / 8);
    }
    // A few more moves over the target give the drag protocol's position and status messages
    // time to go back and forth before the release, also on a busy machine.
    for (int settle = 0; settle < 6; ++settle) {
        session.moveMouse(to + QPoint(1, 1));
        session.moveMouse(to);
    }
}

class DragDropEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pictures_.isValid() && other_.isValid());
        QImage picture(300, 200, QImage::Format_RGB888);
        picture.fill(QColor(30, 60, 220));
        ASSERT_TRUE(picture.save(other_.path() + "/blau.png"));
        QImage first(100, 100, QImage::Format_RGB888);
        first.fill(QColor(240, 240, 0));
        ASSERT_TRUE(first.save(pictures_.path() + "/gelb.png"));
        ASSERT_TRUE(session_.ok());
        // The program at the left of the screen, the peer at the right.
        ASSERT_TRUE(session_.startProgram({}, pictures_.path()));
        window_ = session_.waitForWindow("Quillmere", 30000);
        ASSERT_FALSE(window_.isEmpty());
        origin_ = session_.windowGeometry(window_).topLeft();
    }

    QColor previewCentre() {
        const QImage screen = session_.screenshot();
        return screen.isNull() ? QColor()
                               : QColor(screen.pixel(origin_ + QPoint(252 + 266, 32 + 266)));
    }

    QTemporaryDir pictures_;
    QTemporaryDir other_;
    X11Session session_{1600, 1000};
    QString window_;
    QPoint origin_;
};

} // namespace

TEST_F(DragDropEndToEnd, FileDroppedOntoTheWindowMovesTheListsThereAndPreviewsIt) {
    const QString file = other_.path() + "/blau.png";
    auto peer =
        session_.startOther(quill::e2e::dragPeerPath(),
                            {"source", file, "--rect", "1250,100,300,200", "--name", "Quelle"});
    QString ready;
    ASSERT_TRUE(waitForLine(session_, *peer, "READY", &ready, 20000));
    ASSERT_TRUE(session_.waitUntil([&] { return previewCentre() == QColor(240, 240, 0); }, 20000));

    drag(session_, QPoint(1400, 200), origin_ + QPoint(400, 300));
    session_.xdotool({"mouseup", "1"});
    QString dragged;
    EXPECT_TRUE(waitForLine(session_, *peer, "DRAGGED", &dragged, 20000));
    EXPECT_EQ(dragged, "DRAGGED copy");
    EXPECT_TRUE(session_.waitUntil([&] { return previewCentre() == QColor(30, 60, 220); }, 20000))
        << "the dropped picture was not previewed";
    peer->write("quit\n");
    peer->waitForFinished(5000);
}

TEST_F(DragDropEndToEnd, PreviewDraggedOntoAnotherProgramDeliversTheFileAndEscapeCancels) {
    auto peer = session_.startOther(quill::e2e::dragPeerPath(),
                                    {"target", "--rect", "1250,100,300,200", "--name", "Ziel"});
    ASSERT_TRUE(waitForLine(session_, *peer, "READY", nullptr, 20000));
    ASSERT_TRUE(session_.waitUntil([&] { return previewCentre() == QColor(240, 240, 0); }, 20000));

    const QPoint preview = origin_ + QPoint(252 + 266, 32 + 266);
    drag(session_, preview, QPoint(1400, 200));
    session_.xdotool({"mouseup", "1"});
    QString dropped;
    ASSERT_TRUE(waitForLine(session_, *peer, "DROP ", &dropped, 20000)) << "nothing dropped";
    EXPECT_EQ(QUrl(dropped.mid(5)).toLocalFile(),
              QDir(pictures_.path()).canonicalPath() + "/gelb.png");

    // Again, but Escape before the release: the peer sees the drag leave, never a drop.
    drag(session_, preview, QPoint(1400, 200));
    session_.key("Escape");
    session_.xdotool({"mouseup", "1"});
    EXPECT_TRUE(waitForLine(session_, *peer, "LEAVE", nullptr, 20000));
    EXPECT_FALSE(waitForLine(session_, *peer, "DROP ", nullptr, 1500));
    peer->write("quit\n");
    peer->waitForFinished(5000);
}
