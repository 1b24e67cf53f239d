#include "platform/FileSystem.h"

#include "platform/Failure.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>

using namespace quill;

namespace {

void writeFile(const QString& path, const QByteArray& bytes = "x") {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every test runs in its own temporary tree and leaves the process's current directory, the
// volume table and the remembered folders as it found them.
class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        // The folder as the system names it, so comparisons with the current directory hold.
        root = QDir(tmp.path()).canonicalPath();
        forgetRememberedFolders();
    }
    void TearDown() override {
        setVolumeSource(nullptr);
        forgetRememberedFolders();
    }
    QString path(const QString& relative) const { return root + QLatin1Char('/') + relative; }
    void makeDirs(const QString& relative) const { ASSERT_TRUE(QDir(root).mkpath(relative)); }

    CurrentDirGuard cwdBack;
    QTemporaryDir tmp;
    QString root;
};

QStringList names(const std::vector<FoundFile>& found) {
    QStringList list;
    for (const FoundFile& entry : found) {
        list << entry.name;
    }
    list.sort();
    return list;
}

} // namespace

TEST(Wildcard, MatchesIgnoringCase) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        {"Bild.JPG", "*.jpg", true},
        {"a.png", "*.PNG", true},
        {"scan.tiff", "*.tif", false},
        {"scan.tif", "*.tiff", false},
        {"noext", "*.*", true},
        {"a.b.c", "*.c", true},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abcd", "a?c", false},
        {"aXbXc.jpg", "*x*.JPG", true},
        {"photo.jpg.txt", "*.jpg", false},
        {"", "*", true},
        {"x", "", false},
        {"mississippi", "m*iss*pi", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(matchesWildcard(QString::fromUtf8(c.name), QString::fromUtf8(c.pattern)), c.match)
            << c.name << " ~ " << c.pattern;
    }
    // Letters beyond ASCII fold too.
    EXPECT_TRUE(matchesWildcard(QStringLiteral("ÄPFEL.JPG"), QStringLiteral("äpfel.*")));
    EXPECT_TRUE(hasWildcards("*.jpg"));
    EXPECT_TRUE(hasWildcards("a?.jpg"));
    EXPECT_FALSE(hasWildcards("a.jpg"));
}

TEST(SortNames, IgnoresCaseAndKeepsNamesAsStored) {
    QStringList list{"Z.tga", "a.png", "Bild.JPG", "b.png"};
    sortNames(list);
    EXPECT_EQ(list, (QStringList{"a.png", "b.png", "Bild.JPG", "Z.tga"}));
}

TEST_F(FileSystemTest, FindFilesAppliesPatternsAndAttributeRules) {
    writeFile(path("a.png"));
    writeFile(path("Bild.JPG"));
    writeFile(path("Z.tga"));
    writeFile(path("notes.txt"));
    writeFile(path(".hidden.png"));
    makeDirs("dir.png");
    ASSERT_TRUE(QFile::link(path("a.png"), path("link.png")));
    ASSERT_TRUE(QFile::link(path("gone.png"), path("dead.png")));
    const QStringList patterns{"*.jpg", "*.png", "*.tga"};

    EXPECT_EQ(names(findFiles(root, patterns, 0)),
              (QStringList{"Bild.JPG", "Z.tga", "a.png", "link.png"}));
    EXPECT_EQ(names(findFiles(root, patterns, faHidden)),
              (QStringList{".hidden.png", "Bild.JPG", "Z.tga", "a.png", "link.png"}));

    const std::vector<FoundFile> withFolders = findFiles(root, patterns, faDirectory);
    auto folder = std::find_if(withFolders.begin(), withFolders.end(),
                               [](const FoundFile& f) { return f.name == "dir.png"; });
    ASSERT_NE(folder, withFolders.end());
    EXPECT_TRUE(folder->attributes & faDirectory);

    // A file matched by two patterns is found once.
    EXPECT_EQ(names(findFiles(root, {"*.png", "A*"}, 0)), (QStringList{"a.png", "link.png"}));
}

TEST_F(FileSystemTest, FindFilesMarksReadOnlyFiles) {
    writeFile(path("ro.jpg"));
    writeFile(path("rw.jpg"));
    ASSERT_TRUE(QFile::setPermissions(path("ro.jpg"), QFile::ReadOwner | QFile::ReadGroup));
    for (const FoundFile& found : findFiles(root, {"*.jpg"}, 0)) {
        EXPECT_EQ(bool(found.attributes & faReadOnly), found.name == "ro.jpg")
            << found.name.toStdString();
    }
}

