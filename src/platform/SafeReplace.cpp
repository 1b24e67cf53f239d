#include "platform/SafeReplace.h"

#include "platform/FileLayer.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"

#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quill {

namespace {

thread_local int replaceError = 0;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Removes the temporary name unless the rename took it.
class TemporaryName {
public:
    TemporaryName() = default;
    ~TemporaryName() {
        if (!name_.isEmpty()) {
            ::unlink(name_.constData());
        }
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    void set(QByteArray name) { name_ = std::move(name); }
    const char* get() const { return name_.constData(); }
    void keep() { name_.clear(); }

private:
    QByteArray name_;
};

bool fail(int error) {
    replaceError = error != 0 ? error : EIO;
    return false;
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The file a write to `path` lands in: writing through a link keeps the link.
QByteArray writeTarget(const QByteArray& path) {
    struct stat link {};
    if (::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.constData(), nullptr),
                                                             &std::free);
        if (resolved) {
            return QByteArray(resolved.get());
        }
    }
    return path;
}

constexpr qsizetype kSuffixLetters = 6;

bool isSuffixLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A temporary name beside `target`: hidden, the target's name and six random letters, and never
// longer than the target's own name, so every name the folder allows can be written.
QByteArray temporaryName(const QByteArray& target) {
    static constexpr char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray suffix(".", 1);
    for (qsizetype i = 0; i < kSuffixLetters; ++i) {
        suffix += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    }
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = target.left(slash + 1);
    const QByteArray name = target.mid(slash + 1);
    if (1 + name.size() + suffix.size() <= NAME_MAX) {
        return folder + '.' + name + suffix;
    }
    return folder + '.' + name.left(name.size() - suffix.size()) + suffix.mid(1);
}

// Whether a name is one temporaryName gives for an output (".NAME.jpg.XXXXXX").
bool isTemporaryOutputName(const char* raw) {
    const QByteArray name(raw);
    const qsizetype suffixAt = name.size() - kSuffixLetters - 1;
    if (!name.startsWith('.') || suffixAt <= 4 || name[suffixAt] != '.') {
        return false;
    }
    for (qsizetype i = suffixAt + 1; i < name.size(); ++i) {
        if (!isSuffixLetter(name[i])) {
            return false;
        }
    }
    return name.left(suffixAt).toLower().endsWith(".jpg");
}

// A new file in the target's folder, locked for as long as it is being written so that a clean-up
// never takes it: without a name where the file system allows (a crash then leaves nothing),
// else under a temporary name.
int createFile(FileLayer& layer, const QByteArray& target, TemporaryName& temporary) {
    const QByteArray folder = target.left(target.lastIndexOf('/') + 1);
    int fd = layer.open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            const QByteArray name = temporaryName(target);
            fd = layer.open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                temporary.set(name);
            } else if (errno != EEXIST) {
                break;
            }
        }
    }
    if (fd >= 0) {
        ::flock(fd, LOCK_EX);
    }
    return fd;
}

// Gives a file without a name one: the target's own when there is none yet, else a temporary
// one that the rename then puts over the target.
bool nameFile(int fd, const QByteArray& target, TemporaryName& temporary, bool& named) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const auto link = [&](const QByteArray& name) {
        return ::linkat(fd, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH) == 0 ||
               (errno != EEXIST && ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(),
                                            AT_SYMLINK_FOLLOW) == 0);
    };
    if (link(target)) {
        named = true;
        return true;
    }
    if (errno != EEXIST) {
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = temporaryName(target);
        if (link(name)) {
            temporary.set(name);
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

} // namespace

int lastReplaceError() {
    return replaceError;
}

// The data is on the disk before the file gets the target's name, so that the target is either
// the old file or the complete new one, also after a power cut.
bool replaceFileSafely(const QString& path, const QByteArray& bytes) {
    replaceError = 0;
    const std::shared_ptr<FileLayer> layer = fileLayer();
    const QByteArray targetName = writeTarget(encodePath(path));
    TemporaryName temporary;
    FileDescriptor file(createFile(*layer, targetName, temporary));
    if (file.get() < 0) {
        return fail(errno);
    }
    const bool unnamed = temporary.get()[0] == '\0';

    const char* next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = layer->write(file.get(), next, std::size_t(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return fail(written == 0 ? ENOSPC : errno);
        }
        next += written;
        left -= written;
    }
    struct stat existing {};
    if (::stat(targetName.constData(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(file.get(), existing.st_mode & 07777);
        if (::geteuid() == 0) {
            // Replacing another user's file as root must not hand it to root.
            if (::fchown(file.get(), existing.st_uid, existing.st_gid) != 0) {
                // A file system without owners (vfat) refuses: there is no owner to keep.
            }
        }
    } else {
        ::fchmod(file.get(), newFileMode());
    }
    if (::fdatasync(file.get()) != 0) {
        return fail(errno);
    }
    bool named = false;
    if (unnamed && !nameFile(file.get(), targetName, temporary, named)) {
        return fail(errno);
    }
    if (!named && ::rename(temporary.get(), targetName.constData()) != 0) {
        return fail(errno);
    }
    temporary.keep();
    return true;
}

int removeLeftoverTemporaries(const QString& folder) {
    struct CloseDir {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, CloseDir> dir(::opendir(encodePath(folder).constData()));
    if (!dir) {
        return 0;
    }
    const int dirFd = ::dirfd(dir.get());
    int removed = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!isTemporaryOutputName(entry->d_name)) {
            continue;
        }
        const FileDescriptor file(
            ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        struct stat named {};
        // Only a plain file of one name that no writer holds, and still the file of that name.
        if (file.get() < 0 || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            opened.st_nlink != 1 || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 ||
            ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            named.st_ino != opened.st_ino || named.st_dev != opened.st_dev) {
            continue;
        }
        if (::unlinkat(dirFd, entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    return removed;
}

bool syncFolder(const QString& folder) {
    const FileDescriptor dir(
        ::open(encodePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.get() >= 0 && ::fsync(dir.get()) == 0;
}

} // namespace quill
