#include "imaging/DecoderService.h"

#include "decoder/DecoderProtocol.h"
#include "imaging/PixelLimit.h"
#include "platform/FileNames.h"
#include "platform/Logging.h"
#include "platform/RegularFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quill {

namespace {

namespace proto = decoder_protocol;
using Clock = std::chrono::steady_clock;

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.fd_, -1));
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// The decoder's whole environment: nothing of ours, only large allocations backed by huge pages
// where the system allows it (a fresh process otherwise pays a page fault per 4 KiB of the
// pictures it decodes).
char kHugePages[] = "GLIBC_TUNABLES=glibc.malloc.hugetlb=1";
std::array<char*, 2> decoderEnvironment{kHugePages, nullptr};

// The most of the decoder's error output read for one reply; the rest is left unread, and a
// decoder that writes more loses it (the pipe holds no more than this).
constexpr std::size_t kErrorTextCap = 4096;

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
public:
    SpawnAttributes() { posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

// One started decoder process and the program's end of its channel.
class Worker {
public:
    Worker() = default;
    ~Worker() { stop(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    Worker(Worker&&) = delete;
    Worker& operator=(Worker&&) = delete;

    bool start(const QString& executable) {
        stop();
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
            return false;
        }
        Descriptor ours(ends[0]);
        Descriptor theirs(ends[1]);
        if (theirs.get() == proto::kChannelFd) {
            // dup2 onto itself would keep close-on-exec set.
            theirs = Descriptor(fcntl(theirs.get(), F_DUPFD_CLOEXEC, proto::kChannelFd + 1));
            if (!theirs) {
                return false;
            }
        }
        // The decoder's error output comes to us for the log. Both ends never block: a decoder
        // that writes more than the pipe holds loses the rest rather than waiting for us.
        int errorEnds[2];
        if (pipe2(errorEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        Descriptor errorsOurs(errorEnds[0]);
        Descriptor errorsTheirs(errorEnds[1]);
        fcntl(errorsOurs.get(), F_SETPIPE_SZ, int(kErrorTextCap));
        SpawnActions actions;
        posix_spawn_file_actions_adddup2(actions.get(), theirs.get(), proto::kChannelFd);
        posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(actions.get(), errorsTheirs.get(), 2);
        SpawnAttributes attributes;
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGCHLD);
        posix_spawnattr_setsigmask(attributes.get(), &none);
        posix_spawnattr_setsigdefault(attributes.get(), &defaults);
        posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        const QByteArray program = encodeFileName(executable);
        std::array<char*, 2> argv{const_cast<char*>(program.constData()), nullptr};
        pid_t pid = -1;
        if (posix_spawn(&pid, program.constData(), actions.get(), attributes.get(), argv.data(),
                        decoderEnvironment.data()) != 0) {
            return false;
        }
        pid_ = pid;
        channel_ = std::move(ours);
        errors_ = std::move(errorsOurs);
        qCDebug(lcDecoder) << "started decoder process" << pid;
        return true;
    }

    // What the process wrote to its error output since the last call, line by line: at most
    // kErrorTextCap bytes, however much it wrote.
    QStringList messages() {
        QStringList lines;
        if (!errors_) {
            return lines;
        }
        std::array<char, kErrorTextCap> buffer{};
        const ssize_t got = ::read(errors_.get(), buffer.data(), buffer.size());
        if (got > 0) {
            pendingErrors_.append(buffer.data(), got);
        }
        qsizetype newline;
        while ((newline = pendingErrors_.indexOf('\n')) >= 0) {
            lines << QString::fromLocal8Bit(pendingErrors_.left(newline));
            pendingErrors_.remove(0, newline + 1);
        }
        // A line without end that fills the cap is taken as it is.
        if (pendingErrors_.size() >= qsizetype(kErrorTextCap)) {
            lines << QString::fromLocal8Bit(pendingErrors_.left(qsizetype(kErrorTextCap)));
            pendingErrors_.clear();
        }
        return lines;
    }

    bool running() const { return pid_ > 0; }

    // False when the process has already ended (then it is reaped).
    bool alive() {
        if (pid_ <= 0) {
            return false;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            return true;
        }
        pid_ = -1;
        channel_.reset();
        return false;
    }

    // Ends the process; says how it ended, for the log.
    QString stop() {
        channel_.reset();
        QString ending;
        if (pid_ > 0) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ending = WIFSIGNALED(status)
                             ? QStringLiteral("ended by signal %1").arg(WTERMSIG(status))
                             : QStringLiteral("exited with status %1").arg(WEXITSTATUS(status));
            } else {
                kill(pid_, SIGKILL);
                while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
                }
                ending = QStringLiteral("stopped");
            }
            qCDebug(lcDecoder).noquote() << "decoder process" << pid_ << ending;
            pid_ = -1;
        }
        errors_.reset();
        pendingErrors_.clear();
        return ending;
    }

    int channel() const { return channel_.get(); }

private:
    pid_t pid_ = -1;
    Descriptor channel_;
    Descriptor errors_;
    QByteArray pendingErrors_;
};

