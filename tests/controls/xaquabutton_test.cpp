#include "AquaWindow.h"
#include "ControlEvents.h"
#include "controls/XAquaButton.h"

#include <QPainter>
#include <QWidget>
#include <QtMath>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

using Window = AquaWindow;

void expectRowsIdentical(const QImage& image) {
    for (int y = 1; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(image.pixelColor(x, y), image.pixelColor(x, 0)) << x << "," << y;
        }
    }
}

QImage solid(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_RGB888);
    image.fill(colour);
    return image;
}

} // namespace

TEST(AquaButton, ConstructionValues) {
    TXAquaButton b;
    EXPECT_EQ(b.size(), QSize(80, 24));
    EXPECT_EQ(b.Brush().Color(), rgb(128, 128, 128));
    EXPECT_EQ(b.Pen().Style(), Qt::NoPen);
    EXPECT_EQ(b.MOverBrush().Color(), rgb(255, 255, 255));
    EXPECT_EQ(b.MDownPen().Color(), rgb(68, 68, 68));
    EXPECT_EQ(b.FadeOutColor(), rgb(192, 192, 192));
    EXPECT_EQ(b.Font().Color(), rgb(68, 68, 68));
    EXPECT_EQ(b.MDownFont().Color(), rgb(68, 68, 68));
    EXPECT_EQ(b.PaintFont().Color(), rgb(0, 0, 0));
    EXPECT_EQ(b.Text(), QStringLiteral("OK"));
    EXPECT_EQ(b.TextBorderWidth(), 4);
    EXPECT_EQ(b.TextBorderHeight(), 4);
    EXPECT_EQ(b.State(), TXAquaButton::Normal);
    EXPECT_EQ(b.focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(b.NormalBackground().isNull()); // built by the first style rebuild only
    EXPECT_EQ(colorFromValue(14193797), rgb(133, 148, 216));
}

TEST(AquaButton, StartGradientOnTheFace) {
    Window w;
    TXAquaButton& b = *w.button;
    b.SetText(QString());
    b.Brush().SetColor(rgb(133, 148, 216)); // a colour set on the own brush rebuilds the style
    b.SetFadeOutColor(rgb(156, 180, 188));
    const QImage shown = face(b);
    ASSERT_EQ(shown.size(), QSize(80, 24));
    EXPECT_EQ(at(shown, 0, 0), rgb(133, 148, 216));
    EXPECT_EQ(at(shown, 1, 0), at(shown, 0, 0));
    EXPECT_EQ(at(shown, 2, 0), rgb(133, 148, 215));
    EXPECT_EQ(at(shown, 40, 0), rgb(144, 163, 202));
    EXPECT_EQ(at(shown, 79, 0), rgb(155, 179, 188));
    expectRowsIdentical(shown);
    EXPECT_EQ(b.NormalBackground().size(), QSize(80, 24));
}

TEST(AquaButton, GradientKeepsTheStepInSinglePrecision) {
    // 14 / 20 = 0.7 is just below 0.7 in single precision, so column 11 (i = 10) is 6, not 7.
    QImage picture(20, 2, QImage::Format_RGB888);
    TXAquaButton::CreateBackground(picture, rgb(0, 0, 0), rgb(14, 0, 0));
    EXPECT_EQ(at(picture, 11, 0).red(), 6);
    EXPECT_EQ(at(picture, 12, 0).red(), 7);
    // Rising gradient: the end colour is never reached.
    QImage rising(10, 3, QImage::Format_RGB888);
    TXAquaButton::CreateBackground(rising, rgb(0, 255, 0), rgb(255, 0, 0));
    const int red[10] = {0, 0, 25, 51, 76, 102, 127, 153, 178, 204};
    const int green[10] = {255, 255, 229, 204, 178, 153, 127, 102, 76, 51};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(at(rising, x, 2), rgb(red[x], green[x], 0)) << x;
    }
    expectRowsIdentical(rising);
    QImage empty;
    TXAquaButton::CreateBackground(empty, rgb(1, 2, 3), rgb(4, 5, 6)); // must not divide by 0
    EXPECT_TRUE(empty.isNull());
}

