#include "browse/FileListBox.h"

#include "TestSupport.h"
#include "platform/FileFailures.h"
#include "platform/FileSystem.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

using namespace quill;

namespace {

const QString kPictureMask =
    QStringLiteral("*.jpg;*.bmp;*.pcd;*.tif;*.tiff;*.ico;*.koa;*.lbm;*.mng;*.pcx;*.ppm;*.pgm;"
                   "*.pbm;*.png;*.ras;*.tga");

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("x");
}

QStringList entries(const TFileListBox& list) {
    QStringList names;
    for (int i = 0; i < list.Count(); ++i) {
        names << list.Items(i);
    }
    return names;
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers) {
    QMouseEvent event(type, pos, target->mapToGlobal(pos), Qt::LeftButton, buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

void click(TFileListBox& list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const QPoint pos = list.visualItemRect(list.item(row)).center();
    sendMouse(list.viewport(), QEvent::MouseButtonPress, pos, Qt::LeftButton, modifiers);
    sendMouse(list.viewport(), QEvent::MouseButtonRelease, pos, Qt::NoButton, modifiers);
}

void doubleClick(TFileListBox& list, int row) {
    click(list, row);
    const QPoint pos = list.visualItemRect(list.item(row)).center();
    sendMouse(list.viewport(), QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::NoModifier);
    sendMouse(list.viewport(), QEvent::MouseButtonRelease, pos, Qt::NoButton, Qt::NoModifier);
}

void pressKey(QWidget& target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&target, &press);
}

// A folder of pictures in a temporary tree, and a file list as the main window sets it up. The
// process's current directory is put back afterwards.
class FileListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        root = QDir(tmp.path()).canonicalPath();
        pics = root + "/pics";
        ASSERT_TRUE(QDir(root).mkpath("pics/folder.jpg"));
        ASSERT_TRUE(QDir(root).mkpath("empty"));
        for (const char* name : {"Bild.JPG", "a.png", "Z.tga", ".hidden.png", "notes.txt"}) {
            touch(pics + "/" + name);
        }
    }

    // The list on the pictures' folder, counting its change notifications.
    void open(TFileListBox& list) {
        list.SetMultiSelect(true);
        list.SetMask(kPictureMask);
        list.resize(145, 97);
        list.show();
        list.SetDirectory(pics);
        QObject::connect(&list, &TFileListBox::changed, [this] { ++changes; });
        QObject::connect(&list, &TFileListBox::listDoubleClicked, [this] { ++doubleClicks; });
    }

    CurrentDirGuard cwdBack;
    QTemporaryDir tmp;
    QString root;
    QString pics;
    int changes = 0;
    int doubleClicks = 0;
};

} // namespace

TEST_F(FileListBoxTest, ListsMatchingFilesSortedWithoutHiddenFilesOrFolders) {
    TFileListBox list;
    open(list);
    EXPECT_EQ(entries(list), (QStringList{"a.png", "Bild.JPG", "Z.tga"}));
    EXPECT_EQ(list.Directory(), pics);
    // Every navigation leaves the process in the folder shown.
    EXPECT_EQ(currentDir(), pics);
    EXPECT_EQ(list.itemHeight(), 13);
    list.SetShowGlyphs(true);
    EXPECT_EQ(list.itemHeight(), 16);
}

TEST_F(FileListBoxTest, TheSixteenPatternsMatchIgnoringCase) {
    const QStringList listed{"p01.JPG", "p02.Bmp", "p03.pcd", "p04.TIF", "p05.tiff", "p06.ICO",
                             "p07.koa", "p08.LBM", "p09.mng", "p10.PCX", "p11.ppm",  "p12.PGM",
                             "p13.pbm", "p14.PnG", "p15.ras", "p16.TGA"};
    ASSERT_TRUE(QDir(root).mkpath("all"));
    for (const QString& name : listed) {
        touch(root + "/all/" + name);
    }
    for (const char* other : {"p.jpeg", "p.gif", "p.tiff.bak", "jpg", "p.jp"}) {
        touch(root + "/all/" + other);
    }
    TFileListBox list;
    open(list);
    list.SetDirectory(root + "/all");
    EXPECT_EQ(entries(list), listed);
}

