#include "browse/DirectoryListBox.h"

#include "TestSupport.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

using namespace quill;
using Kind = TDirectoryListBox::EntryKind;

namespace {

struct Entry {
    QString text;
    Kind kind;
    int indent;
    bool operator==(const Entry&) const = default;
};

void PrintTo(const Entry& entry, std::ostream* out) {
    *out << '{' << entry.text.toStdString() << ", " << int(entry.kind) << ", " << entry.indent
         << '}';
}

std::vector<Entry> entries(const TDirectoryListBox& list) {
    std::vector<Entry> all;
    for (int i = 0; i < list.count(); ++i) {
        all.push_back({list.item(i)->text(), list.entryKind(i), list.entryIndent(i)});
    }
    return all;
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, target->mapToGlobal(pos), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void click(TDirectoryListBox& list, int row) {
    const QPoint pos = list.visualItemRect(list.item(row)).center();
    sendMouse(list.viewport(), QEvent::MouseButtonPress, pos, Qt::LeftButton);
    sendMouse(list.viewport(), QEvent::MouseButtonRelease, pos, Qt::NoButton);
}

void doubleClick(TDirectoryListBox& list, int row) {
    click(list, row);
    const QPoint pos = list.visualItemRect(list.item(row)).center();
    sendMouse(list.viewport(), QEvent::MouseButtonDblClick, pos, Qt::LeftButton);
    sendMouse(list.viewport(), QEvent::MouseButtonRelease, pos, Qt::NoButton);
}

// A temporary tree that the volume table names as a volume of its own, so that the list's tree
// starts at the temporary folder; a second, not ready volume beside it.
class DirectoryListBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        base = QDir(tmp.path()).canonicalPath();
        vol = base + "/vol";
        floppy = base + "/floppy";
        QDir dir(base);
        for (const char* path : {"vol/a/b/c", "vol/a/b/D", "vol/a/b/.hidden", "vol/a/e",
                                 "vol/Alpha", "vol/zeta", "floppy/pics", "other"}) {
            ASSERT_TRUE(dir.mkpath(path));
        }
        QFile file(vol + "/a/b/x.jpg");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const QString v = vol;
        const QString f = floppy;
        setVolumeSource([v, f] {
            return std::vector<Volume>{{"/", VolumeType::Fixed, {}, {}, true},
                                       {v, VolumeType::Fixed, "data", {}, true},
                                       {f, VolumeType::Removable, {}, {}, false}};
        });
        forgetRememberedFolders();
        setCurrentDir(vol);
    }
    void TearDown() override {
        setVolumeSource(nullptr);
        forgetRememberedFolders();
    }

    void watch(TDirectoryListBox& list) {
        list.resize(145, 97);
        list.show();
        QObject::connect(&list, &TDirectoryListBox::changed, [this] { ++changes; });
    }

    CurrentDirGuard cwdBack;
    QTemporaryDir tmp;
    QString base;
    QString vol;
    QString floppy;
    int changes = 0;
};

} // namespace

TEST_F(DirectoryListBoxTest, AVolumeRootShowsItselfAndItsSubFolders) {
    TDirectoryListBox list;
    EXPECT_EQ(list.Directory(), vol);
    EXPECT_EQ(list.Drive(), vol);
    EXPECT_EQ(entries(list), (std::vector<Entry>{{vol, Kind::Current, 2},
                                                 {"a", Kind::Closed, 10},
                                                 {"Alpha", Kind::Closed, 10},
                                                 {"zeta", Kind::Closed, 10}}));
    EXPECT_EQ(list.currentRow(), 0);
    EXPECT_EQ(list.itemHeight(), 16);
}

