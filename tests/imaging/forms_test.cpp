// The two windows of the transforms and the " XTRA " hover that shows the tool window.

#include "imaging/Rotate.h"
#include "imaging_ui/Unit2.h"
#include "imaging_ui/Unit4.h"
#include "imaging_ui/XtraHover.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace quill {
namespace {

TEST(FormsTool, LayoutOfDrehenUndSpiegeln) {
    TForm4 form;
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.isWindow());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("drehen & spiegeln"));
    EXPECT_EQ(form.Client->size(), QSize(168, 215));
    // Its own tool frame shows the whole title beside no system buttons.
    EXPECT_LE(QFontMetrics(form.captionFont()).horizontalAdvance(form.windowTitle()) + 8,
              form.captionRect().width());
    EXPECT_EQ(form.windowType(), Qt::Tool);
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(form.Panel1->geometry(), QRect(8, 8, 153, 105));
    EXPECT_EQ(form.Panel2->geometry(), QRect(8, 120, 153, 89));
    const QRadioButton* turns[] = {form.RadioButton1, form.RadioButton2, form.RadioButton3,
                                   form.RadioButton4};
    const QRadioButton* mirrors[] = {form.RadioButton5, form.RadioButton6, form.RadioButton7};
    const char* turnCaptions[] = {"nicht drehen", "90° nach links", "90° nach rechts", "180°"};
    const char* mirrorCaptions[] = {"nicht spiegeln", "horizontal spiegeln", "vertikal spiegeln"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(turns[i]->parentWidget(), form.Panel1);
        EXPECT_EQ(turns[i]->geometry(), QRect(8, 8 + 24 * i, 113, 17));
        EXPECT_EQ(turns[i]->text(), QString::fromUtf8(turnCaptions[i]));
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mirrors[i]->parentWidget(), form.Panel2);
        EXPECT_EQ(mirrors[i]->geometry(), QRect(8, 8 + 24 * i, 113, 17));
        EXPECT_EQ(mirrors[i]->text(), QString::fromUtf8(mirrorCaptions[i]));
    }
    EXPECT_TRUE(form.RadioButton1->isChecked());
    EXPECT_TRUE(form.RadioButton5->isChecked());
    EXPECT_EQ(form.transformCode(), 0);
}

TEST(FormsTool, EveryCombinationGivesItsCode) {
    TForm4 form;
    QRadioButton* turns[] = {form.RadioButton1, form.RadioButton2, form.RadioButton3,
                             form.RadioButton4};
    QRadioButton* mirrors[] = {form.RadioButton5, form.RadioButton6, form.RadioButton7};
    const int turnCodes[] = {0, 1, 2, 4};
    const int mirrorCodes[] = {0, 8, 16};
    for (int t = 0; t < 4; ++t) {
        for (int m = 0; m < 3; ++m) {
            turns[t]->click();
            mirrors[m]->click();
            // The groups are independent: choosing in one leaves the other alone.
            EXPECT_TRUE(turns[t]->isChecked());
            const int code = form.transformCode();
            EXPECT_EQ(code, turnCodes[t] + mirrorCodes[m]);
            EXPECT_TRUE(isTransformCode(code));
        }
    }
}

TEST(FormsText, LayoutAndOkAndCloseBox) {
    TForm2 form;
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Text Eingabe"));
    EXPECT_EQ(form.size(), QSize(312, 93));
    EXPECT_EQ(form.Edit1->geometry(), QRect(16, 16, 281, 21));
    EXPECT_EQ(form.CheckBox1->geometry(), QRect(16, 56, 177, 17));
    EXPECT_EQ(form.CheckBox1->text(), QStringLiteral("Diesen Text verwenden"));
    EXPECT_FALSE(form.CheckBox1->isChecked());
    EXPECT_EQ(form.Button1->geometry(), QRect(224, 56, 75, 25));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("OK"));
    EXPECT_FALSE(form.Button1->isDefault());
    EXPECT_FALSE(form.Button1->autoDefault());
    EXPECT_TRUE(form.overlayText().isEmpty());

    form.show();
    form.Edit1->setText(QStringLiteral("Sommer"));
    form.Button1->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.overlayText(), QStringLiteral("Sommer"));

    form.show();
    form.Edit1->setText(QStringLiteral("Winter"));
    form.CheckBox1->setChecked(true);
    form.close(); // the close box
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.overlayText(), QStringLiteral("Sommer"));
    EXPECT_EQ(form.Edit1->text(), QStringLiteral("Winter"));
    EXPECT_TRUE(form.useOverlay());
}

// "Text Eingabe" has no cancel button: Escape, from the text field or from the form, leaves it
// open and keeps what was typed; the close box still closes it.
TEST(FormsText, EscapeClosesNothing) {
    TForm2 form;
    form.show();
    QCoreApplication::processEvents();
    int finished = 0;
    QObject::connect(&form, &QDialog::finished, [&] { ++finished; });
    form.Edit1->setText(QStringLiteral("Herbst"));
    for (QWidget* target : {static_cast<QWidget*>(form.Edit1), static_cast<QWidget*>(&form)}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &release);
        EXPECT_TRUE(form.isVisible());
    }
    EXPECT_EQ(finished, 0);
    EXPECT_EQ(form.Edit1->text(), QStringLiteral("Herbst"));
    EXPECT_TRUE(form.overlayText().isEmpty());
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(finished, 1);
}

