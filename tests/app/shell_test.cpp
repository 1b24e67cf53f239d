// The window's shell handlers: renaming the current file by a double click, the About box and
// opening the previewed file.

#include "WindowFixture.h"

#include "browse/FileListBox.h"
#include "browse/RenameDialog.h"
#include "controls/Image.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

using namespace quill;
using quill::test::WindowTest;

namespace {

const QString renameFailed = QStringLiteral(
    "Datei kann nicht umbenannt werden! Name existiert bereits oder Datei schreibgeschützt!");

// Answers the rename dialog: checks what it was opened with, types the new name, confirms.
test::DialogScript typeName(const QString& expectedOld, const QString& typed,
                            int result = QDialog::Accepted) {
    return test::DialogScript([=](QDialog& dialog) {
        auto* rename = qobject_cast<TOKBottomDlg*>(&dialog);
        EXPECT_NE(rename, nullptr);
        if (!rename) {
            return int(QDialog::Rejected);
        }
        EXPECT_EQ(rename->Edit1->text(), expectedOld);
        rename->Edit1->setText(typed);
        return result;
    });
}

} // namespace

TEST_F(WindowTest, DoubleClickRenamesKeepingTheOldExtensionAndSelectsTheOldPosition) {
    writePicture("b_Urlaub 01.JPG", 40, 30, Qt::red);
    writePicture("c.png", 300, 200, Qt::red);
    TForm1& w = start();
    w.FileListBox1->SetSelected(0, true);
    {
        auto script = typeName("b_Urlaub 01", "z_Strand");
        w.FileListBox1DblClick();
        EXPECT_EQ(script.runs(), 1);
    }
    EXPECT_TRUE(QFileInfo::exists(path("z_Strand.JPG")));
    EXPECT_FALSE(QFileInfo::exists(path("b_Urlaub 01.JPG")));
    // The list is sorted again; the entry at the old position (0) is now c.png.
    EXPECT_EQ(w.FileListBox1->FileName(), path("c.png"));
    EXPECT_EQ(w.Label5->text(), "300");

    {
        auto script = typeName("c", "Foto.png");
        w.FileListBox1DblClick();
    }
    EXPECT_TRUE(QFileInfo::exists(path("Foto.png.png")));
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(WindowTest, RenameRefusalsLeaveEveryFileAlone) {
    writePicture("a.png", 40, 30, Qt::red);
    writePicture("b.png", 40, 30, Qt::blue);
    TForm1& w = start();
    w.FileListBox1->SetSelected(0, true);
    {
        auto script = typeName("a", "b");
        w.FileListBox1DblClick();
    }
    ASSERT_EQ(messages_.texts(), QStringList({renameFailed}));
    EXPECT_EQ(messages_.shown()[0].title, "");
    EXPECT_TRUE(QFileInfo::exists(path("a.png")));
    EXPECT_EQ(QImage(path("b.png")).pixelColor(1, 1), QColor(Qt::blue)) << "never replaced";

    messages_.clear();
    w.FileListBox1->SetSelected(0, true);
    {
        auto script = typeName("a", "../a");
        w.FileListBox1DblClick();
    }
    EXPECT_EQ(messages_.texts(), QStringList({renameFailed})) << "a name may not move the file";
    EXPECT_TRUE(QFileInfo::exists(path("a.png")));

    // An unselected current entry: the dialog opens empty and OK fails.
    messages_.clear();
    w.FileListBox1->SetSelected(0, false);
    {
        auto script = typeName("", "neu");
        w.FileListBox1DblClick();
        EXPECT_EQ(script.runs(), 1);
    }
    EXPECT_EQ(messages_.texts(), QStringList({renameFailed}));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList({"a.png", "b.png"}));
}

TEST_F(WindowTest, RenameCancelledChangesNothingAndReadsNothing) {
    writePicture("a.png", 40, 30, Qt::red);
    TForm1& w = start();
    w.FileListBox1->SetSelected(0, true);
    int previews = 0;
    const QObject counting; // the connection ends with this test's scope
    QObject::connect(w.Image1, &TImage::pictureChanged, &counting, [&] { ++previews; });
    {
        auto script = typeName("a", "b", QDialog::Rejected);
        w.FileListBox1DblClick();
    }
    EXPECT_TRUE(QFileInfo::exists(path("a.png")));
    EXPECT_EQ(previews, 0) << "no preview";
    EXPECT_TRUE(w.FileListBox1->Selected(0)) << "no re-read: a read clears the selection";
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(WindowTest, AboutBoxHasABlankTitleAndThreeLines) {
    TForm1& w = start();
    w.Image3Click();
    ASSERT_EQ(messages_.shown().size(), 1u);
    const MessageRequest& about = messages_.shown()[0];
    EXPECT_EQ(about.title, " ");
    EXPECT_EQ(about.text, QStringLiteral("Quillmere " QUILL_TEST_VERSION
                                         "\n\nDieses Programm verwendet FreeImage.lib."));
    EXPECT_EQ(about.icon, MsgIcon::None);
    EXPECT_EQ(about.buttons, MsgButtons::Ok);
}

TEST_F(WindowTest, OpeningWithNothingSelectedReportsAMissingFile) {
    TForm1& w = start(); // an empty folder: the current file path is empty
    w.Image1DblClick();
    ASSERT_EQ(messages_.shown().size(), 1u);
    EXPECT_EQ(messages_.shown()[0].text, "Die angegebene Datei wurde nicht gefunden !");
    EXPECT_EQ(messages_.shown()[0].title, "Fehler");
    EXPECT_EQ(messages_.shown()[0].icon, MsgIcon::Warning);
}
