// Naming of output and renamed files, and finding or making the output folder.

#include "TestSupport.h"
#include "batch/Naming.h"
#include "batch/OutputFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quill;

TEST(NameAffix, PostFixAppendsAndPreFixPrependsWithNothingBetween) {
    EXPECT_EQ(ApplyNameAffix("urlaub", "_klein", true), "urlaub_klein");
    EXPECT_EQ(ApplyNameAffix("urlaub", "_klein", false), "_kleinurlaub");
    EXPECT_EQ(ApplyNameAffix("urlaub", "", true), "urlaub");
    EXPECT_EQ(ApplyNameAffix("urlaub", "", false), "urlaub");
}

TEST(NameAffix, CaptionComparisonIgnoresCase) {
    EXPECT_TRUE(isPostFix("PostFix"));
    EXPECT_TRUE(isPostFix("POSTFIX"));
    EXPECT_TRUE(isPostFix("postfix"));
    EXPECT_FALSE(isPostFix("PreFix"));
    EXPECT_FALSE(isPostFix("PostFix "));
}

TEST(OutputFolder, JoinsWithOneSeparatorAlsoAtTheRoot) {
    EXPECT_EQ(OutputFolderIn("/home/anna/Bilder"), "/home/anna/Bilder/_Parvexo");
    EXPECT_EQ(OutputFolderIn("/"), "/_Parvexo");
    EXPECT_EQ(OutputFolderIn("/media/stick/"), "/media/stick/_Parvexo");
}

TEST(OutputFolder, ExistingFolderIsUsedAndMissingOneIsMadeOneLevelDeep) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList told;
    const auto report = [&](const QString& text) { told << text; };
    auto never = []() -> std::optional<QString> {
        ADD_FAILURE() << "the target folder dialog was not expected";
        return std::nullopt;
    };

    const std::optional<QString> made = FixOutputFolder(dir.path(), never, report);
    ASSERT_TRUE(made);
    EXPECT_EQ(*made, dir.path() + "/_Parvexo");
    EXPECT_TRUE(QFileInfo(*made).isDir());

    QFile keep(*made + "/keep.jpg");
    ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
    keep.write("x");
    keep.close();
    EXPECT_EQ(FixOutputFolder(dir.path(), never, report), made);
    EXPECT_TRUE(QFileInfo::exists(*made + "/keep.jpg")) << "an existing folder is used as it is";

    // One level only: a missing parent is not made.
    EXPECT_FALSE(FindOrMakeFolder(dir.path() + "/fehlt/_Parvexo"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + "/fehlt"));
    EXPECT_TRUE(told.isEmpty());
}

TEST(OutputFolder, UnusableFolderAsksForAnotherParentUntilCancelled) {
    QTemporaryDir source;
    QTemporaryDir other;
    ASSERT_TRUE(source.isValid() && other.isValid());
    // A file of that name stands in the way: the folder can neither be found nor made.
    QFile blocker(source.path() + "/_Parvexo");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QStringList told;
    const auto report = [&](const QString& text) { told << text; };
    int asked = 0;
    // First a parent that does not exist either, then a good one.
    const std::optional<QString> chosen = FixOutputFolder(
        source.path(),
        [&]() -> std::optional<QString> {
            ++asked;
            return asked == 1 ? source.path() + "/nirgends" : other.path();
        },
        report);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, other.path() + "/_Parvexo");
    EXPECT_TRUE(QFileInfo(*chosen).isDir());
    EXPECT_EQ(asked, 2);
    const QString text = "Zielverzeichnis kann im gewählten Verzeichnis nicht angelegt werden";
    EXPECT_EQ(told, QStringList({text, text}));

    told.clear();
    asked = 0;
    const std::optional<QString> cancelled = FixOutputFolder(
        source.path(),
        [&]() -> std::optional<QString> {
            ++asked;
            return std::nullopt;
        },
        report);
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(told, QStringList({text}));
}
