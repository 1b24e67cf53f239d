#include "controls/HelpHover.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

using namespace quill;

namespace {

// A window with the watched label and a neighbour; the pointer is a point the test moves.
class HoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setGeometry(100, 100, 300, 80);
        help = new QLabel(QStringLiteral("HELP"), &window);
        help->setGeometry(120, 8, 39, 20);
        other = new QLabel(QStringLiteral("Vorschau"), &window);
        other->setGeometry(252, 8, 40, 17);
        window.show();
        QApplication::processEvents();
        hover = std::make_unique<HelpHover>(help);
        hover->setPointerSource([this] { return pointer; });
        hover->setOnStart([this] { events << QStringLiteral("start"); });
        hover->setOnEnd([this] { events << QStringLiteral("end"); });
    }

    QPoint over(QWidget* widget) const { return widget->mapToGlobal(widget->rect().center()); }

    QWidget window;
    QLabel* help = nullptr;
    QLabel* other = nullptr;
    std::unique_ptr<HelpHover> hover;
    QPoint pointer;
    QStringList events;
};

} // namespace

TEST_F(HoverTest, StartsOnTheFirstMovementAndEndsWhenThePointerIsElsewhere) {
    ASSERT_EQ(QApplication::widgetAt(over(help)), help);
    pointer = over(help);
    hover->StaticText1MouseMove();
    EXPECT_TRUE(hover->isRunning());
    // Further movements over the label start nothing new.
    hover->StaticText1MouseMove();
    hover->StaticText1MouseMove();
    hover->checkPointer();
    EXPECT_EQ(events, QStringList{QStringLiteral("start")});

    // The window around the label counts as elsewhere.
    pointer = window.mapToGlobal(QPoint(5, 60));
    hover->checkPointer();
    EXPECT_FALSE(hover->isRunning());
    EXPECT_EQ(events, (QStringList{QStringLiteral("start"), QStringLiteral("end")}));

    // Back and forth: each visit is one start and one end, never two at once.
    for (int round = 0; round < 3; ++round) {
        pointer = over(help);
        hover->StaticText1MouseMove();
        hover->StaticText1MouseMove();
        pointer = over(other);
        hover->checkPointer();
        hover->checkPointer();
    }
    EXPECT_EQ(events.count(QStringLiteral("start")), 4);
    ASSERT_EQ(events.count(QStringLiteral("end")), 4);
    EXPECT_EQ(events.last(), QStringLiteral("end"));
}

TEST_F(HoverTest, OutsideEveryWindowAndAHiddenLabelEndTheHover) {
    pointer = over(help);
    hover->StaticText1MouseMove();
    pointer = QPoint(5000, 5000);
    hover->checkPointer();
    EXPECT_EQ(events.count(QStringLiteral("end")), 1);

    pointer = over(help);
    hover->StaticText1MouseMove();
    help->hide();
    hover->checkPointer();
    EXPECT_FALSE(hover->isRunning());
    EXPECT_EQ(events.count(QStringLiteral("end")), 2);
}

// The timer, not the caller, ends the hover: the event loop runs freely meanwhile.
TEST_F(HoverTest, TheTimerLooksAtThePointerWhileEventsFlow) {
    pointer = over(help);
    hover->StaticText1MouseMove();
    pointer = over(other);
    QElapsedTimer waited;
    waited.start();
    while (hover->isRunning() && waited.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    EXPECT_FALSE(hover->isRunning());
    EXPECT_EQ(events, (QStringList{QStringLiteral("start"), QStringLiteral("end")}));
}

TEST_F(HoverTest, AnInsideTestReplacesTheWidgetUnderThePointer) {
    // The tool-window kind of hover: inside a rectangle rather than over one widget.
    const QRect frame(0, 0, 50, 50);
    hover->setInsideTest([&](QPoint global) { return frame.contains(global); });
    pointer = QPoint(10, 10);
    hover->pointerMoved();
    hover->checkPointer();
    EXPECT_TRUE(hover->isRunning());
    pointer = QPoint(50, 10);
    hover->checkPointer();
    EXPECT_FALSE(hover->isRunning());
}