TEST_F(DirectoryListBoxTest, AFolderShowsThePathDownToItAndItsSubFolders) {
    TDirectoryListBox list;
    watch(list);
    list.SetDirectory(vol + "/a/b");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(list.Directory(), vol + "/a/b");
    EXPECT_EQ(currentDir(), vol + "/a/b");
    EXPECT_EQ(entries(list), (std::vector<Entry>{{vol, Kind::Open, 2},
                                                 {"a", Kind::Open, 6},
                                                 {"b", Kind::Current, 10},
                                                 {"c", Kind::Closed, 14},
                                                 {"D", Kind::Closed, 14}}));
    EXPECT_EQ(list.currentRow(), 2);

    EXPECT_EQ(list.GetItemPath(0), vol);
    EXPECT_EQ(list.GetItemPath(1), vol + "/a");
    EXPECT_EQ(list.GetItemPath(2), vol + "/a/b");
    EXPECT_EQ(list.GetItemPath(3), vol + "/a/b/c");
    EXPECT_EQ(list.GetItemPath(4), vol + "/a/b/D");
    EXPECT_TRUE(list.GetItemPath(5).isEmpty());

    // Going into a leaf: it becomes the current folder, with no entries below it.
    list.SetDirectory(vol + "/a/b/c");
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(entries(list).back(), (Entry{"c", Kind::Current, 14}));
}

TEST_F(DirectoryListBoxTest, TheSystemRootIsOneEntryFollowedByItsSubFolders) {
    TDirectoryListBox list;
    list.SetDirectory("/");
    ASSERT_GE(list.count(), 1);
    EXPECT_EQ(entries(list)[0], (Entry{"/", Kind::Current, 2}));
    const QStringList expected = subFolders("/");
    ASSERT_EQ(list.count(), expected.size() + 1);
    for (int i = 1; i < list.count(); ++i) {
        EXPECT_EQ(entries(list)[std::size_t(i)], (Entry{expected[i - 1], Kind::Closed, 10}));
    }
    list.SetDirectory(base + "/other");
    // "/", then every folder down to the temporary one, each one step deeper.
    const QStringList pieces = (base + "/other").split('/', Qt::SkipEmptyParts);
    ASSERT_EQ(list.count(), pieces.size() + 1);
    for (int i = 0; i < pieces.size(); ++i) {
        EXPECT_EQ(list.item(i + 1)->text(), pieces[i]);
        EXPECT_EQ(list.entryIndent(i + 1), (i + 1) * 4 + 2);
    }
}

TEST_F(DirectoryListBoxTest, APathNamingAFileOpensItsFolder) {
    TDirectoryListBox list;
    watch(list);
    list.SetDirectory(vol + "/a/b/x.jpg");
    EXPECT_EQ(list.Directory(), vol + "/a/b");
    EXPECT_EQ(currentDir(), vol + "/a/b");
    EXPECT_EQ(changes, 1);

    // Relative paths are taken against the process's current directory.
    list.SetDirectory("../e");
    EXPECT_EQ(list.Directory(), vol + "/a/e");

    // Writing the folder shown changes nothing.
    list.SetDirectory(vol + "/a/e");
    list.SetDirectory(QString());
    EXPECT_EQ(changes, 2);
    list.Update();
    EXPECT_EQ(changes, 3);
}

TEST_F(DirectoryListBoxTest, AFolderThatCannotBeEnteredKeepsThePreviousOne) {
    TDirectoryListBox list;
    watch(list);
    list.SetDirectory(vol + "/a");
    const std::vector<Entry> before = entries(list);
    changes = 0;
    for (const QString& bad : {vol + "/missing", vol + "/a/b/x.jpg/deeper", floppy + "/pics"}) {
        try {
            list.SetDirectory(bad);
            ADD_FAILURE() << "no failure for " << bad.toStdString();
        } catch (const InOutError& failure) {
            EXPECT_EQ(failure.text(), QStringLiteral("E/A-Fehler %1").arg(failure.errorCode()));
        }
        EXPECT_EQ(list.Directory(), vol + "/a");
        EXPECT_EQ(entries(list), before);
        EXPECT_EQ(currentDir(), vol + "/a");
    }
    try {
        list.SetDrive(floppy);
        ADD_FAILURE() << "no failure";
    } catch (const InOutError& failure) {
        EXPECT_EQ(failure.errorCode(), ENOMEDIUM);
    }
    EXPECT_EQ(list.Directory(), vol + "/a");
    EXPECT_EQ(changes, 0);
}