TEST(AquaButton, FaceIsDrawnOnTheParentColourBeforeAnyStyle) {
    Window w;
    w.button->SetText(QString());
    const QImage shown = face(*w.button);
    EXPECT_EQ(countPixels(shown, rgb(235, 235, 235)), 80 * 24);
}

TEST(AquaButton, MouseOverAndPressedGradientsFollowTheirBrushesAtRebuild) {
    Window w;
    TXAquaButton& b = *w.button;
    b.SetText(QString());
    b.Brush().SetColor(rgb(133, 148, 216));
    b.MOverBrush().SetColor(rgb(220, 5, 27)); // copied only: no rebuild yet
    EXPECT_EQ(at(b.MouseOverBackground(), 0, 0), rgb(255, 255, 255));
    sendEnter(b);
    EXPECT_EQ(at(face(b), 0, 0), rgb(255, 255, 255));
    b.SetTShadeDimension(1); // any rebuild takes the new brush
    EXPECT_EQ(at(face(b), 0, 0), rgb(220, 5, 27));
    press(b);
    EXPECT_EQ(at(face(b), 0, 0), rgb(255, 255, 255));
    EXPECT_EQ(at(face(b), 79, 0), at(b.PressedBackground(), 79, 0));
}

TEST(AquaButton, ResizeRebuildsTheStyle) {
    Window w;
    TXAquaButton& b = *w.button;
    b.Brush().SetColor(rgb(10, 20, 30));
    w.host.show();
    b.resize(120, 40);
    EXPECT_EQ(b.NormalBackground().size(), QSize(120, 40));
    EXPECT_EQ(b.BackPicture().size(), QSize(120, 40));
    EXPECT_EQ(at(b.NormalBackground(), 0, 39), rgb(10, 20, 30));
}

TEST(AquaButton, EnterLeavePressReleaseLooks) {
    Window w;
    TXAquaButton& b = *w.button;
    b.SetTopTextColor(rgb(1, 1, 1));
    b.SetTopTextClOver(rgb(2, 2, 2));
    b.SetTopTextClDown(rgb(3, 3, 3));
    b.Font().SetColor(rgb(10, 0, 0));
    b.MOverFont().SetColor(rgb(20, 0, 0));
    b.MDownFont().SetColor(rgb(30, 0, 0));
    PointerAt pointer(QPoint(-1000, -1000));

    std::vector<int> statesSeenByHandlers;
    QObject::connect(&b, &TXAquaButton::mouseEnter,
                     [&] { statesSeenByHandlers.push_back(b.State()); });
    QObject::connect(&b, &TXAquaButton::mouseLeave,
                     [&] { statesSeenByHandlers.push_back(b.State()); });

    sendEnter(b);
    EXPECT_EQ(b.State(), TXAquaButton::MouseOver);
    EXPECT_EQ(b.PaintFont().Color(), rgb(20, 0, 0));
    EXPECT_EQ(b.TopTextColorInUse(), rgb(2, 2, 2));

    press(b);
    EXPECT_EQ(b.State(), TXAquaButton::Pressed);
    EXPECT_EQ(b.PaintFont().Color(), rgb(30, 0, 0));
    EXPECT_EQ(b.TopTextColorInUse(), rgb(3, 3, 3));

    pointer.moveOver(b);
    release(b);
    EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
    EXPECT_EQ(b.PaintFont().Color(), rgb(20, 0, 0));
    EXPECT_EQ(b.TopTextColorInUse(), rgb(2, 2, 2));

    sendLeave(b);
    EXPECT_EQ(b.State(), TXAquaButton::Normal);
    EXPECT_EQ(b.PaintFont().Color(), rgb(10, 0, 0));
    EXPECT_EQ(b.TopTextColorInUse(), rgb(1, 1, 1));

    // The events are raised before the state changes.
    EXPECT_EQ(statesSeenByHandlers,
              (std::vector<int>{TXAquaButton::Normal, TXAquaButton::ReleasedOver}));
}

