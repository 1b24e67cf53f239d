#pragma once
// Opening and reading a picture file in the window's process. Only regular files are taken: a
// pipe or device put in a picture's place would block or never end; no file beyond a size cap
// is read, so a huge file costs nothing; and neither the open nor the reading may hold the
// window beyond fileWaitLimit(), however the file system behaves.

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

namespace quill {

enum class RegularFileRead {
    Read,
    CannotOpen, // missing, unreadable, not a regular file, or not read within the limit
    TooLarge,   // above the size cap
};

// Reads a whole regular file into bytes, never waiting on the open and never reading more than
// maxBytes (a file that grows beyond it while it is read counts as too large).
RegularFileRead readRegularFile(const QString& path, QByteArray& bytes, qint64 maxBytes);

// An open picture file, closed when it goes.
class PictureDescriptor {
public:
    PictureDescriptor() = default;
    explicit PictureDescriptor(int fd) : fd_(fd) {}
    ~PictureDescriptor();
    PictureDescriptor(PictureDescriptor&& other) noexcept;
    PictureDescriptor& operator=(PictureDescriptor&& other) noexcept;
    int get() const { return fd_; }
    int release();
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Opens a regular file for reading, without waiting on the open itself (a pipe) and within
// fileWaitLimit(); info receives its status. An empty descriptor when it is missing, unreadable,
// no regular file, or did not open in time.
PictureDescriptor openRegularFile(const QString& path, struct stat* info = nullptr);

} // namespace quill
