#include "platform/SafeReplace.h"

#include "platform/FileNames.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quill {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

// Removes the temporary file unless the rename took it.
class TemporaryName {
public:
    explicit TemporaryName(QByteArray name) : name_(std::move(name)) {}
    ~TemporaryName() {
        if (!name_.isEmpty()) {
            ::unlink(name_.constData());
        }
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    const char* get() const { return name_.constData(); }
    void keep() { name_.clear(); }

private:
    QByteArray name_;
};

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

// The name of the temporary file beside `target` for mkostemp: hidden, and never longer than
// the target's own name, so every name the folder allows can be written.
QByteArray temporaryPattern(const QByteArray& target) {
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray() : target.left(slash + 1);
    const QByteArray name = target.mid(slash + 1);
    const QByteArray suffix = ".XXXXXX";
    if (1 + name.size() + suffix.size() <= NAME_MAX) {
        return folder + '.' + name + suffix;
    }
    // '.' + the name without its last seven bytes + "XXXXXX": exactly the name's length.
    return folder + '.' + name.left(name.size() - suffix.size()) + suffix.mid(1);
}

} // namespace

// Writes bytes to a new file beside the target and renames it over the target, so that the
// target is either the old file or the complete new one, also after a power cut: the data is
// on the disk before the rename makes it the target.
bool replaceFileSafely(const QString& path, const QByteArray& bytes) {
    const QByteArray targetName = writeTarget(encodeFileName(path));
    QByteArray pattern = temporaryPattern(targetName);
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    FileDescriptor file(fd);
    TemporaryName temporary(pattern);

    const char* next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(file.get(), next, std::size_t(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
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
    if (::fdatasync(file.get()) != 0 || !file.close() ||
        ::rename(temporary.get(), targetName.constData()) != 0) {
        return false;
    }
    temporary.keep();
    return true;
}

} // namespace quill
