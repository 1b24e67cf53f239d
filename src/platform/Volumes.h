#pragma once
// The "drives" of the program: the mounted volumes of real file systems, read from the mount
// table. A volume is named by its mount point ("/", "/media/anna/STICK"); the volume of a path is
// the one with the longest mount point containing it.
//
// The table comes from a replaceable source so that tests can describe volumes the machine does
// not have, among them one that is not ready (entering it fails as a drive without a medium does).

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace quill {

enum class VolumeType { Removable, Fixed, Network, CdRom, Ram };

struct Volume {
    QString root; // mount point, absolute, without a trailing "/" (except "/" itself)
    VolumeType type = VolumeType::Fixed;
    QString label;  // file system label, empty when it has none
    QString remote; // the remote source of a network volume ("server:/export", "//host/share")
    bool ready = true;
};

using VolumeSource = std::function<std::vector<Volume>()>;

// The volumes, sorted by mount point; "/" is always among them.
std::vector<Volume> volumes();

// The volume holding a path (absolute; a relative one is taken against the current directory).
Volume volumeOf(const QString& path);

// Replaces the source of the table; returns the previous one so a scope can put it back. An
// empty source restores the system's mount table.
VolumeSource setVolumeSource(VolumeSource source);

// The system's mount table (the default source); mount points that are not folders are left out.
std::vector<Volume> systemVolumes();

// Turns the text of a mount table (the format of /proc/self/mounts) into volumes, leaving out
// pseudo file systems and the kernel's and session's own mount points. `isRemovable` and
// `labelOf` are asked with the device field of each entry.
std::vector<Volume> parseMountTable(const QByteArray& table,
                                    const std::function<bool(const QString& device)>& isRemovable,
                                    const std::function<QString(const QString& device)>& labelOf);

// The drive selector's text of a volume: removable "PATH", fixed, CD-ROM and RAM "PATH [LABEL]",
// network "PATH REMOTE" (or "PATH [LABEL]" when the remote source is unknown).
QString volumeEntryText(const Volume& volume);

// True when `path` is `root` or lies below it (both absolute and clean).
bool pathIsWithin(const QString& path, const QString& root);

} // namespace quill