TEST(AquaButton, InsideAtReleaseIsThePointersScreenPositionNotTheEvents) {
    Window w;
    TXAquaButton& b = *w.button;
    PointerAt pointer(QPoint(0, 0));
    const QPoint topLeft = b.mapToGlobal(QPoint(0, 0));

    struct Case {
        QPoint screen;
        bool inside;
    };
    const Case cases[] = {{topLeft, true},
                          {topLeft + QPoint(79, 23), true},
                          {topLeft + QPoint(80, 10), false}, // right edge is outside
                          {topLeft + QPoint(10, 24), false}, // bottom edge is outside
                          {topLeft + QPoint(-1, 10), false}};
    for (const Case& c : cases) {
        press(b);
        pointer.moveTo(c.screen);
        release(b, QPoint(5, 5)); // the event itself always lies inside
        EXPECT_EQ(b.State(), c.inside ? TXAquaButton::ReleasedOver : TXAquaButton::Normal)
            << c.screen.x() - topLeft.x() << "," << c.screen.y() - topLeft.y();
    }
}

TEST(AquaButton, ClickRunsWhileThePressedLookIsShown) {
    Window w;
    TXAquaButton& b = *w.button;
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    std::vector<int> statesAtClick;
    QObject::connect(&b, &TXAquaButton::clicked, [&] { statesAtClick.push_back(b.State()); });
    int upsBeforeClick = 0;
    QObject::connect(&b, &TXAquaButton::mouseUp, [&] { upsBeforeClick += statesAtClick.empty(); });
    press(b);
    release(b);
    EXPECT_EQ(statesAtClick, std::vector<int>{TXAquaButton::Pressed});
    EXPECT_EQ(upsBeforeClick, 0);
    EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
}

// A modal box opened by the click handler takes the pointer from the button and gives it back
// when it closes: Qt reports a leave and an enter although the pointer never moved.
TEST(AquaButton, CrossingsWithoutAMovingPointerKeepThePressedLookDuringTheClick) {
    Window w;
    TXAquaButton& b = *w.button;
    w.host.show();
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    std::vector<int> statesInHandler;
    int leaves = 0;
    QObject::connect(&b, &TXAquaButton::mouseLeave, [&] { ++leaves; });
    QObject::connect(&b, &TXAquaButton::clicked, [&] {
        sendLeave(b); // the box opens
        statesInHandler.push_back(b.State());
        sendEnter(b); // the box closes; the run goes on
        statesInHandler.push_back(b.State());
        sendLeave(b); // a second box
        statesInHandler.push_back(b.State());
    });
    sendEnter(b);
    press(b);
    release(b);
    EXPECT_EQ(statesInHandler, (std::vector<int>{TXAquaButton::Pressed, TXAquaButton::Pressed,
                                                 TXAquaButton::Pressed}));
    EXPECT_EQ(leaves, 0);
    EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
    // Outside the click handler a leave is taken as it comes.
    sendLeave(b);
    EXPECT_EQ(b.State(), TXAquaButton::Normal);
    EXPECT_EQ(leaves, 1);
}

TEST(AquaButton, APointerThatReallyCrossesTheEdgeDuringTheClickIsFollowed) {
    Window w;
    TXAquaButton& b = *w.button;
    w.host.show();
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    std::vector<int> statesInHandler;
    QObject::connect(&b, &TXAquaButton::clicked, [&] {
        pointer.moveTo(b.mapToGlobal(QPoint(150, 5)));
        sendLeave(b);
        statesInHandler.push_back(b.State());
        sendEnter(b); // a stray enter while the pointer is outside
        statesInHandler.push_back(b.State());
        pointer.moveOver(b, QPoint(30, 10));
        sendEnter(b);
        statesInHandler.push_back(b.State());
    });
    sendEnter(b);
    press(b);
    release(b);
    EXPECT_EQ(statesInHandler, (std::vector<int>{TXAquaButton::Normal, TXAquaButton::Normal,
                                                 TXAquaButton::MouseOver}));
    EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
}

