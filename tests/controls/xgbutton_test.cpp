#include "ControlEvents.h"
#include "controls/XGButton.h"
#include "platform/Fonts.h"

#include <QCoreApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

const QColor kParent(235, 235, 235);
const QColor kFill(251, 239, 169);
const QColor kOutline(251, 200, 21);

struct Window {
    Window() {
        QPalette palette = host.palette();
        palette.setColor(QPalette::Window, kParent);
        host.setPalette(palette);
        host.resize(300, 100);
        host.move(400, 300); // away from where the offscreen platform keeps its pointer
        button = new TXGButton(&host);
        button->move(10, 10);
        button->resize(120, 40);
        button->SetText(QString());
    }
    QWidget host;
    TXGButton* button = nullptr;
};

QColor rgb(int r, int g, int b) {
    return QColor(r, g, b);
}

// First and last column of row y that is not the parent's colour.
std::pair<int, int> figureSpan(const QImage& image, int y) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixelColor(x, y) != kParent) {
            first = first < 0 ? x : first;
            last = x;
        }
    }
    return {first, last};
}

} // namespace

TEST(ShapeButton, ConstructionValues) {
    TXGButton b;
    EXPECT_EQ(b.size(), QSize(80, 24));
    EXPECT_EQ(b.Shape(), gbtRectangle);
    EXPECT_EQ(b.Brush().Color(), kFill);
    EXPECT_EQ(b.Pen().Color(), kOutline);
    EXPECT_EQ(b.MOverBrush().Color(), rgb(255, 255, 255));
    EXPECT_EQ(b.MDownPen().Color(), rgb(68, 68, 68));
    EXPECT_EQ(b.Font().Color(), rgb(68, 68, 68));
    EXPECT_EQ(b.Text(), QStringLiteral("OK"));
    EXPECT_EQ(b.TextBorderWidth(), 8);
}

TEST(ShapeButton, FigureBoxes) {
    const QSize size(120, 40);
    EXPECT_EQ(TXGButton::figureBox(gbtCircle, size), QRect(40, 0, 40, 40));
    EXPECT_EQ(TXGButton::figureBox(gbtSquare, size), QRect(40, 0, 40, 40));
    EXPECT_EQ(TXGButton::figureBox(gbtRoundSquare, QSize(41, 80)), QRect(0, 19, 41, 41));
    EXPECT_EQ(TXGButton::figureBox(gbtRoundRect, size), QRect(0, 0, 120, 40));
    EXPECT_EQ(TXGButton::figureBox(gbtEllipse, size), QRect(0, 0, 120, 40));
    EXPECT_EQ(TXGButton::cornerSize(size), 10);
    EXPECT_EQ(TXGButton::cornerSize(QSize(80, 23)), 5);
}

TEST(ShapeButton, CircleIsDrawnInTheCentredSquare) {
    Window w;
    w.button->SetShape(gbtCircle);
    const QImage shown = face(*w.button);
    ASSERT_EQ(shown.size(), QSize(120, 40));
    EXPECT_EQ(at(shown, 39, 20), kParent);
    EXPECT_EQ(at(shown, 40, 20), kOutline);
    EXPECT_EQ(at(shown, 79, 20), kOutline);
    EXPECT_EQ(at(shown, 80, 20), kParent);
    EXPECT_EQ(at(shown, 60, 0), kOutline);
    EXPECT_EQ(at(shown, 60, 39), kOutline);
    EXPECT_EQ(at(shown, 60, 20), kFill);
    EXPECT_EQ(at(shown, 41, 1), kParent); // outside the round edge
    EXPECT_EQ(figureSpan(shown, 20), std::make_pair(40, 79));
}

TEST(ShapeButton, RectangleFillsTheWholeBoxWithExclusiveEdges) {
    Window w;
    const QImage shown = face(*w.button);
    EXPECT_EQ(at(shown, 0, 0), kOutline);
    EXPECT_EQ(at(shown, 119, 39), kOutline);
    EXPECT_EQ(at(shown, 119, 0), kOutline);
    EXPECT_EQ(at(shown, 1, 1), kFill);
    EXPECT_EQ(at(shown, 118, 38), kFill);

    w.button->Pen().SetStyle(Qt::NoPen);
    const QImage filled = face(*w.button);
    EXPECT_EQ(countPixels(filled, kFill), 120 * 40);
}