TEST_F(FileSystemTest, FindFilesInAMissingFolderRaisesTheIoFailure) {
    writeFile(path("file"));
    try {
        findFiles(path("missing"), {"*"}, 0);
        FAIL() << "no failure";
    } catch (const InOutError& failure) {
        EXPECT_EQ(failure.errorCode(), ENOENT);
        EXPECT_EQ(failure.text(), QStringLiteral("E/A-Fehler %1").arg(ENOENT));
    }
    try {
        findFiles(path("file"), {"*"}, 0);
        FAIL() << "no failure";
    } catch (const InOutError& failure) {
        EXPECT_EQ(failure.errorCode(), ENOTDIR);
    }
}

TEST_F(FileSystemTest, SubFoldersAreSortedWithoutHiddenOnesOrFiles) {
    makeDirs("beta");
    makeDirs("Alpha");
    makeDirs("gamma");
    makeDirs(".cache");
    writeFile(path("file.jpg"));
    ASSERT_TRUE(QFile::link(path("gamma"), path("delta")));
    EXPECT_EQ(subFolders(root), (QStringList{"Alpha", "beta", "delta", "gamma"}));
    EXPECT_TRUE(subFolders(path("missing")).isEmpty());
}

TEST_F(FileSystemTest, TheCurrentFolderNeverHoldsTheProcessInIt) {
    makeDirs("a/b");
    setCurrentDir(path("a"));
    EXPECT_EQ(currentDir(), path("a"));
    EXPECT_EQ(QDir::currentPath(), "/") << "a medium shown must stay unmountable";
    setCurrentDir("b");
    EXPECT_EQ(currentDir(), path("a/b"));
    setCurrentDir("..");
    EXPECT_EQ(currentDir(), path("a"));
}

TEST_F(FileSystemTest, AFolderThatCannotBeEnteredLeavesTheCurrentDirectory) {
    writeFile(path("file"));
    setCurrentDir(root);
    try {
        setCurrentDir(path("missing"));
        FAIL() << "no failure";
    } catch (const InOutError& failure) {
        EXPECT_EQ(failure.errorCode(), ENOENT);
    }
    EXPECT_THROW(setCurrentDir(path("file")), InOutError);
    EXPECT_THROW(setCurrentDir(QString()), InOutError);
    EXPECT_EQ(currentDir(), root);
}

TEST_F(FileSystemTest, AVolumeThatIsNotReadyCannotBeEntered) {
    makeDirs("floppy/pics");
    const QString floppy = path("floppy");
    setVolumeSource([floppy] {
        return std::vector<Volume>{{"/", VolumeType::Fixed, {}, {}, true},
                                   {floppy, VolumeType::Removable, {}, {}, false}};
    });
    setCurrentDir(root);
    for (const QString& target : {floppy, floppy + "/pics"}) {
        try {
            setCurrentDir(target);
            FAIL() << "no failure";
        } catch (const InOutError& failure) {
            EXPECT_EQ(failure.errorCode(), ENOMEDIUM);
            EXPECT_EQ(failure.text(), QStringLiteral("E/A-Fehler %1").arg(ENOMEDIUM));
        }
    }
    EXPECT_THROW(enterVolume(floppy), InOutError);
    EXPECT_EQ(currentDir(), root);
}

TEST_F(FileSystemTest, EachVolumeRemembersItsFolder) {
    makeDirs("vol/a/b");
    makeDirs("other");
    const QString vol = path("vol");
    setVolumeSource([vol] {
        return std::vector<Volume>{{"/", VolumeType::Fixed, {}, {}, true},
                                   {vol, VolumeType::Fixed, {}, {}, true}};
    });
    // First use: the root.
    enterVolume(vol);
    EXPECT_EQ(currentDir(), vol);

    setCurrentDir(path("vol/a/b"));
    EXPECT_EQ(rememberedFolder(vol), path("vol/a/b"));
    setCurrentDir(path("other"));
    EXPECT_EQ(rememberedFolder("/"), path("other"));
    enterVolume(vol);
    EXPECT_EQ(currentDir(), path("vol/a/b"));
    enterVolume("/");
    EXPECT_EQ(currentDir(), path("other"));

    // A remembered folder that has gone: back to the root.
    ASSERT_TRUE(QDir(path("vol/a")).removeRecursively());
    enterVolume(vol);
    EXPECT_EQ(currentDir(), vol);
}

TEST_F(FileSystemTest, ResolvePathSplitsFolderAndFile) {
    makeDirs("pics/sub");
    writeFile(path("pics/a.png"));
    ASSERT_TRUE(QFile::link(path("pics"), path("alias")));
    setCurrentDir(root);

    ResolvedPath file = resolvePath(path("pics/a.png"));
    EXPECT_EQ(file.folder, path("pics"));
    EXPECT_EQ(file.file, "a.png");
    EXPECT_EQ(file.drive, "/");

    ResolvedPath folder = resolvePath(path("pics/sub"));
    EXPECT_EQ(folder.folder, path("pics/sub"));
    EXPECT_TRUE(folder.file.isEmpty());

    EXPECT_EQ(resolvePath(path("pics/sub/")).folder, path("pics/sub"));
    EXPECT_EQ(resolvePath("pics/a.png").folder, path("pics")); // relative to the current one
    EXPECT_EQ(resolvePath("/").folder, "/");
    EXPECT_TRUE(resolvePath("/").file.isEmpty());

    ResolvedPath pattern = resolvePath(path("pics/*.PNG"));
    EXPECT_EQ(pattern.folder, path("pics"));
    EXPECT_EQ(pattern.file, "*.PNG");

    // A linked folder resolves to the folder it names.
    ResolvedPath linked = resolvePath(path("alias/a.png"));
    EXPECT_EQ(linked.folder, path("pics"));
    EXPECT_EQ(linked.file, "a.png");

    EXPECT_EQ(currentDir(), root);
}

