#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using namespace quill;

namespace {

// Restores the system's mount table when a test replaced it.
struct SourceScope {
    explicit SourceScope(VolumeSource source) : previous(setVolumeSource(std::move(source))) {}
    ~SourceScope() { setVolumeSource(std::move(previous)); }
    VolumeSource previous;
};

const Volume* findRoot(const std::vector<Volume>& list, const QString& root) {
    for (const Volume& volume : list) {
        if (volume.root == root) {
            return &volume;
        }
    }
    return nullptr;
}

const QByteArray kTable = "proc /proc proc rw,relatime 0 0\n"
                          "sysfs /sys sysfs rw 0 0\n"
                          "tmpfs /dev/shm tmpfs rw 0 0\n"
                          "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
                          "/dev/sda2 / ext4 rw 0 0\n"
                          "/dev/sda3 /home ext4 rw 0 0\n"
                          "/dev/sdb1 /media/anna/STICK vfat rw 0 0\n"
                          "/dev/sdc1 /mnt/usb ext4 rw 0 0\n"
                          "/dev/sdd1 /run/media/anna/CARD exfat rw 0 0\n"
                          "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                          "server:/export /mnt/nfs nfs4 rw 0 0\n"
                          "//host/share /mnt/smb cifs rw 0 0\n"
                          "/dev/sr0 /mnt/cd iso9660 ro 0 0\n"
                          "tmpfs /tmp tmpfs rw 0 0\n"
                          "/dev/sde1 /mnt/my\\040disk ext4 rw 0 0\n"
                          "/dev/sdf1 /srv xfs rw 0 0\n"
                          "/dev/sdg1 /srv ext4 rw 0 0\n";

std::vector<Volume> parsedTable() {
    return parseMountTable(
        kTable, [](const QString& device) { return device == QLatin1String("/dev/sdc1"); },
        [](const QString& device) {
            if (device == QLatin1String("/dev/sda2")) {
                return QStringLiteral("system");
            }
            if (device == QLatin1String("/dev/sdb1")) {
                return QStringLiteral("STICK");
            }
            return QString();
        });
}

} // namespace

TEST(MountTable, KeepsRealFileSystemsAndTypesThem) {
    const std::vector<Volume> list = parsedTable();
    QStringList roots;
    for (const Volume& volume : list) {
        roots << volume.root;
    }
    // Sorted by path; pseudo file systems and the session's own mounts are left out.
    EXPECT_EQ(roots,
              (QStringList{"/", "/home", "/media/anna/STICK", "/mnt/cd", "/mnt/my disk", "/mnt/nfs",
                           "/mnt/smb", "/mnt/usb", "/run/media/anna/CARD", "/srv", "/tmp"}));

    EXPECT_EQ(findRoot(list, "/")->type, VolumeType::Fixed);
    EXPECT_EQ(findRoot(list, "/")->label, "system");
    EXPECT_EQ(findRoot(list, "/media/anna/STICK")->type, VolumeType::Removable);
    EXPECT_EQ(findRoot(list, "/run/media/anna/CARD")->type, VolumeType::Removable);
    EXPECT_EQ(findRoot(list, "/mnt/usb")->type, VolumeType::Removable);
    EXPECT_EQ(findRoot(list, "/mnt/nfs")->type, VolumeType::Network);
    EXPECT_EQ(findRoot(list, "/mnt/nfs")->remote, "server:/export");
    EXPECT_EQ(findRoot(list, "/mnt/smb")->type, VolumeType::Network);
    EXPECT_EQ(findRoot(list, "/mnt/smb")->remote, "//host/share");
    EXPECT_EQ(findRoot(list, "/mnt/cd")->type, VolumeType::CdRom);
    EXPECT_EQ(findRoot(list, "/tmp")->type, VolumeType::Ram);
    EXPECT_EQ(findRoot(list, "/home")->type, VolumeType::Fixed);
    // The later of two mounts on one point is the one that is seen.
    EXPECT_EQ(findRoot(list, "/srv")->type, VolumeType::Fixed);
}

