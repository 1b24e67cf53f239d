#include "browse/DriveComboBox.h"

#include "browse/Glyphs.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quill;

namespace {

// One volume of every type, all inside a temporary folder.
class DriveComboBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        base = QDir(tmp.path()).canonicalPath();
        for (const char* name : {"cd", "floppy", "nas", "ram", "usb/pics"}) {
            ASSERT_TRUE(QDir(base).mkpath(name));
        }
        table = {{"/", VolumeType::Fixed, "system", {}, true},
                 {base + "/floppy", VolumeType::Removable, "IGNORED", {}, false},
                 {base + "/cd", VolumeType::CdRom, {}, {}, true},
                 {base + "/nas", VolumeType::Network, {}, "server:/export", true},
                 {base + "/ram", VolumeType::Ram, "Scratch", {}, true},
                 {base + "/usb", VolumeType::Fixed, "Fotos & mehr", {}, true}};
        setVolumeSource([this] { return table; });
        setCurrentDir(base + "/usb/pics");
    }
    void TearDown() override { setVolumeSource(nullptr); }

    CurrentDirGuard cwdBack;
    QTemporaryDir tmp;
    QString base;
    std::vector<Volume> table;
};

} // namespace

TEST_F(DriveComboBoxTest, EntriesReadByVolumeType) {
    TDriveComboBox box;
    QStringList texts;
    std::vector<Glyph> glyphs;
    for (int i = 0; i < box.count(); ++i) {
        texts << box.itemText(i);
        glyphs.push_back(box.entryGlyph(i));
    }
    EXPECT_EQ(texts, (QStringList{"/ [system]", base + "/cd []", base + "/floppy",
                                  base + "/nas server:/export", base + "/ram [Scratch]",
                                  base + "/usb [Fotos & mehr]"}));
    EXPECT_EQ(glyphs, (std::vector<Glyph>{Glyph::Hard, Glyph::CdRom, Glyph::Floppy, Glyph::Network,
                                          Glyph::Ram, Glyph::Hard}));
    // The drive of the process's current directory is selected at the start.
    EXPECT_EQ(box.Drive(), base + "/usb");
    EXPECT_EQ(box.currentIndex(), 5);
    EXPECT_EQ(box.itemHeight(), 13);
}

TEST_F(DriveComboBoxTest, SettingTheDriveNotifiesOnlyOnAChange) {
    TDriveComboBox box;
    int changes = 0;
    QObject::connect(&box, &TDriveComboBox::changed, [&] { ++changes; });

    box.SetDrive(base + "/usb");
    EXPECT_EQ(changes, 0);
    box.SetDrive(base + "/cd");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(box.currentIndex(), 1);
    // Any path on a volume names that volume.
    box.SetDrive(base + "/usb/pics");
    EXPECT_EQ(box.Drive(), base + "/usb");
    EXPECT_EQ(changes, 2);

    box.SetDrive(QString());
    EXPECT_TRUE(box.Drive().isEmpty());
    EXPECT_EQ(box.currentIndex(), -1);
    EXPECT_EQ(changes, 3);
}

TEST_F(DriveComboBoxTest, ChoosingAnEntrySetsItsDrive) {
    TDriveComboBox box;
    QStringList seen;
    QObject::connect(&box, &TDriveComboBox::changed, [&] { seen << box.Drive(); });
    box.setCurrentIndex(4);
    emit box.activated(4);
    box.setCurrentIndex(4);
    emit box.activated(4); // the same entry again: no change
    EXPECT_EQ(seen, QStringList{base + "/ram"});
}

TEST_F(DriveComboBoxTest, TheListFollowsTheVolumeTable) {
    TDriveComboBox box;
    table.push_back({base + "/zip", VolumeType::Removable, {}, {}, true});
    box.BuildList();
    EXPECT_EQ(box.count(), 7);
    EXPECT_EQ(box.itemText(6), base + "/zip");
    EXPECT_EQ(box.entryDrive(box.currentIndex()), base + "/usb");
}

TEST(Glyphs, SizesColoursAndTransparency) {
    struct Expect {
        Glyph glyph;
        int height;
    };
    const Expect all[] = {{Glyph::Floppy, 11},        {Glyph::Hard, 11},
                          {Glyph::Network, 11},       {Glyph::CdRom, 11},
                          {Glyph::Ram, 11},           {Glyph::OpenFolder, 15},
                          {Glyph::CurrentFolder, 15}, {Glyph::ClosedFolder, 15},
                          {Glyph::Executable, 15},    {Glyph::UnknownFile, 15}};
    QSet<QByteArray> distinct;
    for (const Expect& e : all) {
        const QImage& bitmap = glyphBitmap(e.glyph);
        EXPECT_EQ(bitmap.size(), QSize(16, e.height));
        EXPECT_EQ(bitmap.format(), QImage::Format_Indexed8);
        EXPECT_EQ(bitmap.colorCount(), 16);
        const QImage& image = glyphImage(e.glyph);
        // The bottom-left colour is left out wherever it occurs, and only it.
        const QRgb key = bitmap.pixel(0, bitmap.height() - 1);
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const bool transparent = qAlpha(image.pixel(x, y)) == 0;
                EXPECT_EQ(transparent, bitmap.pixel(x, y) == key);
                drawn += transparent ? 0 : 1;
            }
        }
        EXPECT_GT(drawn, 20);
        distinct.insert(
            QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
    }
    EXPECT_EQ(distinct.size(), 10); // no two glyphs alike
}
