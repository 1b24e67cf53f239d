// A handler's failure never unwinds through Qt's delivery of its signal: the box shows once, the
// signal's other receivers still run, the window is left as a direct call's failure leaves it.

#include "WindowFixture.h"

#include "browse/DirectoryListBox.h"
#include "browse/FileListBox.h"
#include "dragdrop/DropFiles.h"
#include "dragdrop/GlobalMemory.h"
#include "dragdrop/WindowMessage.h"
#include "platform/FileSystem.h"

#include <QFile>
#include <QTest>
#include <cerrno>

using namespace quill;
using quill::test::WindowTest;

namespace {

void doubleClick(TForm1& w, const QString& folder) {
    TDirectoryListBox& list = *w.DirectoryListBox1;
    const QRect entry = list.visualItemRect(list.findItems(folder, Qt::MatchExactly).value(0));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, entry.center());
}

// As the drop target hands a drop to the window: through its message.
void drop(TForm1& w, const QString& folder) {
    const std::vector<QByteArray> paths{
        QFile::encodeName(w.DirectoryListBox1->Directory() + '/' + folder + "/bild.png")};
    ole::HGLOBAL block = ole::makeDropFiles(paths);
    ASSERT_NE(block, nullptr);
    {
        ole::GlobalLockGuard locked(block);
        ole::SendMessage(&w, ole::WM_FILESDROPPED, reinterpret_cast<ole::WPARAM>(locked.data()), 0);
    }
    ole::GlobalFree(block);
}

class HandlerFailureTest : public WindowTest {};

} // namespace

TEST_F(HandlerFailureTest, AFolderThatCanBeEnteredButNotReadShowsItsBoxOnceAndNothingCrossesQt) {
    ASSERT_TRUE(QDir().mkdir(path("gesperrt")));
    writePicture("bild.png", 8, 8, Qt::red, path("gesperrt"));
    writePicture("hier.png", 8, 8, Qt::blue);
    const struct {
        const char* way;
        void (*open)(TForm1&, const QString&);
    } ways[] = {{"double-click", doubleClick}, {"drop", drop}};
    for (const auto& [way, open] : ways) {
        SCOPED_TRACE(way);
        forms_.reset();
        QDir::setCurrent(dir_.path());
        TForm1& w = start();
        int otherReceiver = 0;
        QObject::connect(w.DirectoryListBox1, &TDirectoryListBox::changed, w.DirectoryListBox1,
                         [&] { ++otherReceiver; });
        // Root reads every folder: the read failure of a 0311 folder is injected.
        failFolderReadsFor(path("gesperrt"), EACCES);
        open(w, "gesperrt");
        failFolderReadsFor(QString(), 0);
        ASSERT_EQ(messages_.texts(), QStringList{"E/A-Fehler 13"});
        EXPECT_EQ(otherReceiver, 1);
        EXPECT_EQ(w.FileListBox1->Directory(), path("gesperrt"));
        EXPECT_EQ(w.FileListBox1->Count(), 0) << "no names of another folder under this one";
        EXPECT_FALSE(w.dropInProgress());
        messages_.clear();
    }
}
