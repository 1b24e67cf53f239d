#include "browse/RenameDialog.h"

#include "TestSupport.h"
#include "controls/Modal.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

using namespace quill;

namespace {

void pressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// Shows the dialog without a nested event loop and returns how it was closed.
class ShownDialog : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&dialog, &QDialog::finished, [this](int result) { finished = result; });
        dialog.Edit1->setText(QStringLiteral("Urlaub 01"));
        dialog.show();
        QApplication::processEvents();
    }
    void TearDown() override { dialog.hide(); }

    TOKBottomDlg dialog;
    int finished = -1;
};

} // namespace

TEST(RenameDialog, Layout) {
    TOKBottomDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Rename File"));
    EXPECT_EQ(dialog.size(), QSize(312, 93));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);

    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Neuen Dateinamen ohne Endung eingeben !"));
    // Widened to the name field's width: the prompt is wider in our face.
    EXPECT_EQ(dialog.Label1->geometry(), QRect(24, 8, 257, 13));
    EXPECT_EQ(dialog.Edit1->geometry(), QRect(24, 32, 257, 21));
    EXPECT_EQ(dialog.OKBtn->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.OKBtn->geometry(), QRect(71, 60, 75, 25));
    EXPECT_EQ(dialog.CancelBtn->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(dialog.CancelBtn->geometry(), QRect(159, 60, 75, 25));
    EXPECT_TRUE(dialog.OKBtn->isDefault());
    EXPECT_FALSE(dialog.CancelBtn->isDefault());
}

TEST_F(ShownDialog, TabGoesOkAbbrechenNameField) {
    QStringList order;
    for (int step = 0; step < 4; ++step) {
        QWidget* focus = dialog.focusWidget();
        order << (focus == dialog.OKBtn       ? QStringLiteral("OK")
                  : focus == dialog.CancelBtn ? QStringLiteral("Abbrechen")
                  : focus == dialog.Edit1     ? QStringLiteral("Edit1")
                                              : QStringLiteral("?"));
        pressKey(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(order, (QStringList{QStringLiteral("OK"), QStringLiteral("Abbrechen"),
                                  QStringLiteral("Edit1"), QStringLiteral("OK")}));
}

TEST_F(ShownDialog, OpensWithTheFocusOnOk) {
    EXPECT_EQ(dialog.focusWidget(), dialog.OKBtn);
}

TEST_F(ShownDialog, EnterInTheNameFieldIsOk) {
    dialog.Edit1->setFocus();
    pressKey(dialog.Edit1, Qt::Key_Return);
    EXPECT_EQ(finished, QDialog::Accepted);
}

TEST_F(ShownDialog, EscapeIsCancel) {
    dialog.Edit1->setFocus();
    pressKey(dialog.Edit1, Qt::Key_Escape);
    EXPECT_EQ(finished, QDialog::Rejected);
}

TEST_F(ShownDialog, TheButtonsCloseWithTheirResults) {
    dialog.CancelBtn->click();
    EXPECT_EQ(finished, QDialog::Rejected);
    dialog.show();
    finished = -1;
    dialog.OKBtn->click();
    EXPECT_EQ(finished, QDialog::Accepted);
}

TEST_F(ShownDialog, TheCloseBoxIsCancel) {
    dialog.close();
    EXPECT_EQ(finished, QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(RenameDialog, CentresOnTheMainWindow) {
    QWidget main;
    main.setGeometry(200, 150, 794, 576);
    main.show();
    TOKBottomDlg dialog;
    dialog.setCentreOn(&main);
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.frameGeometry().center(), main.frameGeometry().center());
    dialog.hide();
}

// Before its first showing a window has no frame yet; it is placed so that the frame it will
// get, one like the main window's, is centred on the main window. (The offscreen platform's
// frames are even on all sides; a window manager's title bar makes the difference.)
TEST(RenameDialog, BeforeItIsFirstShownItIsCentredOnTheMainWindowOrTheScreen) {
    QWidget main;
    main.setGeometry(200, 150, 794, 576);
    main.show();
    QApplication::processEvents();
    const QRect mainFrame = main.frameGeometry();
    const QRect mainClient = main.geometry();
    ASSERT_NE(mainFrame, mainClient) << "the platform gives windows no frame";
    const QMargins frame(mainClient.left() - mainFrame.left(), mainClient.top() - mainFrame.top(),
                         mainFrame.right() - mainClient.right(),
                         mainFrame.bottom() - mainClient.bottom());
    QWidget dialog;
    dialog.resize(312, 93);
    ASSERT_EQ(dialog.frameGeometry(), dialog.geometry());
    centreOn(dialog, &main);
    const QRect framed = dialog.geometry().marginsAdded(frame);
    EXPECT_LE((framed.center() - mainFrame.center()).manhattanLength(), 1)
        << framed.center().x() << "," << framed.center().y();
    // Without a window to centre on, the screen's middle.
    QWidget alone;
    alone.resize(300, 200);
    centreOn(alone, nullptr);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((alone.frameGeometry().center() - screen.center()).manhattanLength(), 1);
}

TEST(RenameDialog, AskNewBaseNameFillsTheFieldAndReturnsTheTypedText) {
    TOKBottomDlg dialog;
    QString seen;
    quill::test::DialogScript script([&](QDialog& shown) {
        EXPECT_EQ(&shown, &dialog);
        seen = dialog.Edit1->text();
        dialog.Edit1->setText(QStringLiteral(" Strand "));
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(AskNewBaseName(dialog, QStringLiteral("Urlaub 01")), QStringLiteral(" Strand "));
    EXPECT_EQ(seen, QStringLiteral("Urlaub 01"));
    EXPECT_EQ(script.runs(), 1);

    // An empty name comes in empty, and empty is a valid answer.
    quill::test::DialogScript empty([&](QDialog&) {
        seen = dialog.Edit1->text();
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(AskNewBaseName(dialog, QString()), QString(""));
    EXPECT_TRUE(seen.isEmpty());
}

TEST(RenameDialog, CancelGivesNothing) {
    TOKBottomDlg dialog;
    quill::test::DialogScript script([&](QDialog&) {
        dialog.Edit1->setText(QStringLiteral("typed but cancelled"));
        return int(QDialog::Rejected);
    });
    EXPECT_EQ(AskNewBaseName(dialog, QStringLiteral("alt")), std::nullopt);
}
