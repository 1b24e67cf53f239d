#include "platform/RegularFile.h"

#include "platform/BoundedWait.h"
#include "platform/FileLayer.h"
#include "platform/FileSystem.h"
#include "platform/Logging.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace quill {

PictureDescriptor::~PictureDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

PictureDescriptor::PictureDescriptor(PictureDescriptor&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

PictureDescriptor& PictureDescriptor::operator=(PictureDescriptor&& other) noexcept {
    if (this != &other) {
        PictureDescriptor gone(std::exchange(fd_, std::exchange(other.fd_, -1)));
    }
    return *this;
}

int PictureDescriptor::release() {
    return std::exchange(fd_, -1);
}

namespace {

struct Opened {
    std::shared_ptr<PictureDescriptor> file;
    struct stat info {};
};

// The open and its fstat, on whichever thread runs it. Non-blocking, so that a pipe without a
// writer opens at once and is turned away.
Opened openHere(FileLayer& layer, const QByteArray& name) {
    Opened opened;
    opened.file = std::make_shared<PictureDescriptor>(
        layer.open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0));
    if (!*opened.file || layer.fstat(opened.file->get(), &opened.info) != 0 ||
        !S_ISREG(opened.info.st_mode)) {
        opened.file.reset();
    }
    return opened;
}

RegularFileRead readHere(FileLayer& layer, const QByteArray& name, QByteArray& bytes,
                         qint64 maxBytes) {
    const Opened opened = openHere(layer, name);
    if (!opened.file) {
        return RegularFileRead::CannotOpen;
    }
    const int fd = opened.file->get();
    if (opened.info.st_size > maxBytes) {
        return RegularFileRead::TooLarge;
    }
    // One byte more than the size, so the end shows without growing; a file that grew meanwhile
    // is read on until it passes the cap.
    QByteArray buffer(qsizetype(opened.info.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == buffer.size()) {
            if (got > maxBytes) {
                return RegularFileRead::TooLarge;
            }
            buffer.resize(qsizetype(std::min<qint64>(maxBytes + 1, qint64(got) * 2)));
        }
        const ssize_t n = layer.read(fd, buffer.data() + got, std::size_t(buffer.size() - got));
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

void tellTimedOut(const QString& path) {
    qCWarning(lcLoad).noquote() << "no answer from the file system within"
                                << fileWaitLimit().count() << "ms, taken as unreadable:" << path;
}

} // namespace

RegularFileRead readRegularFile(const QString& path, QByteArray& bytes, qint64 maxBytes) {
    bytes.clear();
    const QByteArray name = encodePath(path);
    using Outcome = std::pair<RegularFileRead, QByteArray>;
    const std::optional<Outcome> outcome =
        runWithin<Outcome>(fileWaitLimit(), [layer = fileLayer(), name, maxBytes] {
            QByteArray read;
            const RegularFileRead result = readHere(*layer, name, read, maxBytes);
            return Outcome(result, std::move(read));
        });
    if (!outcome) {
        tellTimedOut(path);
        return RegularFileRead::CannotOpen;
    }
    bytes = outcome->second;
    return outcome->first;
}

PictureDescriptor openRegularFile(const QString& path, struct stat* info) {
    const QByteArray name = encodePath(path);
    const std::optional<Opened> opened = runWithin<Opened>(
        fileWaitLimit(), [layer = fileLayer(), name] { return openHere(*layer, name); });
    if (!opened) {
        tellTimedOut(path);
        return {};
    }
    if (!opened->file) {
        return {};
    }
    if (info != nullptr) {
        *info = opened->info;
    }
    return PictureDescriptor(::fcntl(opened->file->get(), F_DUPFD_CLOEXEC, 0));
}

} // namespace quill