struct MappedRows {
    void* address = nullptr;
    std::size_t length = 0;
};

void releaseMappedRows(void* info) {
    std::unique_ptr<MappedRows> rows(static_cast<MappedRows*>(info));
    munmap(rows->address, rows->length);
}

// A picture's own memory, in huge pages where the system gives them on request: a copy out of the
// reply buffer then costs a few page faults rather than one per 4 KiB.
QImage freshPicture(int width, int height, std::size_t stride) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const std::size_t length = stride * std::size_t(height);
    if (length < kHugePage) {
        return QImage(width, height, QImage::Format_RGB888);
    }
    const std::size_t mapped = (length + kHugePage - 1) / kHugePage * kHugePage;
    void* address =
        mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED) {
        return QImage();
    }
    madvise(address, mapped, MADV_HUGEPAGE);
    auto rows = std::make_unique<MappedRows>(MappedRows{address, mapped});
    QImage picture(static_cast<uchar*>(address), width, height, qsizetype(stride),
                   QImage::Format_RGB888, releaseMappedRows, rows.get());
    if (picture.isNull()) {
        munmap(address, mapped);
        return picture;
    }
    rows.release(); // unmapped with the picture
    return picture;
}

// Reply buffers grow in steps of this, so that pictures of about one size share one buffer.
constexpr std::uint64_t kBufferStep = std::uint64_t{2} << 20;
// A buffer up to this size is kept for the next picture (two of them, one per decoder, are held
// between runs); the rows of a larger picture are handed to it whole and its decoder is replaced,
// so that a picture at the pixel limit is never held twice.
constexpr std::uint64_t kKeptBufferBytes = std::uint64_t{128} << 20;

// The program's reply buffer for one decoder: a memory file it sized and sealed against
// shrinking and growing (the decoder can neither pull pages from under the program's mapping nor
// grow it beyond what the program gave it), mapped read-only here.
class ReplyBuffer {
public:
    ReplyBuffer() = default;
    ReplyBuffer(const ReplyBuffer&) = delete;
    ReplyBuffer& operator=(const ReplyBuffer&) = delete;
    ~ReplyBuffer() { release(); }

    // Replaces the buffer by one of at least bytes. False without memory or memory files.
    bool make(std::uint64_t bytes, bool mappingRefused) {
        release();
        bytes = (bytes + kBufferStep - 1) / kBufferStep * kBufferStep;
        Descriptor fd(memfd_create("quillmere-rows", MFD_CLOEXEC | MFD_ALLOW_SEALING));
        if (!fd || ftruncate(fd.get(), off_t(bytes)) != 0 ||
            fcntl(fd.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
            return false;
        }
        void* address = MAP_FAILED;
        errno = EPERM;
        if (!mappingRefused) {
            address = mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd.get(), 0);
        }
        if (address == MAP_FAILED) {
            // Kernels without the 2025 fix refuse shared mappings of sealed memory files: the
            // rows then travel by pwrite and pread.
            if (errno != EPERM && errno != EACCES) {
                return false;
            }
            qCDebug(lcDecoder) << "reply buffer not mapped:" << strerror(errno);
        } else {
            mapped_ = static_cast<const std::uint8_t*>(address);
        }
        fd_ = std::move(fd);
        bytes_ = bytes;
        return true;
    }

    void release() {
        if (mapped_) {
            munmap(const_cast<std::uint8_t*>(mapped_), bytes_);
            mapped_ = nullptr;
        }
        fd_.reset();
        bytes_ = 0;
    }

    std::uint64_t bytes() const { return bytes_; }
    int fd() const { return fd_.get(); }
    proto::RowsBy rowsBy() const {
        return mapped_ ? proto::RowsBy::Mapping : proto::RowsBy::Writing;
    }

    // The rows (already checked against the buffer's size) as a picture of the program's own.
    QImage copy(int width, int height, std::size_t stride) const {
        QImage picture = freshPicture(width, height, stride);
        if (picture.isNull()) {
            return picture;
        }
        const std::size_t rowBytes = std::size_t(width) * 3;
        if (std::size_t(picture.bytesPerLine()) == stride) {
            return read(picture.bits(), stride * std::size_t(height), 0) ? picture : QImage();
        }
        for (int y = 0; y < height; ++y) {
            if (!read(picture.scanLine(y), rowBytes, stride * std::size_t(y))) {
                return QImage();
            }
        }
        return picture;
    }