TEST_F(FileListBoxTest, FileNameIsEmptyWhenTheCurrentEntryIsNotSelected) {
    TFileListBox list;
    open(list);
    EXPECT_TRUE(list.FileName().isEmpty()); // after a read nothing is selected

    list.SetSelected(1, true);
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_EQ(list.FileName(), pics + "/Bild.JPG");
    list.SetSelected(2, true);
    EXPECT_EQ(list.ItemIndex(), 2);
    EXPECT_TRUE(list.Selected(1));
    EXPECT_EQ(list.FileName(), pics + "/Z.tga");

    list.SetSelected(2, false);
    EXPECT_EQ(list.ItemIndex(), 2);
    EXPECT_TRUE(list.FileName().isEmpty());
    EXPECT_EQ(changes, 0); // the program's own selecting notifies nobody

    try {
        list.SetSelected(3, true);
        FAIL() << "no failure";
    } catch (const ListIndexError& failure) {
        EXPECT_EQ(failure.text(),
                  QStringLiteral("Der Index der Liste überschreitet das Maximum (3)"));
    }
    EXPECT_THROW(list.SetSelected(-1, true), ListIndexError);
    EXPECT_THROW(list.Items(3), ListIndexError);
}

TEST_F(FileListBoxTest, UserMovesNotifyOnlyWhenTheCurrentEntryChanges) {
    TFileListBox list;
    open(list);
    EXPECT_EQ(list.lastNotifiedIndex(), -1);

    click(list, 0);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.lastNotifiedIndex(), 0);
    EXPECT_EQ(list.FileName(), pics + "/a.png");

    click(list, 0);
    EXPECT_EQ(changes, 1);

    // Control-clicking the current entry unselects it but keeps it current: no notification.
    click(list, 0, Qt::ControlModifier);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.ItemIndex(), 0);
    EXPECT_FALSE(list.Selected(0));
    EXPECT_TRUE(list.FileName().isEmpty());

    pressKey(list, Qt::Key_Down);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(list.lastNotifiedIndex(), 1);
    EXPECT_EQ(list.FileName(), pics + "/Bild.JPG");

    doubleClick(list, 2);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(doubleClicks, 1);
}

TEST_F(FileListBoxTest, ShiftAndControlSelectSeveralEntries) {
    touch(pics + "/c.png");
    touch(pics + "/d.png");
    TFileListBox list;
    open(list);
    ASSERT_EQ(entries(list), (QStringList{"a.png", "Bild.JPG", "c.png", "d.png", "Z.tga"}));
    click(list, 0);
    click(list, 2, Qt::ShiftModifier);
    click(list, 4, Qt::ControlModifier);
    std::vector<bool> selected;
    for (int i = 0; i < list.Count(); ++i) {
        selected.push_back(list.Selected(i));
    }
    EXPECT_EQ(selected, (std::vector<bool>{true, true, true, false, true}));
    EXPECT_EQ(list.ItemIndex(), 4);

    // Without multi-select a click selects one entry only.
    list.SetMultiSelect(false);
    click(list, 1);
    click(list, 3, Qt::ControlModifier);
    EXPECT_FALSE(list.Selected(1));
    EXPECT_TRUE(list.Selected(3));
}

TEST_F(FileListBoxTest, EveryReadNotifiesAndClearsTheSelection) {
    TFileListBox list;
    open(list);
    click(list, 1);
    ASSERT_EQ(changes, 1);

    list.Update();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(list.lastNotifiedIndex(), -1);
    EXPECT_TRUE(list.FileName().isEmpty());

    // Clicking the entry that was current before the read is a change again.
    click(list, 1);
    EXPECT_EQ(changes, 3);

    list.SetMask("*.tga");
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(entries(list), QStringList{"Z.tga"});
    list.SetMask("*.tga"); // the same mask: no read
    EXPECT_EQ(changes, 4);
}

TEST_F(FileListBoxTest, WritingTheFolderShownDoesNotReadItAgain) {
    TFileListBox list;
    open(list);
    touch(pics + "/b.png");

    list.SetFileName(pics);
    list.SetFileName(pics + "/");
    list.SetDirectory(pics);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(entries(list), (QStringList{"a.png", "Bild.JPG", "Z.tga"}));

    list.Update();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(entries(list), (QStringList{"a.png", "b.png", "Bild.JPG", "Z.tga"}));
}

TEST_F(FileListBoxTest, AnEmptyFolderGivesAnEmptyListAndStillNotifies) {
    TFileListBox list;
    open(list);
    click(list, 0);
    const int before = changes;
    list.SetFileName(root + "/empty");
    EXPECT_EQ(changes, before + 1);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.FileName().isEmpty());
    EXPECT_EQ(list.lastNotifiedIndex(), -1);
    EXPECT_EQ(list.Directory(), root + "/empty");
    EXPECT_EQ(currentDir(), root + "/empty");
}