TEST_F(FileSystemTest, ResolvePathFailsForWhatNamesNothing) {
    makeDirs("pics");
    writeFile(path("pics/a.png"));
    setCurrentDir(path("pics"));
    EXPECT_THROW(resolvePath(path("pics/missing.png")), InOutError);
    EXPECT_THROW(resolvePath(path("missing/a.png")), InOutError);
    EXPECT_THROW(resolvePath(path("pics/a.png/x")), InOutError);
    EXPECT_EQ(currentDir(), path("pics"));
}

TEST_F(FileSystemTest, MoveFileNoReplaceRenamesButNeverReplaces) {
    writeFile(path("a.jpg"), "first");
    writeFile(path("b.jpg"), "second");
    errno = 0;
    EXPECT_FALSE(MoveFileNoReplace(path("a.jpg"), path("b.jpg")));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(readFile(path("a.jpg")), "first");
    EXPECT_EQ(readFile(path("b.jpg")), "second");

    EXPECT_TRUE(MoveFileNoReplace(path("a.jpg"), path("c.jpg")));
    EXPECT_FALSE(QFile::exists(path("a.jpg")));
    EXPECT_EQ(readFile(path("c.jpg")), "first");

    EXPECT_FALSE(MoveFileNoReplace(path("missing.jpg"), path("d.jpg")));
    EXPECT_FALSE(QFile::exists(path("d.jpg")));

    makeDirs("f1");
    makeDirs("f2");
    EXPECT_FALSE(MoveFileNoReplace(path("f1"), path("f2")));
    EXPECT_TRUE(MoveFileNoReplace(path("f1"), path("f3")));
    EXPECT_TRUE(folderExists(path("f3")));
}

TEST_F(FileSystemTest, TheLinkFallbackNeverReplacesEither) {
    writeFile(path("a.jpg"), "first");
    writeFile(path("b.jpg"), "second");
    EXPECT_FALSE(MoveFileNoReplaceByLink(path("a.jpg"), path("b.jpg")));
    EXPECT_EQ(readFile(path("a.jpg")), "first");
    EXPECT_EQ(readFile(path("b.jpg")), "second");

    EXPECT_TRUE(MoveFileNoReplaceByLink(path("a.jpg"), path("c.jpg")));
    EXPECT_FALSE(QFile::exists(path("a.jpg")));
    EXPECT_EQ(readFile(path("c.jpg")), "first");

    makeDirs("f1");
    makeDirs("f2");
    EXPECT_FALSE(MoveFileNoReplaceByLink(path("f1"), path("f2")));
    EXPECT_TRUE(MoveFileNoReplaceByLink(path("f1"), path("f3")));
    EXPECT_TRUE(folderExists(path("f3")));
    EXPECT_FALSE(folderExists(path("f1")));
}

TEST_F(FileSystemTest, LongPathNameIsCanonicalAndOnlyForWhatExists) {
    makeDirs("pics");
    writeFile(path("pics/a.png"));
    ASSERT_TRUE(QFile::link(path("pics"), path("alias")));
    setCurrentDir(path("pics"));
    EXPECT_EQ(GetLongPathName("a.png"), path("pics/a.png"));
    EXPECT_EQ(GetLongPathName(path("alias/../pics/./a.png")), path("pics/a.png"));
    EXPECT_EQ(GetLongPathName(path("alias/a.png")), path("pics/a.png"));
    EXPECT_EQ(GetLongPathName(path("pics")), path("pics"));
    EXPECT_FALSE(GetLongPathName(path("pics/b.png")).has_value());
    EXPECT_FALSE(GetLongPathName(QString()).has_value());
}

TEST_F(FileSystemTest, FileAndFolderTests) {
    makeDirs("dir");
    writeFile(path("file"));
    EXPECT_TRUE(folderExists(path("dir")));
    EXPECT_FALSE(folderExists(path("file")));
    EXPECT_FALSE(folderExists(path("none")));
    EXPECT_TRUE(fileExists(path("file")));
    EXPECT_FALSE(fileExists(path("dir")));
    EXPECT_EQ(joinPath("/", "a"), "/a");
    EXPECT_EQ(joinPath("/x", "a"), "/x/a");
}
