// Names are bytes: every name, UTF-8 or not, survives the trip into a QString and back, the
// directory read lists it so that it opens, and a process started in a folder it cannot list
// starts somewhere it can.

#include "platform/FileNames.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quill;

namespace {

void writeRaw(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, bytes.constData(), std::size_t(bytes.size())), bytes.size());
    ::close(fd);
}

QByteArray readRaw(const QByteArray& path) {
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0) {
        return bytes;
    }
    char buffer[256];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, got);
    }
    ::close(fd);
    return bytes;
}

} // namespace

TEST(FileNames, EveryByteSequenceComesBackExactly) {
    const QList<QByteArray> names{
        "bild\xff.jpg",         // a byte that never occurs in UTF-8
        "caf\xe9.png",          // Latin-1
        "\xc3\xa9t\xc3\xa9",    // valid UTF-8 "été"
        "\xc3",                 // a sequence cut short
        "\xc0\xaf",             // an overlong "/"
        "\xed\xa0\x80",         // an encoded surrogate
        "\xf4\x90\x80\x80",     // beyond U+10FFFF
        "\xf0\x90\x80\x80\xff", // U+10000 (a surrogate pair in UTF-16) before a stray byte
        "\x80\x80\x80",         // continuation bytes alone
        "plain.txt",
    };
    for (const QByteArray& name : names) {
        const QString decoded = decodeFileName(name);
        EXPECT_EQ(encodeFileName(decoded), name) << name.toHex().constData();
    }
    // Valid UTF-8 reads as its text, exactly as Qt reads it.
    EXPECT_EQ(decodeFileName("\xc3\xa9t\xc3\xa9"), QString::fromUtf8("\xc3\xa9t\xc3\xa9"));
    // Stray bytes are kept apart from real text and from each other.
    EXPECT_NE(decodeFileName("caf\xe9"), decodeFileName("caf\xe8"));
    EXPECT_NE(decodeFileName("caf\xe9"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(decodeFileName("caf\xe9").left(3), QStringLiteral("caf"));
}

TEST(FileNames, ANameThatIsNotUtf8IsListedSoThatItOpensAndRenames) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray folder = QFile::encodeName(tmp.path());
    writeRaw(folder + "/bild\xff.jpg", "first");
    writeRaw(folder + "/caf\xe9.png", "second");

    const std::vector<FoundFile> found =
        findFiles(tmp.path(), {QStringLiteral("*.jpg"), QStringLiteral("*.png")}, 0);
    ASSERT_EQ(found.size(), 2u);
    for (const FoundFile& entry : found) {
        const QByteArray path = encodeFileName(joinPath(tmp.path(), entry.name));
        EXPECT_FALSE(readRaw(path).isEmpty()) << path.constData();
        EXPECT_TRUE(fileExists(joinPath(tmp.path(), entry.name)));
    }

    const QString cafe = decodeFileName("caf\xe9.png");
    ASSERT_TRUE(MoveFileNoReplace(joinPath(tmp.path(), cafe),
                                  joinPath(tmp.path(), decodeFileName("caf\xe9_alt.png"))));
    EXPECT_EQ(readRaw(folder + "/caf\xe9_alt.png"), "second");
}

TEST(FileNames, StartingInAFolderThatHasGoneMovesToHomeOrTheRoot) {
    const QString before = QDir::currentPath();
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray home = QFile::encodeName(tmp.path() + QStringLiteral("/home"));
    const QByteArray gone = QFile::encodeName(tmp.path() + QStringLiteral("/gone"));
    ASSERT_EQ(::mkdir(home.constData(), 0755), 0);
    ASSERT_EQ(::mkdir(gone.constData(), 0755), 0);
    const QByteArray savedHome = qgetenv("HOME");

    EXPECT_EQ(::chdir(tmp.path().toUtf8().constData()), 0);
    EXPECT_EQ(ensureListableCurrentDir(), std::nullopt) << "a listable folder is kept";

    ASSERT_EQ(::chdir(gone.constData()), 0);
    ASSERT_EQ(::rmdir(gone.constData()), 0);
    qputenv("HOME", home);
    EXPECT_EQ(ensureListableCurrentDir(), QString::fromUtf8(home));
    EXPECT_EQ(currentDir(), QDir(QString::fromUtf8(home)).canonicalPath());

    // Without a usable home the root it is.
    ASSERT_EQ(::mkdir(gone.constData(), 0755), 0);
    ASSERT_EQ(::chdir(gone.constData()), 0);
    ASSERT_EQ(::rmdir(gone.constData()), 0);
    qputenv("HOME", gone);
    EXPECT_EQ(ensureListableCurrentDir(), QStringLiteral("/"));
    EXPECT_EQ(currentDir(), QStringLiteral("/"));

    qputenv("HOME", savedHome);
    QDir::setCurrent(before);
}