    // A palette picture's rows of one byte a pixel, its colours (0xffRRGGBB) after them.
    QImage copyIndexed(int width, int height, std::size_t stride, int colours) const {
        QImage picture(width, height, QImage::Format_Indexed8);
        if (picture.isNull()) {
            return picture;
        }
        for (int y = 0; y < height; ++y) {
            if (!read(picture.scanLine(y), std::size_t(width), stride * std::size_t(y))) {
                return QImage();
            }
        }
        QList<QRgb> table(colours);
        if (colours > 0 &&
            !read(reinterpret_cast<std::uint8_t*>(table.data()),
                  std::size_t(colours) * sizeof(QRgb),
                  std::size_t(proto::paletteOffset(stride, std::uint32_t(height))))) {
            return QImage();
        }
        picture.setColorTable(table);
        return picture;
    }

    // The rows as a picture that owns this buffer's mapping; the buffer is empty afterwards.
    // A buffer read by pread is copied instead.
    QImage handOver(int width, int height, std::size_t stride) {
        if (!mapped_) {
            QImage picture = copy(width, height, stride);
            release();
            return picture;
        }
        auto rows =
            std::make_unique<MappedRows>(MappedRows{const_cast<std::uint8_t*>(mapped_), bytes_});
        QImage picture(mapped_, width, height, qsizetype(stride), QImage::Format_RGB888,
                       releaseMappedRows, rows.get());
        if (picture.isNull()) {
            return picture; // the buffer stays with the slot
        }
        rows.release(); // unmapped with the picture
        mapped_ = nullptr;
        release();
        return picture;
    }

private:
    bool read(std::uint8_t* to, std::size_t length, std::size_t from) const {
        if (mapped_) {
            std::memcpy(to, mapped_ + from, length);
            return true;
        }
        std::size_t done = 0;
        while (done < length) {
            const ssize_t got = pread(fd_.get(), to + done, length - done, off_t(from + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            done += std::size_t(got);
        }
        return true;
    }

    Descriptor fd_;
    const std::uint8_t* mapped_ = nullptr;
    std::uint64_t bytes_ = 0;
};

// Opens a picture file for the decoder. Only regular files are decoded, and neither the open nor
// its fstat may hold the window: a pipe put in a picture's place, or a file system that hangs.
Descriptor openPicture(const QString& path, qint64& size) {
    struct stat info {};
    Descriptor picture(openRegularFile(path, &info).release());
    size = picture ? qint64(info.st_size) : 0;
    return picture;
}

enum class Received {
    Message,    // a message of a reply's size and magic, without descriptors
    Late,       // the deadline passed
    Gone,       // the process went away
    Malformed,  // another size or magic
    Descriptor, // descriptors came with it (closed here): the decoder never sends any
};

// Waits for the next message of the answer until the deadline.
Received receiveReply(int channel, Clock::time_point deadline, proto::Reply& reply) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return Received::Late;
        }
        pollfd waiting{channel, POLLIN, 0};
        const int ready = poll(&waiting, 1, int(std::min<long long>(left.count(), 1 << 30)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return Received::Gone;
        }
        if (ready > 0) {
            break;
        }
    }
    std::array<int, 2> fds{};
    const proto::Received got = proto::receiveWithDescriptors(channel, &reply, sizeof reply, fds);
    for (int fd : fds) {
        Descriptor closed(fd);
    }
    if (got.descriptors > 0) {
        return Received::Descriptor;
    }
    if (got.closed) {
        return Received::Gone;
    }
    return got.whole && reply.magic == proto::kReplyMagic ? Received::Message : Received::Malformed;
}

// The bytes a picture's answer puts in the reply buffer: its rows and, for a JPEG's palette
// picture (one byte a pixel), its colours after them; 0 when the answer's size, row length or
// kind makes no sense or passes the pixel limit.
std::uint64_t rowsLength(const proto::Reply& reply, bool jpeg) {
    const bool indexed = jpeg && reply.jpeg.bytesPerPixel == 1;
    if (reply.width == 0 || reply.height == 0 ||
        pictures::exceedsPixelLimit(reply.width, reply.height) ||
        (jpeg && reply.jpeg.bytesPerPixel != 1 && reply.jpeg.bytesPerPixel != 3) ||
        (indexed && reply.jpeg.colours > 256)) {
        return 0;
    }
    const std::uint64_t stride = indexed ? (std::uint64_t{reply.width} + 3) & ~std::uint64_t{3}
                                         : proto::rgbStride(reply.width);
    if (reply.stride != stride) {
        return 0;
    }
    return stride * reply.height + (indexed ? proto::kPaletteBytes : 0);
}

