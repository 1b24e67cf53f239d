#include "platform/SingleFileRename.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quill;

namespace {

class SingleFileRenameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        folder = QDir(tmp.path()).canonicalPath();
    }

    QString write(const QString& name, const QByteArray& bytes) const {
        const QString path = folder + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QStringList entries() const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                      QDir::Name);
    }

    QTemporaryDir tmp;
    QString folder;
};

} // namespace

TEST(RenamedFilePath, FolderSeparatorTypedNameAndOldExtension) {
    EXPECT_EQ(RenamedFilePath(QStringLiteral("/home/a/Bilder"), QStringLiteral("Strand"),
                              QStringLiteral(".JPG")),
              QStringLiteral("/home/a/Bilder/Strand.JPG"));
    // The old extension is always kept, even when the typed name carries one.
    EXPECT_EQ(
        RenamedFilePath(QStringLiteral("/b"), QStringLiteral("Foto.png"), QStringLiteral(".jpg")),
        QStringLiteral("/b/Foto.png.jpg"));
    // A folder at the root, or one given with its separator, gets no second one.
    EXPECT_EQ(
        RenamedFilePath(QStringLiteral("/"), QStringLiteral("Strand"), QStringLiteral(".jpg")),
        QStringLiteral("/Strand.jpg"));
    EXPECT_EQ(RenamedFilePath(QStringLiteral("/b/"), QStringLiteral("x"), QStringLiteral(".jpg")),
              QStringLiteral("/b/x.jpg"));
    EXPECT_EQ(RenamedFilePath(QStringLiteral("C:\\"), QStringLiteral("x"), QStringLiteral(".jpg")),
              QStringLiteral("C:\\x.jpg"));
    // The typed name as typed: blanks kept, nothing checked.
    EXPECT_EQ(
        RenamedFilePath(QStringLiteral("/b"), QStringLiteral("  a b "), QStringLiteral(".png")),
        QStringLiteral("/b/  a b .png"));
    EXPECT_EQ(RenamedFilePath(QStringLiteral("/b"), QString(), QStringLiteral(".png")),
              QStringLiteral("/b/.png"));
    // An empty extension adds nothing; one without its dot gets it.
    EXPECT_EQ(RenamedFilePath(QStringLiteral("/b"), QStringLiteral("x"), QString()),
              QStringLiteral("/b/x"));
    EXPECT_EQ(RenamedFilePath(QStringLiteral("/b"), QStringLiteral("x"), QStringLiteral("tga")),
              QStringLiteral("/b/x.tga"));
}

TEST(SplitFileName, TheLastDotSeparatesTheExtension) {
    const NameParts parts = SplitFileName(QStringLiteral("/home/a/Urlaub 01.JPG"));
    EXPECT_EQ(parts.baseName, QStringLiteral("Urlaub 01"));
    EXPECT_EQ(parts.extension, QStringLiteral(".JPG"));
    EXPECT_EQ(SplitFileName(QStringLiteral("/a.b/c.d.tiff")).baseName, QStringLiteral("c.d"));
    EXPECT_EQ(SplitFileName(QStringLiteral("/a.b/c.d.tiff")).extension, QStringLiteral(".tiff"));
    EXPECT_EQ(SplitFileName(QStringLiteral("/a.b/noext")).extension, QString());
    EXPECT_EQ(SplitFileName(QStringLiteral("/a.b/noext")).baseName, QStringLiteral("noext"));
    EXPECT_EQ(SplitFileName(QString()).baseName, QString());
}

TEST_F(SingleFileRenameTest, RenamesKeepingTheExtensionAndItsCase) {
    const QString old = write(QStringLiteral("Urlaub 01.JPG"), "picture");
    EXPECT_TRUE(RenameSingleFile(old, folder, QStringLiteral("Strand")));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("Strand.JPG")});
    EXPECT_EQ(read(folder + QStringLiteral("/Strand.JPG")), QByteArray("picture"));

    EXPECT_TRUE(RenameSingleFile(folder + QStringLiteral("/Strand.JPG"), folder + QLatin1Char('/'),
                                 QStringLiteral("Foto.png")));
    EXPECT_EQ(entries(), QStringList{QStringLiteral("Foto.png.JPG")});
}

TEST_F(SingleFileRenameTest, AnExistingNameIsNeverReplaced) {
    const QString a = write(QStringLiteral("a.jpg"), "first");
    const QString b = write(QStringLiteral("b.jpg"), "second");
    EXPECT_FALSE(RenameSingleFile(a, folder, QStringLiteral("b")));
    EXPECT_EQ(read(a), QByteArray("first"));
    EXPECT_EQ(read(b), QByteArray("second"));
    // Another extension makes another name.
    EXPECT_TRUE(
        RenameSingleFile(write(QStringLiteral("b.png"), "third"), folder, QStringLiteral("a")));
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("a.png"),
                                      QStringLiteral("b.jpg")}));
}

TEST_F(SingleFileRenameTest, RefusedNamesChangeNothing) {
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("sub")));
    const QString old = write(QStringLiteral("a.jpg"), "x");
    const QStringList before = entries();
    int moves = 0;
    const FileMover counting = [&](const QString&, const QString&) {
        ++moves;
        return true;
    };
    // A "/" would move the file into another folder.
    EXPECT_FALSE(RenameSingleFile(old, folder, QStringLiteral("sub/a")));
    EXPECT_FALSE(RenameSingleFile(old, folder, QStringLiteral("../a"), counting));
    EXPECT_FALSE(RenameSingleFile(old, folder, QStringLiteral("/")));
    // No base name, or a hidden one: the file would vanish from the list for good.
    EXPECT_FALSE(RenameSingleFile(old, folder, QString(), counting));
    EXPECT_FALSE(RenameSingleFile(old, folder, QStringLiteral(".urlaub"), counting));
    EXPECT_FALSE(RenameSingleFile(old, folder, QStringLiteral("."), counting));
    // No current file.
    EXPECT_FALSE(RenameSingleFile(QString(), folder, QStringLiteral("neu"), counting));
    // A name longer than the file system allows.
    EXPECT_FALSE(RenameSingleFile(old, folder, QString(300, QLatin1Char('n'))));
    EXPECT_EQ(moves, 0);
    EXPECT_EQ(entries(), before);
    EXPECT_TRUE(QDir(folder + QStringLiteral("/sub")).isEmpty());
}

TEST_F(SingleFileRenameTest, TheUnchangedNameSucceedsWithoutTouchingTheFile) {
    const QString old = write(QStringLiteral("same.png"), "x");
    int moves = 0;
    EXPECT_TRUE(
        RenameSingleFile(old, folder, QStringLiteral("same"), [&](const QString&, const QString&) {
            ++moves;
            return false;
        }));
    EXPECT_EQ(moves, 0);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("same.png")});
}

TEST_F(SingleFileRenameTest, TheMoverIsToldBothPathsAndDecides) {
    const QString old = write(QStringLiteral("x.tga"), "x");
    QString from;
    QString to;
    EXPECT_FALSE(
        RenameSingleFile(old, folder, QStringLiteral("y"), [&](const QString& f, const QString& t) {
            from = f;
            to = t;
            return false;
        }));
    EXPECT_EQ(from, old);
    EXPECT_EQ(to, folder + QStringLiteral("/y.tga"));
    EXPECT_EQ(renameFailureMessage(),
              QStringLiteral("Datei kann nicht umbenannt werden! Name existiert bereits oder Datei "
                             "schreibgeschützt!"));
}
