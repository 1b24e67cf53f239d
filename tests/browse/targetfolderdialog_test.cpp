#include "browse/TargetFolderDialog.h"

#include "TestSupport.h"
#include "browse/DirectoryListBox.h"
#include "browse/DriveComboBox.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quill;

namespace {

class TargetFolderDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        base = QDir(tmp.path()).canonicalPath();
        for (const char* name : {"pics/2004", "floppy"}) {
            ASSERT_TRUE(QDir(base).mkpath(name));
        }
        const QString floppy = base + "/floppy";
        setVolumeSource([floppy] {
            return std::vector<Volume>{{"/", VolumeType::Fixed, {}, {}, true},
                                       {floppy, VolumeType::Removable, {}, {}, false}};
        });
        forgetRememberedFolders();
        setCurrentDir(base + "/pics");
    }
    void TearDown() override {
        setVolumeSource(nullptr);
        forgetRememberedFolders();
    }

    CurrentDirGuard cwdBack;
    QTemporaryDir tmp;
    QString base;
};

void pressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

} // namespace

TEST_F(TargetFolderDialogTest, LayoutAsDesigned) {
    TOKBottomDlg1 dialog;
    EXPECT_TRUE(dialog.windowTitle().trimmed().isEmpty());
    EXPECT_EQ(dialog.size(), QSize(196, 259));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Zielverzeichnis auswählen:"));
    EXPECT_EQ(dialog.DriveComboBox1->geometry(), QRect(24, 40, 145, 19));
    EXPECT_EQ(dialog.DirectoryListBox1->geometry(), QRect(24, 72, 145, 97));
    EXPECT_EQ(dialog.DirectoryListBox1->itemHeight(), 16);
    EXPECT_EQ(dialog.Label2->geometry(), QRect(16, 184, 169, 17));
    EXPECT_EQ(dialog.OKBtn->text(), "OK");
    EXPECT_TRUE(dialog.OKBtn->isDefault());
    EXPECT_EQ(dialog.Button1->text(), "Abbrechen");
    EXPECT_EQ(dialog.OKBtn->nextInFocusChain(), dialog.DirectoryListBox1);
    // Both lists start on the process's current folder; the label shows it.
    EXPECT_EQ(dialog.DirectoryListBox1->Directory(), base + "/pics");
    EXPECT_EQ(dialog.DriveComboBox1->Drive(), "/");
    EXPECT_EQ(dialog.Label2->text(), base + "/pics");
}

TEST_F(TargetFolderDialogTest, ALongPathStaysOnOneRightAlignedLine) {
    TOKBottomDlg1 dialog;
    QString deep = base;
    for (int i = 0; i < 6; ++i) {
        deep += "/ein langer Ordnername";
    }
    ASSERT_TRUE(QDir().mkpath(deep));
    dialog.DirectoryListBox1->SetDirectory(deep);
    EXPECT_EQ(dialog.Label2->text(), deep);
    EXPECT_FALSE(dialog.Label2->wordWrap());
    EXPECT_TRUE(dialog.Label2->alignment() & Qt::AlignRight);
    EXPECT_EQ(dialog.Label2->height(), 17);
    EXPECT_GT(QFontMetrics(dialog.Label2->font()).horizontalAdvance(deep), 169);
}

TEST_F(TargetFolderDialogTest, ReturnsTheChosenFolderAndKeepsItForTheNextUse) {
    TOKBottomDlg1 dialog;
    QString labelWhenShown;
    test::DialogScript script([&](QDialog&) {
        labelWhenShown = dialog.Label2->text();
        dialog.DirectoryListBox1->SetDirectory(base + "/pics/2004");
        EXPECT_EQ(dialog.Label2->text(), base + "/pics/2004");
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(dialog.ChooseFolder(), base + "/pics/2004");
    EXPECT_EQ(labelWhenShown, base + "/pics");

    // A second use opens on the folder chosen the first time.
    test::DialogScript second([&](QDialog&) {
        labelWhenShown = dialog.Label2->text();
        return int(QDialog::Accepted);
    });
    EXPECT_EQ(dialog.ChooseFolder(), base + "/pics/2004");
    EXPECT_EQ(labelWhenShown, base + "/pics/2004");
}

TEST_F(TargetFolderDialogTest, CancelGivesNothing) {
    TOKBottomDlg1 dialog;
    test::DialogScript script([&](QDialog&) {
        dialog.Button1->click();
        return dialog.result();
    });
    EXPECT_FALSE(dialog.ChooseFolder().has_value());
    EXPECT_EQ(script.runs(), 1);
}

TEST_F(TargetFolderDialogTest, EnterConfirmsAndEscapeDoesNothing) {
    TOKBottomDlg1 dialog;
    dialog.DirectoryListBox1->SetDirectory(base + "/pics/2004");
    dialog.show();
    dialog.DirectoryListBox1->setCurrentRow(0);

    pressKey(&dialog, Qt::Key_Escape);
    pressKey(dialog.DirectoryListBox1, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());

    // Enter in the folder list goes to the default button, not into the highlighted folder.
    pressKey(dialog.DirectoryListBox1, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.DirectoryListBox1->Directory(), base + "/pics/2004");
}

TEST_F(TargetFolderDialogTest, AnEmptyDriveIsReportedAndNothingMoves) {
    TOKBottomDlg1 dialog;
    test::MessageRecorder messages;
    const int floppyIndex = dialog.DriveComboBox1->findData(base + "/floppy");
    ASSERT_GE(floppyIndex, 0);

    dialog.DriveComboBox1->setCurrentIndex(floppyIndex);
    emit dialog.DriveComboBox1->activated(floppyIndex);

    ASSERT_EQ(messages.texts(), QStringList{"Kein Datenträger im Laufwerk"});
    EXPECT_TRUE(messages.shown()[0].title.isEmpty());
    EXPECT_EQ(messages.shown()[0].icon, MsgIcon::None);
    EXPECT_EQ(messages.shown()[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(dialog.DriveComboBox1->Drive(), "/");
    EXPECT_EQ(dialog.DriveComboBox1->entryDrive(dialog.DriveComboBox1->currentIndex()), "/");
    EXPECT_EQ(dialog.DirectoryListBox1->Directory(), base + "/pics");
    EXPECT_EQ(dialog.Label2->text(), base + "/pics");
    EXPECT_EQ(currentDir(), base + "/pics");
}