// Decoder processes, each with its reply buffer. Two wait for work while the service runs, so
// that a run's decoding ahead and the window's thread each find one; a decode that finds none
// waiting gets one more. All of them are started by the service's own thread: a decoder ends
// when the thread that started it ends, and the threads that borrow them come and go.
class Service {
public:
    ~Service() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            running_ = false;
            idle_.clear();
            toStart_.clear();
        }
        changed_.notify_all();
        if (starter_.joinable()) {
            starter_.join();
        }
    }

    void initialise() {
        const std::lock_guard lock(mutex_);
        running_ = true;
        executableLocked(); // found here, on the window's thread
        if (!starter_.joinable()) {
            starter_ = std::thread([this] { startLoop(); });
        }
        topUpLocked();
    }

    bool running() {
        const std::lock_guard lock(mutex_);
        return running_;
    }

    void deinitialise() {
        std::unique_lock lock(mutex_);
        running_ = false;
        toStart_.clear();
        // A start under way is ended as it finishes; then no process is left.
        changed_.wait(lock, [this] { return starting_ == 0; });
        const std::vector<std::unique_ptr<Slot>> ended = std::move(idle_);
        idle_.clear();
    }

    QString executable() const {
        const std::lock_guard lock(mutex_);
        return executableLocked();
    }

    void setExecutable(const QString& path) {
        const std::lock_guard lock(mutex_);
        override_ = path;
        resolved_.clear();
        renewLocked();
    }

    void setMappingRefused(bool refused) {
        const std::lock_guard lock(mutex_);
        mappingRefused_ = refused;
        renewLocked();
    }

    std::chrono::milliseconds timeout() const {
        const std::lock_guard lock(mutex_);
        return timeout_;
    }
    void setTimeout(std::chrono::milliseconds timeout) {
        const std::lock_guard lock(mutex_);
        timeout_ = timeout;
    }

    DecoderResult decode(const QString& path, int format, int flags, QImage& picture,
                         int& orientation, bool& damaged, QString& detail) {
        picture = QImage();
        orientation = 1;
        damaged = false;
        detail.clear();
        // The decoder gets the open file, never its name.
        qint64 size = 0;
        const Descriptor file = openPicture(path, size);
        if (!file) {
            detail = QStringLiteral("the file cannot be opened or is no regular file");
            return DecoderResult::NoPicture;
        }
        proto::Request request{};
        request.magic = proto::kRequestMagic;
        request.format = format;
        request.flags = flags;
        proto::Reply reply{};
        const auto fileBytes = std::uint64_t(std::max<qint64>(0, size));
        const DecoderResult result =
            decode(file.get(), fileBytes, path, request, picture, reply, detail);
        if (result == DecoderResult::Picture) {
            if (reply.orientation >= 1 && reply.orientation <= 8) {
                orientation = int(reply.orientation);
            }
            damaged = reply.damaged != 0;
        }
        return result;
    }

    // Decodes the open file as request says; reply is the decoder's whole answer.
    DecoderResult decode(int file, std::uint64_t fileBytes, const QString& path,
                         const proto::Request& request, QImage& picture, proto::Reply& reply,
                         QString& detail) {
        picture = QImage();
        detail.clear();
        const bool jpeg = request.format == int(proto::Format::Jpeg);
        qCDebug(lcDecoder).noquote() << "decode" << path << "as format" << request.format;
        Borrowed borrowed = borrow();
        Slot& slot = *borrowed.slot;
        const std::uint32_t number = nextNumber_++;
        if (!ensureWorker(borrowed)) {
            detail = QStringLiteral("the decoder %1 could not be started").arg(borrowed.executable);
            qCWarning(lcDecoder).noquote() << detail;
            giveBack(std::move(borrowed));
            return DecoderResult::Failed;
        }
        if (!sendRequest(slot, file, number, request)) {
            // The process went away while it waited: one more try with a new one.
            slot.worker.stop();
            if (!ensureWorker(borrowed) || !sendRequest(slot, file, number, request)) {
                return retire(std::move(borrowed), DecoderResult::Failed,
                              QStringLiteral("the decoder took no request"), detail);
            }
        }
        reply = proto::Reply{};
        // Until the decoder tells the size the header claims, the limit is what reading a file
        // of this size takes; then it is what decoding that many pixels takes.
        const auto started = Clock::now();
        std::chrono::milliseconds limit = decodeTimeLimit(fileBytes, 0, borrowed.timeout);
        for (;;) {
            const Received received = receiveReply(slot.worker.channel(), started + limit, reply);
            if (received == Received::Late || received == Received::Gone) {
                const QString why = received == Received::Late
                                        ? QStringLiteral("the decoder overran its %1 ms time limit")
                                              .arg(limit.count())
                                        : QStringLiteral("the decoder gave no answer");
                qCWarning(lcDecoder).noquote() << why << "on" << path;
                return retire(std::move(borrowed), DecoderResult::Failed, why, detail);
            }
            if (received == Received::Descriptor) {
                return broken(std::move(borrowed), QStringLiteral("the decoder sent a descriptor"),
                              path, detail);
            }
            if (received == Received::Malformed) {
                return broken(std::move(borrowed),
                              QStringLiteral("the decoder's answer made no sense"), path, detail);
            }
            if (reply.number != number) {
                // A late or extra answer: whatever it says belongs to another file.
                return broken(std::move(borrowed),
                              QStringLiteral("the decoder answered request %1 instead of %2")
                                  .arg(reply.number)
                                  .arg(number),
                              path, detail);
            }
            const auto status = proto::Status(reply.status);
            if (status == proto::Status::Claimed) {
                limit = decodeTimeLimit(fileBytes, std::uint64_t{reply.width} * reply.height,
                                        borrowed.timeout);
                qCDebug(lcDecoder) << "the header claims" << reply.width << "x" << reply.height
                                   << "pixels: time limit" << limit.count() << "ms";
                continue;
            }
            if (status != proto::Status::NeedBuffer) {
                break;
            }
            if (reply.width == 0 || reply.height == 0 ||
                pictures::exceedsPixelLimit(reply.width, reply.height)) {
                return retire(std::move(borrowed), DecoderResult::Refused,
                              QStringLiteral("the picture is too large"), detail);
            }
            const std::uint64_t length = rowsLength(reply, jpeg);
            if (length == 0 || length <= slot.buffer.bytes()) {
                return broken(std::move(borrowed),
                              QStringLiteral("the decoder asked for a buffer it holds"), path,
                              detail);
            }
            if (!grantBuffer(borrowed, number, length)) {
                return retire(std::move(borrowed), DecoderResult::Failed,
                              QStringLiteral("the decoder took no reply buffer"), detail);
            }
        }
        switch (proto::Status(reply.status)) {
        case proto::Status::Picture:
            return takePicture(std::move(borrowed), reply, picture, jpeg, path, detail);
        case proto::Status::NoPicture:
            return retire(std::move(borrowed), DecoderResult::NoPicture,
                          QStringLiteral("the file holds no picture of its format"), detail);
        case proto::Status::Refused:
            return retire(std::move(borrowed), DecoderResult::Refused,
                          QStringLiteral("the picture is too large or of an unsupported kind"),
                          detail);
        default:
            break;
        }
        return broken(std::move(borrowed), QStringLiteral("the decoder's answer made no sense"),
                      path, detail);
    }