TEST(ShapeButton, RoundRectHasCornerEllipsesOfAQuarterOfTheShorterSide) {
    Window w;
    w.button->SetShape(gbtRoundRect);
    const QImage shown = face(*w.button);
    EXPECT_EQ(at(shown, 0, 0), kParent);
    EXPECT_EQ(at(shown, 0, 1), kParent);
    EXPECT_EQ(at(shown, 60, 0), kOutline);
    EXPECT_EQ(at(shown, 0, 20), kOutline);
    // A corner ellipse 10 wide: the straight top edge starts about 5 pixels in.
    const auto [first, last] = figureSpan(shown, 0);
    EXPECT_GE(first, 3);
    EXPECT_LE(first, 6);
    EXPECT_GE(last, 113);
    EXPECT_LE(last, 116);
    EXPECT_EQ(figureSpan(shown, 20), std::make_pair(0, 119));
}

TEST(ShapeButton, EqualShapeDoesNotRepaint) {
    Window w;
    w.host.show();
    QCoreApplication::processEvents();
    const PaintCounter paints(*w.button);
    w.button->SetShape(gbtRectangle);
    EXPECT_EQ(paints.count(), 0);
    w.button->SetShape(gbtEllipse);
    EXPECT_EQ(paints.count(), 1); // repainted at once
    w.button->SetShape(gbtEllipse);
    EXPECT_EQ(paints.count(), 1);
}

TEST(ShapeButton, HoverUsesTheSavedStyle) {
    Window w;
    TXGButton& b = *w.button;
    b.MOverBrush().SetColor(rgb(0, 200, 0));
    b.MOverPen().SetColor(rgb(0, 0, 200));
    b.MOverFont().SetColor(rgb(1, 2, 3));
    std::vector<QColor> brushSeenOnEnter;
    QObject::connect(&b, &TXGButton::mouseEnter,
                     [&] { brushSeenOnEnter.push_back(b.Brush().Color()); });
    sendEnter(b);
    EXPECT_EQ(brushSeenOnEnter, std::vector<QColor>{kFill}); // raised before the look changes
    EXPECT_EQ(b.Brush().Color(), rgb(0, 200, 0));
    EXPECT_EQ(b.Pen().Color(), rgb(0, 0, 200));
    EXPECT_EQ(b.Font().Color(), rgb(1, 2, 3));
    EXPECT_EQ(at(face(b), 60, 20), rgb(0, 200, 0));

    b.Brush().SetColor(rgb(200, 0, 0)); // set while hovered: shown now, lost on leave
    EXPECT_EQ(at(face(b), 60, 20), rgb(200, 0, 0));
    sendLeave(b);
    EXPECT_EQ(b.Brush().Color(), kFill);
    EXPECT_EQ(b.Pen().Color(), kOutline);
    EXPECT_EQ(b.Font().Color(), rgb(68, 68, 68));
    EXPECT_EQ(at(face(b), 60, 20), kFill);
}

TEST(ShapeButton, PressReleaseAndClickOrder) {
    Window w;
    TXGButton& b = *w.button;
    b.MDownBrush().SetColor(rgb(9, 9, 9));
    b.MOverBrush().SetColor(rgb(0, 200, 0));
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    std::vector<QColor> brushAtClick;
    QObject::connect(&b, &TXGButton::clicked, [&] { brushAtClick.push_back(b.Brush().Color()); });

    sendEnter(b);
    press(b);
    EXPECT_EQ(b.Brush().Color(), rgb(9, 9, 9));
    EXPECT_EQ(b.Pen().Color(), rgb(68, 68, 68));
    release(b);
    EXPECT_EQ(brushAtClick, std::vector<QColor>{rgb(9, 9, 9)});
    EXPECT_EQ(b.Brush().Color(), rgb(0, 200, 0));

    // Press, drag out, release outside: the leave restores, the release changes nothing.
    press(b);
    pointer.moveTo(b.mapToGlobal(QPoint(300, 5)));
    dragTo(b, QPoint(300, 5));
    EXPECT_EQ(b.Brush().Color(), kFill);
    release(b, QPoint(300, 5));
    sendLeave(b); // the late notice must not restore the saved style a second time
    EXPECT_EQ(b.Brush().Color(), kFill);
    EXPECT_EQ(b.Pen().Color(), kOutline);
    sendEnter(b);
    EXPECT_EQ(brushAtClick.size(), 1u);

    // Right button: the look changes, no click.
    pointer.moveOver(b);
    press(b, {5, 5}, Qt::RightButton);
    EXPECT_EQ(b.Brush().Color(), rgb(9, 9, 9));
    release(b, {5, 5}, Qt::RightButton);
    EXPECT_EQ(b.Brush().Color(), rgb(0, 200, 0));
    EXPECT_EQ(brushAtClick.size(), 1u);

    // A double click is one click.
    press(b);
    release(b);
    doubleClick(b);
    release(b);
    EXPECT_EQ(brushAtClick.size(), 2u);
}

