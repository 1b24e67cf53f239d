#include "imaging/DecoderService.h"

#include "decoder/DecoderProtocol.h"
#include "imaging/PixelLimit.h"
#include "platform/FileNames.h"
#include "platform/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
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

extern char** environ;

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

// The decoder's environment: ours, with large allocations backed by huge pages where the system
// allows it (a fresh process otherwise pays a page fault per 4 KiB of its decoded picture).
class DecoderEnvironment {
public:
    DecoderEnvironment() {
        QByteArray tunables = "GLIBC_TUNABLES=glibc.malloc.hugetlb=1";
        for (char** entry = environ; entry && *entry; ++entry) {
            if (std::strncmp(*entry, "GLIBC_TUNABLES=", 15) == 0) {
                tunables = QByteArray(*entry) + ":glibc.malloc.hugetlb=1";
            } else {
                entries_.emplace_back(*entry);
            }
        }
        entries_.push_back(tunables);
        for (QByteArray& entry : entries_) {
            pointers_.push_back(entry.data());
        }
        pointers_.push_back(nullptr);
    }
    char** get() { return pointers_.data(); }

private:
    std::vector<QByteArray> entries_;
    std::vector<char*> pointers_;
};

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
        DecoderEnvironment environment;
        pid_t pid = -1;
        if (posix_spawn(&pid, program.constData(), actions.get(), attributes.get(), argv.data(),
                        environment.get()) != 0) {
            return false;
        }
        pid_ = pid;
        channel_ = std::move(ours);
        errors_ = std::move(errorsOurs);
        qCDebug(lcDecoder) << "started decoder process" << pid;
        return true;
    }

    // What the process wrote to its error output since the last call, line by line.
    QStringList messages() {
        QStringList lines;
        if (!errors_) {
            return lines;
        }
        std::array<char, 4096> buffer{};
        ssize_t got;
        while ((got = ::read(errors_.get(), buffer.data(), buffer.size())) > 0) {
            pendingErrors_.append(buffer.data(), got);
        }
        qsizetype newline;
        while ((newline = pendingErrors_.indexOf('\n')) >= 0) {
            lines << QString::fromLocal8Bit(pendingErrors_.left(newline));
            pendingErrors_.remove(0, newline + 1);
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

bool sendRequest(int channel, int picture, const proto::Request& request) {
    return proto::sendWithDescriptor(channel, &request, sizeof request, picture);
}

// Opens a picture file for the decoder. Only regular files are decoded, and the open itself must
// not wait: a pipe put in a picture's place would otherwise hold the window.
Descriptor openPicture(const QByteArray& path) {
    Descriptor picture(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!picture || ::fstat(picture.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Descriptor();
    }
    return picture;
}

// Waits for the reply until the deadline; false on timeout or when the process went away.
bool receiveReply(int channel, Clock::time_point deadline, proto::Reply& reply, Descriptor& rows) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd waiting{channel, POLLIN, 0};
        const int ready = poll(&waiting, 1, int(std::min<long long>(left.count(), 1 << 30)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        break;
    }
    iovec part{&reply, sizeof reply};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int) * 4)> control{};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    ssize_t got;
    do {
        got = recvmsg(channel, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
            const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
                if (!rows) {
                    rows.reset(fd);
                } else {
                    ::close(fd);
                }
            }
        }
    }
    return got == ssize_t(sizeof reply) && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) &&
           reply.magic == proto::kReplyMagic;
}