private:
    struct Slot {
        Worker worker;
        ReplyBuffer buffer;
        bool bufferHeld = false; // the running process has been handed the buffer
        int served = 0;
    };
    struct StartOrder {
        Slot* slot;
        QString executable;
        bool done = false;
        bool ok = false;
    };
    // A slot taken from the waiting ones (or made for one decode when the service does not
    // run), with the settings of the moment it was taken.
    struct Borrowed {
        std::unique_ptr<Slot> slot;
        QString executable;
        std::chrono::milliseconds timeout;
        bool mappingRefused = false;
        std::uint64_t generation = 0;
        bool pooled = false;
    };

    static bool sendRequest(Slot& slot, int file, std::uint32_t number, proto::Request request) {
        request.number = number;
        request.bufferBytes = 0;
        request.rowsBy = 0;
        const bool handOver = !slot.bufferHeld && slot.buffer.bytes() > 0;
        if (handOver) {
            request.bufferBytes = slot.buffer.bytes();
            request.rowsBy = std::uint32_t(slot.buffer.rowsBy());
        }
        if (!proto::sendWithDescriptors(slot.worker.channel(), &request, sizeof request,
                                        {file, handOver ? slot.buffer.fd() : -1})) {
            return false;
        }
        slot.bufferHeld = slot.bufferHeld || handOver;
        return true;
    }

    // A larger reply buffer for the decoder that asked, or none (the picture is then refused)
    // when there is no memory for it. False when the decoder could not be told.
    static bool grantBuffer(Borrowed& borrowed, std::uint32_t number, std::uint64_t length) {
        Slot& slot = *borrowed.slot;
        proto::Grant grant{};
        grant.magic = proto::kGrantMagic;
        grant.number = number;
        slot.bufferHeld = false;
        if (slot.buffer.make(length, borrowed.mappingRefused)) {
            grant.bufferBytes = slot.buffer.bytes();
            grant.rowsBy = std::uint32_t(slot.buffer.rowsBy());
            qCDebug(lcDecoder) << "reply buffer of" << grant.bufferBytes << "bytes";
        }
        if (!proto::sendWithDescriptor(slot.worker.channel(), &grant, sizeof grant,
                                       grant.bufferBytes ? slot.buffer.fd() : -1)) {
            return false;
        }
        slot.bufferHeld = grant.bufferBytes != 0;
        return true;
    }

    DecoderResult takePicture(Borrowed borrowed, const proto::Reply& reply, QImage& picture,
                              bool jpeg, const QString& path, QString& detail) {
        Slot& slot = *borrowed.slot;
        // Nothing is read that the program's own buffer and limits do not hold.
        const std::uint64_t length = rowsLength(reply, jpeg);
        if (length == 0 || !slot.bufferHeld || length > slot.buffer.bytes()) {
            return broken(std::move(borrowed),
                          QStringLiteral("the decoder's picture does not fit its reply buffer"),
                          path, detail);
        }
        const bool indexed = jpeg && reply.jpeg.bytesPerPixel == 1;
        const bool large = slot.buffer.bytes() > kKeptBufferBytes;
        if (indexed) {
            picture = slot.buffer.copyIndexed(int(reply.width), int(reply.height),
                                              std::size_t(reply.stride), int(reply.jpeg.colours));
            if (large) {
                slot.buffer.release();
            }
        } else {
            picture = large ? slot.buffer.handOver(int(reply.width), int(reply.height),
                                                   std::size_t(reply.stride))
                            : slot.buffer.copy(int(reply.width), int(reply.height),
                                               std::size_t(reply.stride));
        }
        if (picture.isNull()) {
            return retire(std::move(borrowed), DecoderResult::Failed,
                          QStringLiteral("the decoder's picture could not be read"), detail);
        }
        logMessages(slot.worker);
        qCDebug(lcDecoder) << "picture" << reply.width << "x" << reply.height;
        // A process that held a buffer handed to the picture may not write into it any more.
        if (large || ++slot.served >= kMaxFilesPerProcess) {
            return retire(std::move(borrowed), DecoderResult::Picture, {}, detail);
        }
        giveBack(std::move(borrowed));
        return DecoderResult::Picture;
    }

    Borrowed borrow() {
        std::unique_lock lock(mutex_);
        Borrowed borrowed{nullptr,         executableLocked(), timeout_,
                          mappingRefused_, generation_,        false};
        if (running_ && idle_.empty()) {
            // None waits: one more is started, and this decode waits for that start alone.
            toStart_.push_back(std::make_unique<Slot>());
            changed_.notify_all();
            changed_.wait(lock, [this] { return !idle_.empty() || !running_; });
        }
        if (running_ && !idle_.empty()) {
            borrowed.slot = std::move(idle_.back());
            idle_.pop_back();
            borrowed.pooled = true;
        } else {
            borrowed.slot = std::make_unique<Slot>();
        }
        return borrowed;
    }

    // Back among the waiting slots; a slot whose process has gone gets a fresh one from the
    // service's thread at once, so that its start-up overlaps the program's work on this file.
    // Slots beyond the two that wait, and those of a stopped service or a changed setting, end.
    void giveBack(Borrowed borrowed) {
        std::unique_ptr<Slot> slot = std::move(borrowed.slot);
        const std::lock_guard lock(mutex_);
        if (!borrowed.pooled || !running_ || borrowed.generation != generation_) {
            return;
        }
        if (!slot->worker.alive()) {
            if (idle_.size() + toStart_.size() + std::size_t(starting_) < kWaiting) {
                toStart_.push_back(std::move(slot));
                changed_.notify_all();
            }
            return;
        }
        if (idle_.size() < kWaiting) {
            idle_.push_back(std::move(slot));
            changed_.notify_all();
        }
    }

    // The service's thread: the parent of every decoder the service keeps. Starts asked for by a
    // waiting decode go first.
    void startLoop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock,
                          [this] { return stopping_ || !orders_.empty() || !toStart_.empty(); });
            if (stopping_) {
                for (StartOrder* order : orders_) {
                    order->done = true;
                }
                orders_.clear();
                changed_.notify_all();
                return;
            }
            if (!orders_.empty()) {
                StartOrder* order = orders_.front();
                orders_.pop_front();
                lock.unlock();
                const bool ok = startWorker(*order->slot, order->executable);
                lock.lock();
                order->ok = ok;
                order->done = true;
                changed_.notify_all();
                continue;
            }
            std::unique_ptr<Slot> slot = std::move(toStart_.front());
            toStart_.pop_front();
            const QString executable = executableLocked();
            const std::uint64_t generation = generation_;
            ++starting_;
            lock.unlock();
            startWorker(*slot, executable);
            lock.lock();
            --starting_;
            if (running_ && generation == generation_ && idle_.size() < kWaiting) {
                idle_.push_back(std::move(slot));
            }
            changed_.notify_all();
            lock.unlock();
            slot.reset(); // one not wanted ends outside the lock
            lock.lock();
        }
    }

    // Starts the slot's process on the service's thread, or on this one for a slot that serves
    // this decode alone.
    bool startFor(Borrowed& borrowed) {
        std::unique_lock lock(mutex_);
        if (!borrowed.pooled || !running_) {
            borrowed.pooled = false;
            lock.unlock();
            return startWorker(*borrowed.slot, borrowed.executable);
        }
        StartOrder order{borrowed.slot.get(), borrowed.executable};
        orders_.push_back(&order);
        changed_.notify_all();
        changed_.wait(lock, [&order] { return order.done; });
        return order.ok;
    }

    void topUpLocked() {
        while (running_ && idle_.size() + toStart_.size() + std::size_t(starting_) < kWaiting) {
            toStart_.push_back(std::make_unique<Slot>());
        }
        changed_.notify_all();
    }

    // After a change of setting, the waiting processes are replaced.
    void renewLocked() {
        ++generation_;
        idle_.clear();
        toStart_.clear();
        if (running_) {
            executableLocked();
            topUpLocked();
        }
    }

    // The decoder's own words, for the log; returned joined for a failure's detail.
    static QString logMessages(Worker& worker) {
        const QStringList lines = worker.messages();
        for (const QString& line : lines) {
            qCDebug(lcDecoder).noquote() << "decoder:" << line;
        }
        return lines.join(QStringLiteral("; "));
    }

    // A decoder that broke the protocol: nothing it sent is used, and it is replaced.
    DecoderResult broken(Borrowed borrowed, const QString& why, const QString& path,
                         QString& detail) {
        qCWarning(lcDecoder).noquote() << why << "on" << path;
        return retire(std::move(borrowed), DecoderResult::Failed, why, detail);
    }

    // A process serves a run of good pictures. Any other outcome may have left a loader's damage
    // behind in it, so it is ended and a fresh one takes its place.
    DecoderResult retire(Borrowed borrowed, DecoderResult result, const QString& why,
                         QString& detail) {
        Worker& worker = borrowed.slot->worker;
        const QString said = logMessages(worker);
        const QString ending = worker.stop();
        borrowed.slot->bufferHeld = false;
        if (result != DecoderResult::Picture) {
            detail = why;
            if (!ending.isEmpty() && ending != QLatin1String("stopped")) {
                detail += QStringLiteral(" (decoder %1)").arg(ending);
            }
            if (!said.isEmpty()) {
                detail += QStringLiteral(": ") + said;
            }
            qCDebug(lcDecoder).noquote() << "no picture:" << detail;
        }
        giveBack(std::move(borrowed));
        return result;
    }

    bool ensureWorker(Borrowed& borrowed) {
        return borrowed.slot->worker.alive() || startFor(borrowed);
    }

    static bool startWorker(Slot& slot, const QString& executable) {
        slot.served = 0;
        slot.bufferHeld = false;
        return slot.worker.start(executable);
    }

    // Found once (the lookup asks the application object, which belongs to the window's thread)
    // and again after every change of the setting.
    QString executableLocked() const {
        if (resolved_.isEmpty()) {
            if (!override_.isEmpty()) {
                resolved_ = override_;
            } else {
                QString dir;
                if (QCoreApplication::instance()) {
                    dir = QCoreApplication::applicationDirPath();
                } else {
                    dir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
                    dir = QFileInfo(dir).absolutePath();
                }
                resolved_ = decoderExecutableFor(dir);
            }
        }
        return resolved_;
    }

    static constexpr int kMaxFilesPerProcess = 64;
    static constexpr std::size_t kWaiting = 2;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool running_ = false;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Slot>> idle_;
    std::deque<std::unique_ptr<Slot>> toStart_;
    std::deque<StartOrder*> orders_;
    int starting_ = 0;
    std::uint64_t generation_ = 0;
    std::thread starter_;
    std::atomic<std::uint32_t> nextNumber_{1};
    bool mappingRefused_ = false;
    QString override_;
    mutable QString resolved_;
    std::chrono::milliseconds timeout_{20000};
};