// The plain button shares the aqua button's state machine: a modal box opened by the click
// handler takes no pressed look away, and a pointer gone meanwhile is followed afterwards.
TEST(ShapeButton, CrossingsWithoutAMovingPointerKeepThePressedLookDuringTheClick) {
    Window w;
    TXGButton& b = *w.button;
    w.host.show();
    b.MDownBrush().SetColor(rgb(9, 9, 9));
    b.MOverBrush().SetColor(rgb(0, 200, 0));
    PointerAt pointer(QPoint(0, 0));
    pointer.moveOver(b);
    std::vector<QColor> brushInHandler;
    int leaves = 0;
    QObject::connect(&b, &TXGButton::mouseLeave, [&] { ++leaves; });
    QObject::connect(&b, &TXGButton::clicked, [&] {
        sendLeave(b); // the box opens
        brushInHandler.push_back(b.Brush().Color());
        sendEnter(b); // the box closes
        brushInHandler.push_back(b.Brush().Color());
    });
    sendEnter(b);
    press(b);
    release(b);
    EXPECT_EQ(brushInHandler, (std::vector<QColor>{rgb(9, 9, 9), rgb(9, 9, 9)}));
    EXPECT_EQ(leaves, 0);
    EXPECT_EQ(b.Brush().Color(), rgb(0, 200, 0));

    // The pointer leaves while a box is open, and Qt reports no crossing again: the normal look
    // comes back once the handler ends.
    QObject::disconnect(&b, &TXGButton::clicked, nullptr, nullptr);
    QObject::connect(&b, &TXGButton::clicked, [&] {
        sendLeave(b); // the box opens
        pointer.moveTo(b.mapToGlobal(QPoint(300, 5)));
    });
    press(b);
    release(b);
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(b.Brush().Color(), kFill);
}

TEST(ShapeButton, MultiLineTextCellsTakeASolidBrush) {
    Window w;
    TXGButton& b = *w.button;
    b.SetShape(gbtCircle); // the text cell at the left inset lies on the parent's colour
    b.SetText(QStringLiteral("    "));
    EXPECT_EQ(at(face(b), 9, 9), kParent); // single-line text is transparent
    b.SetWordWrap(true);
    EXPECT_EQ(at(face(b), 9, 9), kFill);
    EXPECT_EQ(at(face(b), 7, 9), kParent); // starts at the inset
    b.Brush().SetStyle(Qt::NoBrush);
    EXPECT_EQ(at(face(b), 9, 9), kParent);
}

TEST(ShapeButton, TopTextIsDrawnOverTheShadeText) {
    Window w;
    TXGButton& b = *w.button;
    b.Pen().SetStyle(Qt::NoPen);
    b.resize(200, 60);
    b.Font().SetFont(uiFont(30)); // stems wide enough to show the pure colours
    b.Font().SetColor(rgb(0, 0, 255));
    b.SetTopTextColor(rgb(255, 0, 0));
    b.SetText(QStringLiteral("HHH"));
    // Shade exactly under the top text: no shade colour is visible.
    QImage shown = face(b);
    EXPECT_GT(countPixels(shown, rgb(255, 0, 0)), 0);
    EXPECT_EQ(countPixels(shown, rgb(0, 0, 255)), 0);
    b.SetTShadeDimension(2);
    shown = face(b);
    EXPECT_GT(countPixels(shown, rgb(0, 0, 255)), 0);
    EXPECT_GT(countPixels(shown, rgb(255, 0, 0)), 0);
    EXPECT_EQ(b.Font().Color(), rgb(0, 0, 255)); // the own font keeps its colour
}