TEST_F(DirectoryListBoxTest, ADriveChangeGoesToTheFolderTheVolumeRemembers) {
    TDirectoryListBox list;
    watch(list);
    list.SetDirectory(vol + "/a/b");
    list.SetDirectory(base + "/other");
    EXPECT_EQ(list.Drive(), "/");
    EXPECT_EQ(changes, 2);

    list.SetDrive(vol);
    EXPECT_EQ(list.Directory(), vol + "/a/b");
    EXPECT_EQ(changes, 3);
    list.SetDrive(vol + "/zeta"); // a path on the same volume: nothing to do
    EXPECT_EQ(changes, 3);
    list.SetDrive("/");
    EXPECT_EQ(list.Directory(), base + "/other");
    EXPECT_EQ(currentDir(), base + "/other");
}

TEST_F(DirectoryListBoxTest, DoubleClickOrEnterOpensAnEntryASingleClickOnlySelects) {
    TDirectoryListBox list;
    watch(list);
    list.SetDirectory(vol + "/a/b");
    changes = 0;

    click(list, 3);
    EXPECT_EQ(list.currentRow(), 3);
    EXPECT_EQ(list.Directory(), vol + "/a/b");
    EXPECT_EQ(changes, 0);

    doubleClick(list, 3);
    EXPECT_EQ(list.Directory(), vol + "/a/b/c");
    EXPECT_EQ(changes, 1);

    list.setCurrentRow(0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&list, &enter);
    EXPECT_EQ(list.Directory(), vol);
    EXPECT_EQ(changes, 2);
}

TEST_F(DirectoryListBoxTest, ALinkedFolderIsListedAndOpensWhereItLeads) {
    ASSERT_TRUE(QFile::link(vol + "/a/e", vol + "/link"));
    TDirectoryListBox list;
    ASSERT_GE(list.count(), 4);
    ASSERT_EQ(list.item(3)->text(), "link");
    list.setCurrentRow(3);
    list.OpenCurrent();
    EXPECT_EQ(list.Directory(), vol + "/a/e");
}

TEST_F(DirectoryListBoxTest, GlyphsSitAtTheirIndents) {
    TDirectoryListBox list;
    watch(list);
    list.SetDirectory(vol + "/a/b");
    const QImage shot = list.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb base = list.palette().color(QPalette::Base).rgb();
    // Row 3 is a closed folder: its outline starts one pixel right of the indent, its yellow body
    // a few pixels further; nothing is drawn left of it.
    for (int row : {0, 1, 3}) {
        const QRect rect = list.visualItemRect(list.item(row));
        const int indent = list.entryIndent(row);
        const int y = rect.top() + 7;
        EXPECT_EQ(shot.pixel(rect.left() + indent, y), base) << row;
        EXPECT_EQ(shot.pixel(rect.left() + indent + 1, y), qRgb(0, 0, 0)) << row;
        EXPECT_EQ(shot.pixel(rect.left() + indent + 5, y), qRgb(255, 255, 0)) << row;
    }
}

TEST_F(DirectoryListBoxTest, AFailureInsideAUserActionIsShownNotThrown) {
    TDirectoryListBox list;
    watch(list);
    list.SetDirectory(vol + "/a");
    // A sub-folder that disappears after the list was built.
    ASSERT_TRUE(QDir(vol + "/a/e").removeRecursively());
    test::MessageRecorder messages;
    const int row = list.count() - 1;
    ASSERT_EQ(list.item(row)->text(), "e");
    doubleClick(list, row);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, QStringLiteral("E/A-Fehler %1").arg(ENOENT));
    EXPECT_EQ(messages.shown()[0].icon, MsgIcon::Critical);
    EXPECT_EQ(list.Directory(), vol + "/a");
}