// Maps the rows of a picture reply as a QImage that unmaps them when it goes.
QImage mapPicture(const proto::Reply& reply, const Descriptor& rows, bool jpeg) {
    // A JPEG's rows may be a palette picture's, of one byte a pixel, its colours after them.
    const bool indexed = jpeg && reply.jpeg.bytesPerPixel == 1;
    const std::uint64_t bytesPerPixel = indexed ? 1 : 3;
    if (!rows || reply.width == 0 || reply.height == 0 ||
        pictures::exceedsPixelLimit(reply.width, reply.height) ||
        (jpeg && reply.jpeg.bytesPerPixel != 1 && reply.jpeg.bytesPerPixel != 3) ||
        (indexed && reply.jpeg.colours > 256) ||
        reply.stride != ((std::uint64_t{reply.width} * bytesPerPixel + 3) & ~std::uint64_t{3})) {
        return QImage();
    }
    const std::size_t length =
        std::size_t(reply.stride) * reply.height + std::size_t(indexed ? proto::kPaletteBytes : 0);
    struct stat info {};
    const int seals = fcntl(rows.get(), F_GET_SEALS);
    if (fstat(rows.get(), &info) != 0 || std::uint64_t(info.st_size) < length || seals < 0 ||
        !(seals & F_SEAL_SHRINK) || !(seals & F_SEAL_WRITE)) {
        return QImage();
    }
    // Read-only and populated at once: one call maps every row faster than a fault per page,
    // and the picture copies itself on its first change (the file is sealed against writes).
    void* address = mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, rows.get(), 0);
    if (address == MAP_FAILED) {
        return QImage();
    }
    auto mapped = std::make_unique<MappedRows>(MappedRows{address, length});
    QImage picture(static_cast<const uchar*>(address), int(reply.width), int(reply.height),
                   qsizetype(reply.stride),
                   indexed ? QImage::Format_Indexed8 : QImage::Format_RGB888, releaseMappedRows,
                   mapped.get());
    if (picture.isNull()) {
        munmap(address, length);
        return QImage();
    }
    mapped.release(); // now owned by the picture's clean-up
    if (indexed) {
        const auto* colours = reinterpret_cast<const QRgb*>(
            static_cast<const uchar*>(address) + proto::paletteOffset(reply.stride, reply.height));
        picture.setColorTable(QList<QRgb>(colours, colours + reply.jpeg.colours));
    }
    return picture;
}

// Decoder processes waiting for work. A run decodes two files at a time (one on the window's
// thread, the next on a thread of its own), so each decode borrows a waiting process, or starts
// one when none waits, and gives it back afterwards; the lock guards only the borrowing.
class Service {
public:
    void initialise() {
        const std::lock_guard lock(mutex_);
        running_ = true;
        owner_ = std::this_thread::get_id();
        if (idle_.empty()) {
            auto slot = std::make_unique<Slot>();
            startWorker(*slot, executableLocked());
            idle_.push_back(std::move(slot));
        }
    }

    bool running() {
        const std::lock_guard lock(mutex_);
        return running_;
    }

    void deinitialise() {
        const std::lock_guard lock(mutex_);
        running_ = false;
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
        idle_.clear();
        if (running_ && std::this_thread::get_id() == owner_) {
            auto slot = std::make_unique<Slot>();
            startWorker(*slot, executableLocked());
            idle_.push_back(std::move(slot));
        }
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
        // The bytes of the name are kept exactly; the decoder gets the open file, never its name.
        const QByteArray name = encodeFileName(path);
        const Descriptor file = openPicture(name);
        if (!file) {
            detail = QStringLiteral("the file cannot be opened or is no regular file");
            return DecoderResult::NoPicture;
        }
        proto::Request request{proto::kRequestMagic, format, flags, 0, {}};
        proto::Reply reply{};
        struct stat info {};
        const std::uint64_t fileBytes =
            ::fstat(file.get(), &info) == 0 ? std::uint64_t(std::max<off_t>(0, info.st_size)) : 0;
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
        qCDebug(lcDecoder).noquote() << "decode" << path << "as format" << request.format;
        Borrowed borrowed = borrow();
        Worker& worker = borrowed.slot->worker;
        if (!ensureWorker(borrowed)) {
            detail = QStringLiteral("the decoder %1 could not be started").arg(borrowed.executable);
            qCWarning(lcDecoder).noquote() << detail;
            giveBack(std::move(borrowed));
            return DecoderResult::Failed;
        }
        if (!sendRequest(worker.channel(), file, request)) {
            // The process went away while it waited: one more try with a new one.
            worker.stop();
            if (!ensureWorker(borrowed) || !sendRequest(worker.channel(), file, request)) {
                return retire(std::move(borrowed), DecoderResult::Failed,
                              QStringLiteral("the decoder took no request"), detail);
            }
        }
        reply = proto::Reply{};
        Descriptor rows;
        // Until the decoder tells the size the header claims, the limit is what reading a file
        // of this size takes; then it is what decoding that many pixels takes.
        const auto started = Clock::now();
        std::chrono::milliseconds limit = decodeTimeLimit(fileBytes, 0, borrowed.timeout);
        for (;;) {
            if (!receiveReply(worker.channel(), started + limit, reply, rows)) {
                const bool late = Clock::now() >= started + limit;
                const QString why = late
                                        ? QStringLiteral("the decoder overran its %1 ms time limit")
                                              .arg(limit.count())
                                        : QStringLiteral("the decoder gave no answer");
                qCWarning(lcDecoder).noquote() << why << "on" << path;
                return retire(std::move(borrowed), DecoderResult::Failed, why, detail);
            }
            if (proto::Status(reply.status) != proto::Status::Claimed) {
                break;
            }
            limit = decodeTimeLimit(fileBytes, std::uint64_t{reply.width} * reply.height,
                                    borrowed.timeout);
            qCDebug(lcDecoder) << "the header claims" << reply.width << "x" << reply.height
                               << "pixels: time limit" << limit.count() << "ms";
        }
        switch (proto::Status(reply.status)) {
        case proto::Status::Picture:
            picture = mapPicture(reply, rows, request.format == int(proto::Format::Jpeg));
            if (picture.isNull()) {
                return retire(std::move(borrowed), DecoderResult::Failed,
                              QStringLiteral("the decoder's picture could not be read"), detail);
            }
            logMessages(worker);
            qCDebug(lcDecoder) << "picture" << reply.width << "x" << reply.height;
            if (++borrowed.slot->served >= kMaxFilesPerProcess) {
                return retire(std::move(borrowed), DecoderResult::Picture, {}, detail);
            }
            giveBack(std::move(borrowed));
            return DecoderResult::Picture;
        case proto::Status::NoPicture:
            return retire(std::move(borrowed), DecoderResult::NoPicture,
                          QStringLiteral("the file holds no picture of its format"), detail);
        case proto::Status::Refused:
            return retire(std::move(borrowed), DecoderResult::Refused,
                          QStringLiteral("the picture is too large or of an unsupported kind"),
                          detail);
        case proto::Status::Claimed:
            break;
        }
        return retire(std::move(borrowed), DecoderResult::Failed,
                      QStringLiteral("the decoder's answer made no sense"), detail);
    }

private:
    // A decoder process is killed when the thread that started it ends (it asks for that, so
    // that it never outlives the program). Only processes started on the thread that started
    // the service wait for more work; one started on a passing thread serves that thread once.
    struct Slot {
        Worker worker;
        int served = 0;
        std::thread::id startedOn;
    };
    // A process taken from the waiting ones, with the settings of the moment it was taken.
    struct Borrowed {
        std::unique_ptr<Slot> slot;
        QString executable;
        std::chrono::milliseconds timeout;
    };

