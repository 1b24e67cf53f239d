// Files dropped onto the main window: the drop handler fed with a file list block, and real Qt
// drop events on the registered window.

#include "WindowFixture.h"

#include "browse/DirectoryListBox.h"
#include "browse/FileListBox.h"
#include "dragdrop/DropFiles.h"
#include "dragdrop/GlobalMemory.h"
#include "dragdrop/WindowMessage.h"
#include "imaging/ImageLoading.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

using namespace quill;
using quill::test::WindowTest;

namespace {

// Hands the window a DROPFILES block as the drop target does.
void dropPaths(TForm1& window, const QStringList& paths) {
    std::vector<QByteArray> bytes;
    for (const QString& path : paths) {
        bytes.push_back(QFile::encodeName(path));
    }
    ole::HGLOBAL block = ole::makeDropFiles(bytes);
    ASSERT_NE(block, nullptr);
    {
        ole::GlobalLockGuard locked(block);
        window.DroppedFiles(locked.data());
    }
    ole::GlobalFree(block);
}

} // namespace

class DropTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        writePicture("hier.png", 40, 30, Qt::red);
        ASSERT_TRUE(QDir().mkdir(path("dort")));
        writePicture("a_erstes.png", 40, 30, Qt::red, path("dort"));
        writePicture("bild.png", 300, 200, Qt::blue, path("dort"));
        QFile text(path("dort/liesmich.txt"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.close();
        start();
    }
};

TEST_F(DropTest, APictureElsewhereMovesTheListsSelectsAndPreviewsIt) {
    TForm1& w = window();
    w.CheckBox3->setChecked(false);
    dropPaths(w, {path("dort/bild.png"), path("hier.png"), path("dort/liesmich.txt")});
    EXPECT_EQ(w.DirectoryListBox1->Directory(), path("dort"));
    EXPECT_EQ(w.FileListBox1->FileName(), path("dort/bild.png")) << "the first path only";
    EXPECT_TRUE(w.CheckBox3->isChecked());
    EXPECT_EQ(w.Label5->text(), "300");
    EXPECT_FALSE(w.dropInProgress());
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(DropTest, AFileTheListDoesNotShowUnticksVorschauAndSelectsTheFirstEntry) {
    TForm1& w = window();
    dropPaths(w, {path("dort/liesmich.txt")});
    EXPECT_EQ(w.DirectoryListBox1->Directory(), path("dort"));
    EXPECT_FALSE(w.CheckBox3->isChecked());
    EXPECT_EQ(w.FileListBox1->FileName(), path("dort/a_erstes.png"));
    EXPECT_EQ(w.Label5->text(), "0") << "the re-read cleared the preview and none followed";
    EXPECT_EQ(messages_.texts(), QStringList{NoDecoderMessage("liesmich.txt")}) << "but said why";
}

TEST_F(DropTest, APictureTheListDoesNotShowIsPreviewedByItself) {
    TForm1& w = window();
    writePicture("foto.jpeg", 64, 48, Qt::green, path("dort"));
    w.CheckBox3->setChecked(false);
    dropPaths(w, {path("dort/foto.jpeg")});
    EXPECT_TRUE(w.CheckBox3->isChecked());
    EXPECT_EQ(w.Label5->text() + "x" + w.Label6->text(), "64x48");
    EXPECT_TRUE(w.FileListBox1->FileName().isEmpty()) << "no other entry stands for it";
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(DropTest, AFolderOpensThatFolder) {
    TForm1& w = window();
    dropPaths(w, {path("dort")});
    EXPECT_EQ(w.DirectoryListBox1->Directory(), path("dort"));
    ASSERT_EQ(w.FileListBox1->Count(), 2);
    EXPECT_TRUE(w.FileListBox1->Selected(0));
    EXPECT_FALSE(w.CheckBox3->isChecked());
}

TEST_F(DropTest, APathThatCannotBeEnteredIsShownAndTheFlagIsCleared) {
    TForm1& w = window();
    // Through the window's message, as the drop target sends it: the failure is shown in the
    // standard error box and the handler ends.
    std::vector<QByteArray> bytes{QFile::encodeName(path("weg/nirgends.png"))};
    ole::HGLOBAL block = ole::makeDropFiles(bytes);
    ASSERT_NE(block, nullptr);
    {
        ole::GlobalLockGuard locked(block);
        ole::WindowMessageEvent message(ole::WM_FILESDROPPED,
                                        reinterpret_cast<ole::WPARAM>(locked.data()), 0);
        QCoreApplication::sendEvent(&w, &message);
    }
    ole::GlobalFree(block);
    ASSERT_EQ(messages_.shown().size(), 1u);
    EXPECT_TRUE(messages_.shown()[0].text.startsWith("E/A-Fehler"))
        << qPrintable(messages_.shown()[0].text);
    EXPECT_EQ(messages_.shown()[0].icon, MsgIcon::Critical);
    EXPECT_FALSE(w.dropInProgress());
    EXPECT_EQ(w.DirectoryListBox1->Directory(), dir_.path());

    // The folder list previews on its own again.
    w.DirectoryListBox1->SetDirectory(path("dort"));
    EXPECT_EQ(w.FileListBox1->FileName(), path("dort/a_erstes.png"));
    EXPECT_EQ(w.Label5->text(), "40");
}

TEST_F(DropTest, AQtDropOfFileUrlsOnTheWindowGoesToTheFirstFile) {
    TForm1& w = window();
    QMimeData mime;
    mime.setUrls(
        {QUrl::fromLocalFile(path("dort/bild.png")), QUrl::fromLocalFile(path("hier.png"))});
    QWidget* onto = w.FileListBox1; // any child of the registered window
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(onto, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(onto, &move);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(onto, &drop);
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction) << "never move: the source keeps its file";
    EXPECT_EQ(w.FileListBox1->FileName(), path("dort/bild.png"));
    EXPECT_EQ(w.Label5->text(), "300");
}