struct HoverFixture {
    QWidget mainWindow;
    TForm4 form4{&mainWindow};
    XtraHover hover{&mainWindow, &form4};
    QPoint pointer;

    HoverFixture() {
        mainWindow.setGeometry(100, 120, 794, 576);
        mainWindow.show();
        hover.setPointerSource([this] { return pointer; });
    }
};

TEST(FormsHover, ShowsOverTheLabelAndHidesOutsideTheFrame) {
    HoverFixture f;
    f.pointer = f.mainWindow.frameGeometry().topLeft() + QPoint(20, 20);
    f.hover.StaticText2MouseMove();
    ASSERT_TRUE(f.form4.isVisible());
    EXPECT_TRUE(f.hover.isRunning());
    const QRect frame = f.form4.frameGeometry();
    EXPECT_EQ(frame.topLeft(), f.mainWindow.frameGeometry().topLeft() + QPoint(0, 8));

    // Inside, up to the last pixel before the right and bottom edges.
    for (QPoint inside : {frame.topLeft(), frame.bottomRight(), frame.center()}) {
        f.pointer = inside;
        f.hover.checkPointer();
        EXPECT_TRUE(f.form4.isVisible());
    }
    // A second movement while open changes nothing, even if the main window moved meanwhile.
    f.mainWindow.move(300, 300);
    f.hover.StaticText2MouseMove();
    EXPECT_EQ(f.form4.frameGeometry().topLeft(), frame.topLeft());

    f.pointer = frame.topLeft() + QPoint(frame.width(), 0); // on the right edge: outside
    f.hover.checkPointer();
    EXPECT_FALSE(f.form4.isVisible());
    EXPECT_FALSE(f.hover.isRunning());

    // Back over the label: shown again, at the main window's new place.
    f.hover.StaticText2MouseMove();
    EXPECT_TRUE(f.form4.isVisible());
    EXPECT_EQ(f.form4.frameGeometry().topLeft(),
              f.mainWindow.frameGeometry().topLeft() + QPoint(0, 8));
    f.pointer = QPoint(0, 0);
    f.hover.checkPointer();
    EXPECT_FALSE(f.form4.isVisible());
}

TEST(FormsHover, PointerNotOverTheWindowHidesAtTheFirstCheck) {
    HoverFixture f;
    f.pointer = QPoint(5000, 5000);
    f.hover.StaticText2MouseMove();
    EXPECT_TRUE(f.form4.isVisible());
    f.hover.checkPointer();
    EXPECT_FALSE(f.form4.isVisible());
    // The choice made in the window survives hiding.
    f.form4.RadioButton4->click();
    f.hover.StaticText2MouseMove();
    f.hover.checkPointer();
    EXPECT_EQ(f.form4.transformCode(), TurnHalf);
}

TEST(FormsHover, ThePollTimerDoesTheChecking) {
    HoverFixture f;
    f.pointer = f.mainWindow.frameGeometry().topLeft() + QPoint(20, 20);
    f.hover.StaticText2MouseMove();
    int polls = 0;
    f.hover.setPointerSource([&] {
        // Inside for the first looks, then away.
        return ++polls < 3 ? f.form4.frameGeometry().center() : QPoint(-100, -100);
    });
    QDeadlineTimer deadline(10000);
    while (f.hover.isRunning() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_FALSE(f.hover.isRunning());
    EXPECT_FALSE(f.form4.isVisible());
    EXPECT_EQ(polls, 3);
}

// Escape while the pointer keeps the window open hides it and ends the hover, so the next
// movement over the label shows it again.
TEST(FormsHover, EscapeEndsAPointerHover) {
    HoverFixture f;
    f.pointer = f.mainWindow.frameGeometry().topLeft() + QPoint(20, 20);
    f.hover.StaticText2MouseMove();
    ASSERT_TRUE(f.form4.isVisible());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&f.form4, &escape);
    EXPECT_FALSE(f.form4.isVisible());
    EXPECT_FALSE(f.hover.isRunning());
    f.hover.StaticText2MouseMove();
    EXPECT_TRUE(f.form4.isVisible());
    EXPECT_TRUE(f.hover.isRunning());
}

// Where the window manager shows the window elsewhere than Qt believes, the pointer's reported
// position lies outside its frame while the window system says the pointer is in it: it stays
// open until the pointer leaves.
TEST(FormsHover, ThePointerInTheWindowKeepsItOpenWhereverQtBelievesItIs) {
    HoverFixture f;
    f.pointer = f.mainWindow.frameGeometry().topLeft() + QPoint(20, 20);
    f.hover.StaticText2MouseMove();
    ASSERT_TRUE(f.form4.isVisible());
    f.pointer = f.form4.frameGeometry().bottomRight() + QPoint(40, 40);
    f.form4.setAttribute(Qt::WA_UnderMouse, true); // what the window system's enter sets
    f.hover.checkPointer();
    EXPECT_TRUE(f.form4.isVisible());
    f.form4.setAttribute(Qt::WA_UnderMouse, false);
    f.hover.checkPointer();
    EXPECT_FALSE(f.form4.isVisible());
}

} // namespace
} // namespace quill