    Borrowed borrow() {
        const std::lock_guard lock(mutex_);
        Borrowed borrowed{nullptr, executableLocked(), timeout_};
        if (!idle_.empty()) {
            borrowed.slot = std::move(idle_.back());
            idle_.pop_back();
        } else {
            borrowed.slot = std::make_unique<Slot>();
        }
        return borrowed;
    }

    // Back among the waiting processes, or ended with its slot when the service stopped or
    // another decoder was set meanwhile. A process that has gone is replaced at once while the
    // service runs, so that its start-up overlaps the program's work on this file.
    void giveBack(Borrowed borrowed) {
        std::unique_ptr<Slot> slot = std::move(borrowed.slot);
        const std::lock_guard lock(mutex_);
        const bool owner = std::this_thread::get_id() == owner_;
        if (!running_ || borrowed.executable != executableLocked()) {
            return;
        }
        if (!slot->worker.alive()) {
            if (!owner) {
                return;
            }
            startWorker(*slot, borrowed.executable);
        }
        if (slot->startedOn != owner_) {
            return;
        }
        idle_.push_back(std::move(slot));
    }

    // The decoder's own words, for the log; returned joined for a failure's detail.
    static QString logMessages(Worker& worker) {
        const QStringList lines = worker.messages();
        for (const QString& line : lines) {
            qCDebug(lcDecoder).noquote() << "decoder:" << line;
        }
        return lines.join(QStringLiteral("; "));
    }

    // A process serves a run of good pictures. Any other outcome may have left a loader's damage
    // behind in it, so it is ended and a fresh one takes its place.
    DecoderResult retire(Borrowed borrowed, DecoderResult result, const QString& why,
                         QString& detail) {
        Worker& worker = borrowed.slot->worker;
        const QString said = logMessages(worker);
        const QString ending = worker.stop();
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

    static bool ensureWorker(Borrowed& borrowed) {
        if (borrowed.slot->worker.alive()) {
            return true;
        }
        return startWorker(*borrowed.slot, borrowed.executable);
    }

    static bool startWorker(Slot& slot, const QString& executable) {
        slot.served = 0;
        slot.startedOn = std::this_thread::get_id();
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

    mutable std::mutex mutex_;
    bool running_ = false;
    std::thread::id owner_;
    std::vector<std::unique_ptr<Slot>> idle_;
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
    Descriptor file = openPicture(encodeFileName(path));
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
    const proto::Request request{proto::kRequestMagic, int(proto::Format::Jpeg), 0, 0, ask};
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
