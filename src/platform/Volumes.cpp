#include "platform/Volumes.h"

#include "platform/FileNames.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>

namespace quill {
namespace {

VolumeSource& currentSource() {
    static VolumeSource source;
    return source;
}

// The kernel's and the session's own file systems: nothing a user keeps pictures on.
bool isPseudoType(const QString& type) {
    static const std::set<QString> pseudo = {
        QStringLiteral("proc"),        QStringLiteral("sysfs"),
        QStringLiteral("cgroup"),      QStringLiteral("cgroup2"),
        QStringLiteral("devpts"),      QStringLiteral("devtmpfs"),
        QStringLiteral("securityfs"),  QStringLiteral("debugfs"),
        QStringLiteral("tracefs"),     QStringLiteral("pstore"),
        QStringLiteral("bpf"),         QStringLiteral("configfs"),
        QStringLiteral("fusectl"),     QStringLiteral("mqueue"),
        QStringLiteral("hugetlbfs"),   QStringLiteral("autofs"),
        QStringLiteral("binfmt_misc"), QStringLiteral("rpc_pipefs"),
        QStringLiteral("efivarfs"),    QStringLiteral("selinuxfs"),
        QStringLiteral("nsfs"),        QStringLiteral("rootfs"),
        QStringLiteral("nfsd"),        QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal"), QStringLiteral("fuse.lxcfs"),
    };
    return pseudo.count(type) != 0;
}

bool isPseudoMountPoint(const QString& root) {
    if (pathIsWithin(root, QStringLiteral("/run/media"))) {
        return false;
    }
    for (const char* system : {"/proc", "/sys", "/dev", "/run", "/snap"}) {
        if (pathIsWithin(root, QString::fromLatin1(system))) {
            return true;
        }
    }
    return false;
}

VolumeType typeOf(const QString& fsType, const QString& root, bool removable) {
    static const std::set<QString> network = {
        QStringLiteral("nfs"),  QStringLiteral("nfs4"),       QStringLiteral("cifs"),
        QStringLiteral("smb3"), QStringLiteral("smbfs"),      QStringLiteral("sshfs"),
        QStringLiteral("afs"),  QStringLiteral("fuse.sshfs"), QStringLiteral("ncpfs"),
        QStringLiteral("9p"),   QStringLiteral("davfs"),      QStringLiteral("fuse.davfs2"),
    };
    if (network.count(fsType) != 0) {
        return VolumeType::Network;
    }
    if (fsType == QLatin1String("iso9660") || fsType == QLatin1String("udf")) {
        return VolumeType::CdRom;
    }
    if (fsType == QLatin1String("tmpfs") || fsType == QLatin1String("ramfs")) {
        return VolumeType::Ram;
    }
    if (removable || pathIsWithin(root, QStringLiteral("/media")) ||
        pathIsWithin(root, QStringLiteral("/run/media"))) {
        return VolumeType::Removable;
    }
    return VolumeType::Fixed;
}

// Replaces each backslash escape by the byte it codes: three octal digits (how the mount table
// writes blanks, tabs, newlines and backslashes) or "x" and two hex digits (how udev writes the
// unsafe characters of a label). Anything else stays as it is.
QByteArray unescapeBytes(const QByteArray& text, bool hex) {
    const qsizetype lead = hex ? 1 : 0; // the "x"
    const int digits = hex ? 2 : 3;
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype end = i + 1 + lead + digits;
        const bool escape = text[i] == '\\' && end <= text.size() &&
                            (hex ? text[i + 1] == 'x' : text[i + 1] >= '0' && text[i + 1] <= '3');
        if (escape) {
            bool ok = false;
            const int code = text.mid(i + 1 + lead, digits).toInt(&ok, hex ? 16 : 8);
            if (ok) {
                out.append(char(code));
                i = end - 1;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

QString unescapeMountField(const QByteArray& field) {
    return decodeFileName(unescapeBytes(field, false));
}

QString unescapeUdevName(const QString& name) {
    return QString::fromUtf8(unescapeBytes(name.toUtf8(), true));
}

QString canonicalDevice(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

bool systemDeviceIsRemovable(const QString& device) {
    if (!device.startsWith(QLatin1String("/dev/"))) {
        return false;
    }
    const QString name = QFileInfo(canonicalDevice(device)).fileName();
    const QString blockDir =
        QFileInfo(QStringLiteral("/sys/class/block/") + name).canonicalFilePath();
    if (blockDir.isEmpty()) {
        return false;
    }
    // A partition carries no flag of its own; the whole disk above it does.
    for (const QString& candidate :
         {blockDir + QStringLiteral("/removable"), blockDir + QStringLiteral("/../removable")}) {
        QFile flag(candidate);
        if (flag.open(QIODevice::ReadOnly)) {
            return flag.readAll().trimmed() == "1";
        }
    }
    return false;
}

std::map<QString, QString> systemLabels() {
    std::map<QString, QString> labels;
    QDir byLabel(QStringLiteral("/dev/disk/by-label"));
    const QFileInfoList links =
        byLabel.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& link : links) {
        labels[link.canonicalFilePath()] = unescapeUdevName(link.fileName());
    }
    return labels;
}

// A mount point can be a single file bound over another (a container's /etc/hosts): no drive to
// browse. Asked without waking a network file system's server, so a hung share cannot block the
// list; the root of a mount is in the kernel's cache while it is mounted.
bool mountPointIsFolder(const QString& root) {
    struct statx info {};
    if (::statx(AT_FDCWD, encodeFileName(root).constData(),
                AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_TYPE, &info) != 0) {
        // Unreachable now is not proof of a file; entering it reports what is wrong.
        return true;
    }
    return S_ISDIR(info.stx_mode);
}

} // namespace

bool pathIsWithin(const QString& path, const QString& root) {
    if (root == QLatin1String("/")) {
        return path.startsWith(QLatin1Char('/'));
    }
    return path == root ||
           (path.startsWith(root) && path.size() > root.size() && path[root.size()] == u'/');
}

std::vector<Volume> parseMountTable(const QByteArray& table,
                                    const std::function<bool(const QString&)>& isRemovable,
                                    const std::function<QString(const QString&)>& labelOf) {
    // A later mount on the same point hides the earlier one.
    std::map<QString, Volume> byRoot;
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3) {
            continue;
        }
        const QString device = unescapeMountField(fields[0]);
        QString root = QDir::cleanPath(unescapeMountField(fields[1]));
        const QString fsType = QString::fromLatin1(fields[2]);
        if (!root.startsWith(QLatin1Char('/')) || isPseudoType(fsType) ||
            isPseudoMountPoint(root)) {
            continue;
        }
        Volume volume;
        volume.root = root;
        volume.type = typeOf(fsType, root, isRemovable && isRemovable(device));
        if (volume.type == VolumeType::Network) {
            volume.remote = device;
        } else if (labelOf) {
            volume.label = labelOf(device);
        }
        byRoot[root] = volume;
    }
    if (byRoot.count(QStringLiteral("/")) == 0) {
        Volume rootVolume;
        rootVolume.root = QStringLiteral("/");
        byRoot[rootVolume.root] = rootVolume;
    }
    std::vector<Volume> result;
    for (auto& [root, volume] : byRoot) {
        result.push_back(volume);
    }
    return result;
}

std::vector<Volume> systemVolumes() {
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    QByteArray table;
    if (mounts.open(QIODevice::ReadOnly)) {
        table = mounts.readAll();
    }
    std::map<QString, QString> labels;
    bool labelsRead = false;
    std::vector<Volume> list =
        parseMountTable(table, systemDeviceIsRemovable, [&](const QString& device) {
            if (!device.startsWith(QLatin1String("/dev/"))) {
                return QString();
            }
            if (!labelsRead) {
                labels = systemLabels();
                labelsRead = true;
            }
            auto found = labels.find(canonicalDevice(device));
            return found == labels.end() ? QString() : found->second;
        });
    std::erase_if(list, [](const Volume& volume) { return !mountPointIsFolder(volume.root); });
    return list;
}

std::vector<Volume> volumes() {
    const VolumeSource source = currentSource();
    std::vector<Volume> list = source ? source() : systemVolumes();
    for (Volume& volume : list) {
        volume.root = QDir::cleanPath(volume.root);
    }
    if (std::none_of(list.begin(), list.end(),
                     [](const Volume& v) { return v.root == QLatin1String("/"); })) {
        Volume rootVolume;
        rootVolume.root = QStringLiteral("/");
        list.push_back(rootVolume);
    }
    std::sort(list.begin(), list.end(),
              [](const Volume& a, const Volume& b) { return a.root < b.root; });
    return list;
}

Volume volumeOf(const QString& path) {
    const QString absolute = QDir::cleanPath(decodeFileName(encodePath(path)));
    Volume best;
    best.root = QStringLiteral("/");
    qsizetype bestLength = -1;
    for (const Volume& volume : volumes()) {
        if (pathIsWithin(absolute, volume.root) && volume.root.size() > bestLength) {
            best = volume;
            bestLength = volume.root.size();
        }
    }
    return best;
}

VolumeSource setVolumeSource(VolumeSource source) {
    VolumeSource previous = std::move(currentSource());
    currentSource() = std::move(source);
    return previous;
}

QString volumeEntryText(const Volume& volume) {
    switch (volume.type) {
    case VolumeType::Removable:
        return volume.root;
    case VolumeType::Network:
        if (!volume.remote.isEmpty()) {
            return volume.root + QLatin1Char(' ') + volume.remote;
        }
        break;
    case VolumeType::Fixed:
    case VolumeType::CdRom:
    case VolumeType::Ram:
        break;
    }
    return volume.root + QStringLiteral(" [") + volume.label + QLatin1Char(']');
}

} // namespace quill
