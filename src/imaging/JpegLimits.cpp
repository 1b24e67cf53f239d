#include "imaging/JpegLimits.h"

#include "platform/FileNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quill::jpeg_limits {

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

constexpr unsigned char kMarker = 0xff;
constexpr unsigned char kStartOfImage = 0xd8;
constexpr unsigned char kEndOfImage = 0xd9;
constexpr unsigned char kStartOfScan = 0xda;

bool isRestart(unsigned char code) {
    return code >= 0xd0 && code <= 0xd7;
}

} // namespace

ReadResult readRegularFile(const QString& path, QByteArray& bytes, qint64 maxBytes) {
    bytes.clear();
    // Non-blocking, so that a pipe without a writer opens at once and is turned away below.
    const QByteArray name = encodeFileName(path);
    OpenFile file(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return ReadResult::CannotOpen;
    }
    if (info.st_size > maxBytes) {
        return ReadResult::TooLarge;
    }
    // One byte more than the size, so the end shows without growing; a file that grew meanwhile
    // is read on until it passes the cap.
    QByteArray buffer(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    for (;;) {
        if (got == buffer.size()) {
            if (got > maxBytes) {
                return ReadResult::TooLarge;
            }
            buffer.resize(qsizetype(std::min<qint64>(maxBytes + 1, qint64(got) * 2)));
        }
        const ssize_t n = ::read(file.get(), buffer.data() + got, std::size_t(buffer.size() - got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return ReadResult::CannotOpen;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    if (got > maxBytes) {
        return ReadResult::TooLarge;
    }
    buffer.truncate(got);
    bytes = std::move(buffer);
    return ReadResult::Read;
}

int countScans(const QByteArray& jpeg) {
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg.constData());
    const std::size_t size = std::size_t(jpeg.size());
    if (size < 2 || data[0] != kMarker || data[1] != kStartOfImage) {
        return 0;
    }
    int scans = 0;
    std::size_t at = 2;
    while (at < size) {
        // Like libjpeg, skip anything up to the next marker and its fill bytes.
        const void* next = std::memchr(data + at, kMarker, size - at);
        if (!next) {
            break;
        }
        at = std::size_t(static_cast<const unsigned char*>(next) - data);
        while (at < size && data[at] == kMarker) {
            ++at;
        }
        if (at >= size) {
            break;
        }
        const unsigned char code = data[at++];
        if (code == kEndOfImage) {
            break;
        }
        if (code == 0 || code == 0x01 || isRestart(code)) {
            continue; // no segment of its own
        }
        if (size - at < 2) {
            break;
        }
        const std::size_t length = std::size_t(data[at]) << 8 | data[at + 1];
        if (length < 2) {
            break;
        }
        at += std::min(length, size - at);
        if (code != kStartOfScan) {
            continue;
        }
        ++scans;
        // The entropy-coded data: a 0xff in it is followed by a stuffed zero or a restart marker.
        while (at < size) {
            const void* marker = std::memchr(data + at, kMarker, size - at);
            if (!marker) {
                at = size;
                break;
            }
            at = std::size_t(static_cast<const unsigned char*>(marker) - data);
            if (at + 1 < size && (data[at + 1] == 0 || isRestart(data[at + 1]))) {
                at += 2;
                continue;
            }
            break;
        }
    }
    return scans;
}

} // namespace quill::jpeg_limits