Service& service() {
    static Service instance;
    return instance;
}

} // namespace

void startDecoderService() {
    service().initialise();
}

void stopDecoderService() {
    service().deinitialise();
}

QString decoderExecutableFor(const QString& programDir) {
    const QString beside = programDir + QStringLiteral("/" QUILL_DECODER_NAME);
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    // Only the relative way is compiled in, so the installed program works wherever the package
    // manager or a relocated install put it.
    return QDir::cleanPath(programDir +
                           QStringLiteral("/" QUILL_DECODER_FROM_BIN "/" QUILL_DECODER_NAME));
}

bool decoderServiceRunning() {
    return service().running();
}

QString decoderExecutable() {
    return service().executable();
}

void setDecoderExecutable(const QString& path) {
    service().setExecutable(path);
}

std::chrono::milliseconds decodeTimeLimit(std::uint64_t fileBytes, std::uint64_t pixels,
                                          std::chrono::milliseconds most) {
    // A plain picture of the slowest kinds (16-bit or interlaced PNG, run-length Targa, LZW TIFF)
    // takes up to about 0.2 microseconds a pixel on a busy two-core machine, reading its file
    // included; the limit gives it five times that, on top of the time to start on a file (a
    // colour profile's tables included) and to read it from a slow disk, so that builds with
    // sanitizers and machines under load stay well within it.
    constexpr double kStartMs = 5000;
    constexpr double kMsPerPixel = 0.001;
    constexpr double kMsPerByte = 1.0 / 20000; // 20 MB a second
    const double ms = kStartMs + double(pixels) * kMsPerPixel + double(fileBytes) * kMsPerByte;
    return std::min(most, std::chrono::milliseconds(std::llround(std::min(ms, 1e12))));
}

