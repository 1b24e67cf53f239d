// The look the main window gives its aqua buttons.

#include "../controls/AquaWindow.h"
#include "../controls/ControlEvents.h"
#include "app/ButtonLook.h"
#include "controls/XAquaButton.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace quill;
using namespace quill::test;

namespace {

using Window = AquaWindow;

} // namespace

TEST(MainWindowButtonLook, ShowsTheConstructionShadeUntilHovered) {
    Window w;
    TXAquaButton& b = *w.button;
    applyMainWindowLook(b, QStringLiteral("Start"), true);
    w.host.show(); // showing delivers the pending resize of the same size: no rebuild
    EXPECT_EQ(b.Text(), QStringLiteral("Start"));
    EXPECT_EQ(b.Font().Color(), rgb(128, 128, 64));
    EXPECT_EQ(b.PaintFont().Color(), rgb(68, 68, 68));
    EXPECT_EQ(b.TopTextColorInUse(), rgb(255, 255, 255));
    QImage shown = face(b);
    EXPECT_GT(countPixels(shown, rgb(68, 68, 68)), 0);
    EXPECT_EQ(countPixels(shown, rgb(128, 128, 64)), 0);
    EXPECT_GT(countPixels(shown, rgb(255, 255, 255)), 0);
    EXPECT_EQ(at(shown, 0, 0), rgb(133, 148, 216));

    sendEnter(b);
    shown = face(b);
    EXPECT_EQ(at(shown, 0, 0), rgb(220, 5, 27)); // the red mouse-over gradient of "Start"
    EXPECT_GE(countPixels(shown, rgb(220, 5, 27)), 24 * 2);
    EXPECT_EQ(b.TopTextColorInUse(), rgb(68, 68, 68));
    sendLeave(b);
    shown = face(b);
    EXPECT_EQ(b.PaintFont().Color(), rgb(128, 128, 64));
    EXPECT_GT(countPixels(shown, rgb(128, 128, 64)), 0);
    EXPECT_EQ(countPixels(shown, rgb(68, 68, 68)), 0);
    EXPECT_GT(countPixels(shown, rgb(255, 255, 255)), 0);
}

TEST(MainWindowButtonLook, TheTextButtons) {
    TXAquaButton b;
    applyMainWindowLook(b, QStringLiteral("Text Farbe"), false);
    EXPECT_EQ(b.MOverBrush().Color(), rgb(255, 255, 255));
    EXPECT_EQ(b.TopTextClOver(), rgb(133, 148, 216));
    EXPECT_EQ(b.MOverFont().Color(), rgb(255, 255, 255));
    EXPECT_EQ(b.Text(), QStringLiteral("Text Farbe"));
    EXPECT_EQ(b.PaintFont().Color(), rgb(68, 68, 68));
}
