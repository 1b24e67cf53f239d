#include "platform/RegularFile.h"

#include "platform/FileNames.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quill {

namespace {

class OpenFile {
public:
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

} // namespace

RegularFileRead readRegularFile(const QString& path, QByteArray& bytes, qint64 maxBytes) {
    bytes.clear();
    // Non-blocking, so that a pipe without a writer opens at once and is turned away below.
    const QByteArray name = encodeFileName(path);
    OpenFile file(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return RegularFileRead::CannotOpen;
    }
    if (info.st_size > maxBytes) {
        return RegularFileRead::TooLarge;
    }
    // One byte more than the size, so the end shows without growing; a file that grew meanwhile
    // is read on until it passes the cap.
    QByteArray buffer(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == buffer.size()) {
            if (got > maxBytes) {
                return RegularFileRead::TooLarge;
            }
            buffer.resize(qsizetype(std::min<qint64>(maxBytes + 1, qint64(got) * 2)));
        }
        const ssize_t n = ::read(file.get(), buffer.data() + got, std::size_t(buffer.size() - got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return RegularFileRead::CannotOpen;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    if (got > maxBytes) {
        return RegularFileRead::TooLarge;
    }
    buffer.truncate(got);
    bytes = std::move(buffer);
    return RegularFileRead::Read;
}

} // namespace quill