TEST_F(FileListBoxTest, FileNameWriteSelectsTheFileOrTakesAMask) {
    TFileListBox list;
    open(list);
    list.SetDirectory(root + "/empty");
    changes = 0;

    list.SetFileName(pics + "/Bild.JPG");
    EXPECT_EQ(list.Directory(), pics);
    EXPECT_EQ(list.FileName(), pics + "/Bild.JPG");
    EXPECT_EQ(list.lastNotifiedIndex(), 1);
    EXPECT_EQ(changes, 2); // the read of the folder, then the choice of the entry

    // A file the mask hides becomes the mask.
    list.SetFileName("notes.txt");
    EXPECT_EQ(list.Mask(), "notes.txt");
    EXPECT_EQ(entries(list), QStringList{"notes.txt"});
    EXPECT_EQ(list.FileName(), pics + "/notes.txt");

    list.SetFileName(pics + "/*.PNG");
    EXPECT_EQ(list.Mask(), "*.PNG");
    EXPECT_EQ(entries(list), QStringList{"a.png"});

    // A name that is neither a file nor a folder: the list stays as it was.
    EXPECT_THROW(list.SetFileName(pics + "/missing.png"), InOutError);
    EXPECT_EQ(list.Directory(), pics);
    EXPECT_EQ(entries(list), QStringList{"a.png"});
}

TEST_F(FileListBoxTest, AFolderThatHasGoneFailsBeforeTheEntriesAreCleared) {
    ASSERT_TRUE(QDir(root).mkpath("gone"));
    touch(root + "/gone/x.jpg");
    TFileListBox list;
    open(list);
    list.SetDirectory(root + "/gone");
    ASSERT_EQ(list.Count(), 1);
    setCurrentDir(root);
    ASSERT_TRUE(QDir(root + "/gone").removeRecursively());
    const int before = changes;
    EXPECT_THROW(list.Update(), InOutError);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(changes, before);
    EXPECT_THROW(list.SetDirectory(root + "/missing"), InOutError);
    EXPECT_EQ(list.Directory(), root + "/gone");
}

TEST_F(FileListBoxTest, AFolderThatCanBeEnteredButNotReadNeverShowsTheNamesOfAnother) {
    TFileListBox list;
    open(list);
    ASSERT_GT(list.Count(), 0);
    const QString locked = root + "/empty";
    touch(locked + "/secret.jpg");
    // Root reads every folder: the read failure of a 0311 folder is injected.
    failFolderReadsFor(locked, EACCES);
    try {
        list.SetDirectory(locked);
        ADD_FAILURE() << "the read failure was not raised";
    } catch (const InOutError& failure) {
        EXPECT_EQ(failure.text(), "E/A-Fehler 13");
    }
    failFolderReadsFor(QString(), 0);
    // The new folder with nothing in it: the list, its folder and the process agree.
    EXPECT_EQ(list.Directory(), locked);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(currentDir(), locked);
    EXPECT_TRUE(list.FileName().isEmpty());
}

TEST_F(FileListBoxTest, TheExactNameWinsOverOneInOtherLetters) {
    touch(pics + "/A.png");
    TFileListBox list;
    open(list);
    ASSERT_EQ(entries(list), (QStringList{"A.png", "a.png", "Bild.JPG", "Z.tga"}));
    EXPECT_EQ(list.IndexOf("A.png"), 0);
    EXPECT_EQ(list.IndexOf("a.png"), 1);
    // Letter case is ignored only when no entry has the name as given.
    EXPECT_EQ(list.IndexOf("bild.jpg"), 2);
    EXPECT_EQ(list.IndexOf("none.png"), -1);
}

TEST_F(FileListBoxTest, ALongListRestoresThePointerShape) {
    ASSERT_TRUE(QDir(root).mkpath("many"));
    for (int i = 0; i < 150; ++i) {
        touch(root + QStringLiteral("/many/%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    }
    TFileListBox list;
    open(list);
    bool hourglassAtNotification = true;
    QObject::connect(&list, &TFileListBox::changed, [&] {
        hourglassAtNotification = QGuiApplication::overrideCursor() != nullptr;
    });
    list.SetDirectory(root + "/many");
    ASSERT_EQ(list.Count(), 150);
    EXPECT_EQ(list.Items(0), "000.jpg");
    EXPECT_EQ(list.Items(149), "149.jpg");
    EXPECT_FALSE(hourglassAtNotification);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(FileListBoxTest, AFailureOfAHandlerDuringAClickIsShownNotThrown) {
    TFileListBox list;
    open(list);
    QObject::connect(&list, &TFileListBox::changed,
                     [] { throw Failure(QStringLiteral("Schreiben nicht möglich")); });
    test::MessageRecorder messages;
    click(list, 0);
    ASSERT_EQ(messages.texts(), QStringList{"Schreiben nicht möglich"});
    EXPECT_EQ(messages.shown()[0].icon, MsgIcon::Critical);
    EXPECT_EQ(list.ItemIndex(), 0);
}