std::chrono::milliseconds decoderTimeout() {
    return service().timeout();
}

void setDecoderTimeout(std::chrono::milliseconds timeout) {
    service().setTimeout(timeout);
}

void setReplyBufferMappingRefused(bool refused) {
    service().setMappingRefused(refused);
}

DecoderResult decodeInDecoderProcess(const QString& path, int format, int flags, QImage& picture,
                                     int* orientation, QString* detail, bool* damaged) {
    int tag = 1;
    bool cut = false;
    QString why;
    const DecoderResult result = service().decode(path, format, flags, picture, tag, cut, why);
    if (orientation) {
        *orientation = tag;
    }
    if (damaged) {
        *damaged = cut;
    }
    if (detail) {
        *detail = why;
    }
    return result;
}

namespace {

FileState stateOf(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return {};
    }
    return {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino), std::int64_t(info.st_size),
            info.st_mtim.tv_sec,        info.st_mtim.tv_nsec,       info.st_ctim.tv_sec,
            info.st_ctim.tv_nsec};
}

} // namespace

OpenedPicture::OpenedPicture(Passkey, int fd, QString name)
    : fd_(fd), name_(std::move(name)), identity_(stateOf(fd)) {}

OpenedPicture::~OpenedPicture() {
    ::close(fd_);
}