// The leave Qt sent when the box opened was set aside; the pointer then went to the box and the
// handler ended with it elsewhere. No further leave will come, so the end of the handler brings
// the normal look.
TEST(AquaButton, APointerThatLeftWhileABoxWasOpenGetsTheNormalLookAfterTheClick) {
    Window w;
    TXAquaButton& b = *w.button;
    b.Font().SetColor(rgb(10, 0, 0));
    w.host.show();
    QCoreApplication::processEvents();
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    int leaves = 0;
    QObject::connect(&b, &TXAquaButton::mouseLeave, [&] { ++leaves; });
    QObject::connect(&b, &TXAquaButton::clicked, [&] {
        sendLeave(b);
        pointer.moveTo(b.mapToGlobal(QPoint(300, 200)));
    });
    sendEnter(b);
    press(b);
    const PaintCounter paints(b);
    release(b);
    EXPECT_EQ(b.State(), TXAquaButton::Normal);
    EXPECT_EQ(b.PaintFont().Color(), rgb(10, 0, 0));
    EXPECT_EQ(leaves, 1);
    EXPECT_GE(paints.count(), 1);
}

TEST(AquaButton, ReleaseOutsideChangesNothingVisibleAndGivesNoClick) {
    Window w;
    TXAquaButton& b = *w.button;
    b.MDownFont().SetColor(rgb(30, 0, 0));
    w.host.show();
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    int clicks = 0;
    int leaves = 0;
    QObject::connect(&b, &TXAquaButton::clicked, [&] { ++clicks; });
    QObject::connect(&b, &TXAquaButton::mouseLeave, [&] { ++leaves; });
    sendEnter(b);
    press(b);
    dragTo(b, QPoint(40, 5));
    EXPECT_EQ(b.State(), TXAquaButton::Pressed);
    dragTo(b, QPoint(150, 5)); // dragged out: the normal look shows at once
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(b.State(), TXAquaButton::Normal);
    pointer.moveTo(b.mapToGlobal(QPoint(150, 5)));
    const PaintCounter paints(b);
    release(b, QPoint(150, 5));
    sendLeave(b); // Qt's own late notice of the crossing is a repeat
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(b.State(), TXAquaButton::Normal);
    EXPECT_EQ(paints.count(), 0);

    // Dragged out and back in: the release inside clicks.
    sendEnter(b);
    press(b);
    dragTo(b, QPoint(150, 5));
    dragTo(b, QPoint(20, 5));
    EXPECT_EQ(b.State(), TXAquaButton::MouseOver);
    EXPECT_EQ(leaves, 2);
    pointer.moveOver(b);
    release(b, QPoint(20, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
    sendLeave(b);
    clicks = 0;

    // Released outside straight from the pressed look: the paint font stays the pressed one.
    pointer.moveTo(b.mapToGlobal(QPoint(150, 5)));
    press(b);
    release(b, QPoint(150, 5));
    EXPECT_EQ(b.State(), TXAquaButton::Normal);
    EXPECT_EQ(b.PaintFont().Color(), rgb(30, 0, 0));
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(leaves, 3);
}

TEST(AquaButton, StateChangesRepaintAtOnce) {
    Window w;
    TXAquaButton& b = *w.button;
    w.host.show();
    QCoreApplication::processEvents();
    const PaintCounter paints(b);
    sendEnter(b);
    EXPECT_EQ(paints.count(), 1);
    press(b);
    EXPECT_EQ(paints.count(), 2);
    b.MOverBrush().SetColor(rgb(1, 2, 3)); // copied only
    b.MDownPen().SetColor(rgb(1, 2, 3));
    EXPECT_EQ(paints.count(), 2);
    b.Pen().SetWidth(2); // the own pen rebuilds
    EXPECT_EQ(paints.count(), 3);
    b.SetTakeImg(true);
    b.SetFix(true);
    b.SetTransparency(40);
    EXPECT_EQ(paints.count(), 3);
}

TEST(AquaButton, OtherButtonsChangeTheLookButDoNotClick) {
    Window w;
    TXAquaButton& b = *w.button;
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    int clicks = 0;
    QObject::connect(&b, &TXAquaButton::clicked, [&] { ++clicks; });
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        press(b, {5, 5}, button);
        EXPECT_EQ(b.State(), TXAquaButton::Pressed);
        release(b, {5, 5}, button);
        EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
    }
    EXPECT_EQ(clicks, 0);
    // A right press between a left press and its release does not complete a click either.
    press(b);
    release(b, {5, 5}, Qt::RightButton);
    EXPECT_EQ(clicks, 0);
}

TEST(AquaButton, DoubleClickGivesOneClickAndTogglesTheLatchTwice) {
    Window w;
    TXAquaButton& b = *w.button;
    b.SetFix(true);
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    int clicks = 0;
    QObject::connect(&b, &TXAquaButton::clicked, [&] { ++clicks; });
    press(b);
    release(b);
    EXPECT_TRUE(b.Latched());
    doubleClick(b);
    EXPECT_EQ(b.State(), TXAquaButton::Pressed);
    EXPECT_FALSE(b.Latched());
    release(b);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
}

TEST(AquaButton, FixLatchesThePressedLook) {
    Window w;
    TXAquaButton& b = *w.button;
    b.SetFix(true);
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    int clicks = 0;
    QObject::connect(&b, &TXAquaButton::clicked, [&] { ++clicks; });

    sendEnter(b);
    press(b);
    release(b);
    EXPECT_EQ(b.State(), TXAquaButton::Pressed);
    EXPECT_TRUE(b.Latched());
    sendLeave(b);
    EXPECT_EQ(b.State(), TXAquaButton::Pressed);
    sendEnter(b);
    EXPECT_EQ(b.State(), TXAquaButton::Pressed);

    press(b); // second press releases the latch
    EXPECT_FALSE(b.Latched());
    EXPECT_EQ(b.State(), TXAquaButton::Pressed);
    release(b);
    EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
    EXPECT_EQ(clicks, 2);

    // Without Fix the latch still toggles but has no effect.
    b.SetFix(false);
    press(b);
    release(b);
    EXPECT_EQ(b.State(), TXAquaButton::ReleasedOver);
    b.SetFix(true);
    EXPECT_TRUE(b.Latched());
}

TEST(AquaButton, MergeImagesWeights) {
    const QImage back = solid(2, 1, rgb(255, 200, 100));
    auto merged = [&](QColor target, int percent) {
        QImage b = solid(2, 1, target);
        TXAquaButton::MergeImages(back, b, percent);
        EXPECT_EQ(b.format(), QImage::Format_RGB888);
        return at(b, 1, 0);
    };
    EXPECT_EQ(merged(rgb(0, 50, 30), 0), rgb(0, 50, 30));
    EXPECT_EQ(merged(rgb(0, 50, 30), 100), rgb(255, 200, 100));
    // 255*50/100 = 127, 0*50/100 = 0; 100 + 25; 50 + 15
    EXPECT_EQ(merged(rgb(0, 50, 30), 50), rgb(127, 125, 65));
    // Each quotient rounds down: 255*33/100 = 84 + 10*67/100 = 6
    EXPECT_EQ(merged(rgb(10, 10, 10), 33), rgb(90, 72, 39));
    // Out of range weights keep the low 8 bits:
    // 150: t = 382 -> 126, then 126 - 5 = 121; t = 300 -> 44, 44 - 5 = 39; t = 150, 150 - 5.
    EXPECT_EQ(merged(rgb(10, 10, 10), 150), rgb(121, 39, 145));
    // -20: t = -51 -> 205, 205 + 12 = 217; t = -40 -> 216, 216 + 60 = 276 -> 20; t = -20 -> 236.
    EXPECT_EQ(merged(rgb(10, 50, 0), -20), rgb(217, 20, 236));
    // 150 with a large target byte goes below zero: 126 - 100 = 26, 44 - 100 = -56 -> 200.
    EXPECT_EQ(merged(rgb(200, 200, 200), 150), rgb(26, 200, 50));
    // Extreme weights stay defined: 255 * (2^31 - 1) / 100 -> low byte 99; then
    // (9900 + 10 * (100 - (2^31 - 1))) / 100 = -214748255 -> low byte 161.
    EXPECT_EQ(merged(rgb(10, 10, 10), std::numeric_limits<int>::max()).red(), 161);
}

TEST(AquaButton, MergeImagesOnlyBlendsWhatBothPicturesCover) {
    const QImage back = solid(6, 5, rgb(200, 200, 200));
    QImage target(3, 2, QImage::Format_RGB32); // converted to 24 bits on the way
    target.fill(rgb(0, 0, 0));
    TXAquaButton::MergeImages(back, target, 50);
    EXPECT_EQ(target.format(), QImage::Format_RGB888);
    EXPECT_EQ(target.size(), QSize(3, 2));
    EXPECT_EQ(countPixels(target.convertToFormat(QImage::Format_RGB32), rgb(100, 100, 100)), 6);

    QImage wide = solid(8, 8, rgb(0, 0, 0));
    TXAquaButton::MergeImages(solid(4, 2, rgb(100, 100, 100)), wide, 100);
    EXPECT_EQ(countPixels(wide.convertToFormat(QImage::Format_RGB32), rgb(100, 100, 100)), 8);
    EXPECT_EQ(at(wide, 4, 0), rgb(0, 0, 0));
    EXPECT_EQ(at(wide, 0, 2), rgb(0, 0, 0));
}

TEST(AquaButton, PictureBackgroundsSurviveRebuildsOnlyWithTakeImg) {
    Window w;
    TXAquaButton& b = *w.button;
    b.SetText(QString());
    b.Brush().SetColor(rgb(133, 148, 216));
    b.SetTransparency(50);
    b.SetBackBmp(solid(3, 3, rgb(200, 0, 0)));
    EXPECT_EQ(countPixels(b.BackPicture().convertToFormat(QImage::Format_RGB32), rgb(200, 0, 0)),
              80 * 24);
    b.SetBgBmp(solid(5, 7, rgb(0, 0, 100)));
    b.SetBgOverBmp(solid(5, 7, rgb(0, 100, 0)));
    b.SetBgDownBmp(solid(5, 7, rgb(100, 0, 0)));
    EXPECT_EQ(at(b.NormalBackground(), 79, 23), rgb(100, 0, 50));
    EXPECT_EQ(at(b.MouseOverBackground(), 0, 0), rgb(100, 50, 0));
    EXPECT_EQ(at(b.PressedBackground(), 40, 12), rgb(150, 0, 0));

    b.SetTakeImg(true);
    b.SetFadeOutColor(rgb(1, 2, 3)); // a rebuild
    EXPECT_EQ(at(face(b), 10, 10), rgb(100, 0, 50));
    b.SetTakeImg(false);
    b.SetFadeOutColor(rgb(1, 2, 3));
    EXPECT_EQ(at(face(b), 0, 0), rgb(133, 148, 216));
}

TEST(AquaButton, MultiLineCaptionFollowsTheTextFormat) {
    Window w;
    TXAquaButton& b = *w.button;
    b.resize(120, 40);
    b.Brush().SetColor(rgb(255, 255, 255));
    b.SetFadeOutColor(rgb(255, 255, 255));
    b.Font().SetColor(rgb(0, 0, 0));
    b.SetTShadeDimension(0); // rebuild: paint font black
    b.SetWordWrap(true);
    b.SetText(QStringLiteral("II"));
    auto inkColumns = [&] {
        const QImage shown = face(b);
        int first = shown.width();
        int last = -1;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                if (shown.pixelColor(x, y) != rgb(255, 255, 255)) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
        }
        return std::pair{first, last};
    };
    b.SetTextAlign(1);
    const auto [leftFirst, leftLast] = inkColumns();
    EXPECT_GE(leftFirst, 4);
    EXPECT_LT(leftFirst, 10);
    b.SetTextAlign(3);
    const auto [rightFirst, rightLast] = inkColumns();
    EXPECT_LT(rightLast, 116);
    EXPECT_GT(rightLast, 108);
    b.SetTextAlign(2);
    const auto [midFirst, midLast] = inkColumns();
    EXPECT_NEAR((midFirst + midLast) / 2.0, 60.0, 3.0);
    b.SetTextAlign(7); // anything else is left
    EXPECT_EQ(inkColumns().first, leftFirst);
    EXPECT_EQ(leftLast - leftFirst, rightLast - rightFirst);
}