TEST(MountTable, RootIsAlwaysListed) {
    const std::vector<Volume> list =
        parseMountTable("/dev/sdb1 /media/x vfat rw 0 0\n", nullptr, nullptr);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].root, "/");
    EXPECT_EQ(list[1].root, "/media/x");
}

TEST(MountTable, EntryTextsFollowTheVolumeType) {
    const std::vector<Volume> list = parsedTable();
    EXPECT_EQ(volumeEntryText(*findRoot(list, "/")), "/ [system]");
    EXPECT_EQ(volumeEntryText(*findRoot(list, "/home")), "/home []");
    EXPECT_EQ(volumeEntryText(*findRoot(list, "/media/anna/STICK")), "/media/anna/STICK");
    EXPECT_EQ(volumeEntryText(*findRoot(list, "/mnt/nfs")), "/mnt/nfs server:/export");
    EXPECT_EQ(volumeEntryText(*findRoot(list, "/mnt/cd")), "/mnt/cd []");
    EXPECT_EQ(volumeEntryText(*findRoot(list, "/tmp")), "/tmp []");

    Volume ram{"/ram", VolumeType::Ram, "Scratch", {}, true};
    EXPECT_EQ(volumeEntryText(ram), "/ram [Scratch]");
    Volume unknownRemote{"/net", VolumeType::Network, "lbl", {}, true};
    EXPECT_EQ(volumeEntryText(unknownRemote), "/net [lbl]");
}

TEST(VolumeTable, VolumeOfAPathIsTheLongestMountPointHoldingIt) {
    SourceScope scope([] {
        return std::vector<Volume>{
            {"/mnt", VolumeType::Fixed, {}, {}, true},
            {"/mnt/usb", VolumeType::Removable, {}, {}, false},
        };
    });
    EXPECT_EQ(volumeOf("/mnt/usb/pics/a.jpg").root, "/mnt/usb");
    EXPECT_FALSE(volumeOf("/mnt/usb").ready);
    EXPECT_EQ(volumeOf("/mnt/usbx/a").root, "/mnt");
    EXPECT_EQ(volumeOf("/mnt/../etc").root, "/");
    // "/" is added to a table that lacks it.
    const std::vector<Volume> list = volumes();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].root, "/");
}

TEST(VolumeTable, SystemTableHasTheRootAndNoKernelFileSystems) {
    const std::vector<Volume> list = systemVolumes();
    ASSERT_NE(findRoot(list, "/"), nullptr);
    for (const Volume& volume : list) {
        EXPECT_FALSE(pathIsWithin(volume.root, "/proc")) << volume.root.toStdString();
        EXPECT_FALSE(pathIsWithin(volume.root, "/sys")) << volume.root.toStdString();
        EXPECT_TRUE(volume.ready);
    }
}

// A single file bound over another (as containers do with /etc/hosts) is a mount point but no
// drive; a bound folder is one. Needs the right to mount (root, not in a locked-down container).
TEST(VolumeTable, OnlyMountPointsThatAreFoldersAreListed) {
    QTemporaryDir dir;
    const QString root = QDir(dir.path()).canonicalPath();
    QFile file(root + "/datei");
    ASSERT_TRUE(QDir(root).mkdir("ordner") && file.open(QIODevice::WriteOnly));
    const std::vector<std::pair<QString, bool>> cases{{root + "/datei", false},
                                                      {root + "/ordner", true}};
    const auto unbind = qScopeGuard([&] {
        for (const auto& bound : cases) {
            ::umount2(QFile::encodeName(bound.first).constData(), MNT_DETACH);
        }
    });
    for (const auto& bound : cases) {
        const QByteArray point = QFile::encodeName(bound.first);
        if (::mount(point.constData(), point.constData(), nullptr, MS_BIND, nullptr) != 0) {
            GTEST_SKIP() << "binding is not permitted here: " << std::strerror(errno);
        }
    }
    const std::vector<Volume> list = systemVolumes();
    for (const auto& [point, listed] : cases) {
        EXPECT_EQ(findRoot(list, point) != nullptr, listed) << point.toStdString();
    }
}