std::shared_ptr<const OpenedPicture> OpenedPicture::open(const QString& path) {
    qint64 size = 0;
    Descriptor file = openPicture(path, size);
    if (!file) {
        return nullptr;
    }
    auto opened = std::make_shared<const OpenedPicture>(Passkey(), file.get(), path);
    file.release();
    return opened;
}

std::shared_ptr<const OpenedPicture> OpenedPicture::fromBytes(const QByteArray& bytes) {
    Descriptor file(memfd_create("quillmere-bytes", MFD_CLOEXEC));
    if (!file) {
        return nullptr;
    }
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t part =
            ::write(file.get(), bytes.constData() + written, std::size_t(bytes.size() - written));
        if (part < 0 && errno == EINTR) {
            continue;
        }
        if (part <= 0) {
            return nullptr;
        }
        written += part;
    }
    auto opened =
        std::make_shared<const OpenedPicture>(Passkey(), file.get(), QStringLiteral("<bytes>"));
    file.release();
    return opened;
}

DecoderResult decodeJpegInDecoderProcess(const OpenedPicture& file, const proto::JpegAsk& ask,
                                         QImage& picture, proto::Reply& reply, QString* detail) {
    proto::Request request{};
    request.magic = proto::kRequestMagic;
    request.format = int(proto::Format::Jpeg);
    request.jpeg = ask;
    QString why;
    const DecoderResult result = service().decode(
        file.descriptor(), std::uint64_t(std::max<std::int64_t>(0, file.identity().size)),
        file.name(), request, picture, reply, why);
    if (detail) {
        *detail = why;
    }
    return result;
}

} // namespace quill