TEST(AquaButton, SettersCopyAttributes) {
    TXAquaButton b;
    auto brush = std::make_unique<TBrush>(rgb(9, 8, 7), Qt::Dense4Pattern);
    b.SetMOverBrush(*brush);
    brush->SetColor(rgb(1, 1, 1));
    brush.reset();
    EXPECT_EQ(b.MOverBrush().Color(), rgb(9, 8, 7));
    EXPECT_EQ(b.MOverBrush().Style(), Qt::Dense4Pattern);
    TFont font(QFont(QStringLiteral("DejaVu Sans"), 20), rgb(5, 5, 5));
    b.SetMDownFont(font);
    font.SetColor(rgb(6, 6, 6));
    EXPECT_EQ(b.MDownFont().Color(), rgb(5, 5, 5));
    b.SetBrush(TBrush(rgb(40, 50, 60)));
    EXPECT_EQ(b.Brush().Color(), rgb(40, 50, 60));
    EXPECT_EQ(at(b.NormalBackground(), 0, 0), rgb(40, 50, 60)); // its notification rebuilt
}

namespace {

// The columns from the first to the last pixel of the white top text.
int captionInkWidth(const QImage& face) {
    int left = face.width();
    int right = -1;
    for (int y = 0; y < face.height(); ++y) {
        for (int x = 0; x < face.width(); ++x) {
            if (face.pixel(x, y) == qRgb(255, 255, 255)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return right - left + 1;
}

QImage renderAt(QWidget& button, qreal ratio) {
    QImage face(qCeil(button.width() * ratio), qCeil(button.height() * ratio),
                QImage::Format_RGB32);
    face.setDevicePixelRatio(ratio);
    face.fill(Qt::black);
    button.render(&face);
    face.setDevicePixelRatio(1);
    return face;
}

} // namespace

TEST(AquaButton, AFinerScreenGetsTheFaceDrawnForItsPixelsNotTheLayoutsEnlarged) {
    Window w;
    TXAquaButton& b = *w.button;
    b.Brush().SetColor(rgb(133, 148, 216));
    b.SetFadeOutColor(rgb(156, 180, 188));
    b.SetTopTextColor(Qt::white);
    b.SetTShadeDimension(1);
    b.SetText(QStringLiteral("Start"));
    const QImage layout = renderAt(b, 1);
    const int layoutInk = captionInkWidth(layout);
    ASSERT_GT(layoutInk, 10);
    for (const qreal ratio : {1.25, 1.5, 2.0}) {
        SCOPED_TRACE(ratio);
        const QImage fine = renderAt(b, ratio);
        ASSERT_EQ(fine.size(), QSize(qCeil(80 * ratio), qCeil(24 * ratio)));
        const QImage enlarged = layout.scaled(fine.size(), Qt::IgnoreAspectRatio);
        int differing = 0;
        for (int y = 0; y < fine.height(); ++y) {
            for (int x = 0; x < fine.width(); ++x) {
                differing += fine.pixel(x, y) != enlarged.pixel(x, y) ? 1 : 0;
            }
        }
        EXPECT_GT(differing, fine.width() * fine.height() / 10);
        // The caption whole and in proportion, not cut or squeezed.
        EXPECT_NEAR(captionInkWidth(fine), layoutInk * ratio, 3 * ratio);
    }
}
