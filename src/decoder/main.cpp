// The decoder process: decodes the picture files the program hands it (as open descriptors) with
// libjpeg (JPEG), FreeImage and the newer formats' libraries (the rest), under an address-space
// limit and a system-call filter, and writes the rows of each into the reply buffer the program
// handed it. The loaders crash, hang or exhaust memory on hostile files; here that costs one
// process, never the program, and a loader taken over can do no more than this process may: read
// what it was handed and write its answer.

#include "decoder/DecoderProtocol.h"
#include "decoder/FreeImageDecode.h"
#include "decoder/JpegDecode.h"
#include "decoder/Lockdown.h"
#include "decoder/ModernFormats.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <malloc.h>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define QUILL_DECODER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILL_DECODER_ASAN 1
#endif
#endif

#ifdef QUILL_DECODER_ASAN
// AddressSanitizer reserves terabytes of address space for its shadow memory, so an
// address-space limit would stop the process before main. In sanitizer builds its own allocator
// limits stand in: no single allocation above 4 GiB, and the process ends when its resident
// memory passes 4 GiB.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=4096:hard_rss_limit_mb=4096:"
           "detect_leaks=0:handle_abort=1";
}
// The program starts the decoder with an empty environment, so the options the tests give the
// sanitizers are set here.
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
#endif

namespace {

namespace proto = quill::decoder_protocol;
using quill::decode::Status;

// The program names formats and flags by the protocol's numbers and passes them on as they are.
static_assert(int(proto::Format::Bmp) == FIF_BMP && int(proto::Format::Ico) == FIF_ICO &&
              int(proto::Format::Jpeg) == FIF_JPEG && int(proto::Format::Koala) == FIF_KOALA &&
              int(proto::Format::Lbm) == FIF_LBM && int(proto::Format::Mng) == FIF_MNG &&
              int(proto::Format::PhotoCd) == FIF_PCD && int(proto::Format::Pcx) == FIF_PCX &&
              int(proto::Format::Png) == FIF_PNG && int(proto::Format::Pnm) == FIF_PPM &&
              int(proto::Format::SunRaster) == FIF_RAS && int(proto::Format::Targa) == FIF_TARGA &&
              int(proto::Format::Tiff) == FIF_TIFF && int(proto::Format::Gif) == FIF_GIF &&
              int(proto::Format::Raw) == FIF_RAW && int(proto::Format::WebP) == FIF_WEBP);
static_assert(proto::kPhotoCdBase == PCD_BASE && proto::kGifComposited == GIF_PLAYBACK);

void limitResources() {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
#ifndef QUILL_DECODER_ASAN
    constexpr rlim_t kAddressSpaceLimit = rlim_t{4} << 30;
    const rlimit space{kAddressSpaceLimit, kAddressSpaceLimit};
    setrlimit(RLIMIT_AS, &space);
#endif
}

// The decoder's own messages go to its error output, which the program reads and logs; warnings
// are too many to be worth it.
void tellProgram(const char* text) {
    std::string line(text);
    line += '\n';
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
}

void tiffError(const char* module, const char* format, va_list arguments) {
    std::array<char, 512> text{};
    std::vsnprintf(text.data(), text.size(), format, arguments);
    tellProgram((std::string("libtiff: ") + (module ? module : "") + ": " + text.data()).c_str());
}

void silenceTiff() {
    TIFFSetErrorHandler(tiffError);
    TIFFSetWarningHandler(nullptr);
}

bool sendReply(const proto::Reply& reply) {
    return proto::sendWithDescriptor(proto::kChannelFd, &reply, sizeof reply, -1);
}

// The number of the request being served, which every message of its answer carries.
std::uint32_t currentNumber = 0;

proto::Reply replyOf(Status status) {
    proto::Reply reply{};
    reply.magic = proto::kReplyMagic;
    reply.number = currentNumber;
    reply.status = std::int32_t(status);
    reply.orientation = 1;
    return reply;
}

// The size the file's header claims, ahead of the reply.
void tellClaimedSize(std::uint32_t width, std::uint32_t height) {
    proto::Reply claimed = replyOf(Status::Claimed);
    claimed.width = width;
    claimed.height = height;
    sendReply(claimed);
}

constexpr int kServed = -1;

class Descriptor {
public:
    Descriptor() = default;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

// The reply buffer the program handed over, kept for the requests that follow. Mapped once, its
// pages are the same for every picture; where the kernel refuses the mapping (or the program asks
// for it), the rows are decoded into memory of the decoder's own and written into the buffer.
class ReplyBuffer {
public:
    ReplyBuffer() = default;
    ReplyBuffer(const ReplyBuffer&) = delete;
    ReplyBuffer& operator=(const ReplyBuffer&) = delete;
    ~ReplyBuffer() { release(); }

    void replace(int fd, std::uint64_t bytes, proto::RowsBy rowsBy) {
        release();
        fd_.reset(fd);
        struct stat info {};
        if (fstat(fd, &info) != 0 || std::uint64_t(info.st_size) < bytes) {
            return; // holds nothing: the picture is refused
        }
        bytes_ = bytes;
        if (rowsBy == proto::RowsBy::Mapping) {
            void* address = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (address != MAP_FAILED) {
                mapped_ = static_cast<std::uint8_t*>(address);
            }
        }
    }

    bool holds(std::uint64_t length) const { return fd_.get() >= 0 && length <= bytes_; }

    // Where length bytes of rows go; nullptr without memory for them.
    std::uint8_t* rows(std::uint64_t length) {
        own_.reset();
        length_ = length;
        if (mapped_) {
            return mapped_;
        }
        try {
            own_ = std::make_unique_for_overwrite<std::uint8_t[]>(length);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return own_.get();
    }

    // The rows in the buffer, where they were not written there directly.
    bool finish() {
        if (!own_) {
            return true;
        }
        std::uint64_t done = 0;
        while (done < length_) {
            const ssize_t wrote = pwrite(fd_.get(), own_.get() + done, length_ - done, off_t(done));
            if (wrote < 0 && errno == EINTR) {
                continue;
            }
            if (wrote <= 0) {
                return false;
            }
            done += std::uint64_t(wrote);
        }
        own_.reset();
        return true;
    }

private:
    void release() {
        if (mapped_) {
            munmap(mapped_, bytes_);
            mapped_ = nullptr;
        }
        own_.reset();
        fd_.reset();
        bytes_ = 0;
    }

    Descriptor fd_;
    std::uint8_t* mapped_ = nullptr;
    std::uint64_t bytes_ = 0;
    std::uint64_t length_ = 0;
    std::unique_ptr<std::uint8_t[]> own_;
};

ReplyBuffer replyBuffer;

// Receives a request with the picture's descriptor and, when it hands over a new reply buffer,
// that one's. 0 when the program closed the channel, -1 for a request that breaks the protocol.
int receiveRequest(proto::Request& request, Descriptor& picture) {
    std::array<int, 2> fds{};
    const proto::Received got =
        proto::receiveWithDescriptors(proto::kChannelFd, &request, sizeof request, fds);
    picture.reset(fds[0]);
    Descriptor buffer;
    buffer.reset(fds[1]);
    if (got.closed && got.descriptors == 0) {
        return 0;
    }
    const int expected = request.bufferBytes != 0 ? 2 : 1;
    if (!got.whole || request.magic != proto::kRequestMagic || got.descriptors != expected) {
        return -1;
    }
    if (request.bufferBytes != 0) {
        replyBuffer.replace(fds[1], request.bufferBytes, proto::RowsBy(request.rowsBy));
        buffer.release();
    }
    return 1;
}

// Asks the program for a reply buffer of at least length bytes and waits for it. False when it
// refuses; a grant that breaks the protocol ends the decoder.
bool askForBuffer(std::uint32_t width, std::uint32_t height, std::uint64_t stride,
                  std::uint64_t length, unsigned bytesPerPixel) {
    proto::Reply need = replyOf(Status::NeedBuffer);
    need.width = width;
    need.height = height;
    need.stride = stride;
    // The kind of rows tells the program how much the buffer must hold (a palette picture's
    // colours follow its rows).
    need.jpeg.bytesPerPixel = bytesPerPixel;
    if (!sendReply(need)) {
        _exit(3);
    }
    proto::Grant grant{};
    std::array<int, 2> fds{};
    const proto::Received got =
        proto::receiveWithDescriptors(proto::kChannelFd, &grant, sizeof grant, fds);
    Descriptor buffer;
    buffer.reset(fds[0]);
    Descriptor surplus;
    surplus.reset(fds[1]);
    const int expected = grant.bufferBytes != 0 ? 1 : 0;
    if (!got.whole || grant.magic != proto::kGrantMagic || grant.number != currentNumber ||
        got.descriptors != expected) {
        _exit(got.closed ? 0 : 2);
    }
    if (grant.bufferBytes == 0) {
        return false;
    }
    replyBuffer.replace(fds[0], grant.bufferBytes, proto::RowsBy(grant.rowsBy));
    buffer.release();
    return replyBuffer.holds(length);
}

// Decodes one requested file and replies. kServed when the next request may follow.
int serveOne() {
    proto::Request request{};
    Descriptor pictureFd;
    const int received = receiveRequest(request, pictureFd);
    if (received <= 0) {
        return received == 0 ? 0 : 2; // no more work, or a request that makes no sense
    }
    currentNumber = request.number;

    // The rows, and after those of a palette picture its colours.
    const auto allocatePixels = [](std::uint32_t width, std::uint32_t height,
                                   unsigned bytesPerPixel) {
        quill::decode::PixelTarget target;
        const std::uint64_t stride = bytesPerPixel == 1
                                         ? (std::uint64_t{width} + 3) & ~std::uint64_t{3}
                                         : proto::rgbStride(width);
        if (height == 0 || stride > std::numeric_limits<std::uint64_t>::max() / 2 / height) {
            return target;
        }
        const std::uint64_t rows = stride * height;
        const std::uint64_t length = rows + (bytesPerPixel == 1 ? proto::kPaletteBytes : 0);
        if (!replyBuffer.holds(length) &&
            !askForBuffer(width, height, stride, length, bytesPerPixel)) {
            return target;
        }
        target.pixels = replyBuffer.rows(length);
        target.stride = std::size_t(stride);
        if (target.pixels && bytesPerPixel == 1) {
            target.palette = reinterpret_cast<std::uint32_t*>(target.pixels + rows);
        }
        return target;
    };
    const quill::decode::Allocate allocate = [&allocatePixels](std::uint32_t width,
                                                               std::uint32_t height) {
        const quill::decode::PixelTarget target = allocatePixels(width, height, 3);
        return quill::decode::RgbTarget{target.pixels, target.stride};
    };

    proto::Reply reply = replyOf(Status::NoPicture);
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t orientation = 1;
    bool damaged = false;
    std::optional<quill::decode::PictureFile> file =
        quill::decode::PictureFile::read(pictureFd.get());
    pictureFd.reset(); // read once: the bytes are all the decoder needs of the file
    unsigned bytesPerPixel = 3;
    Status status = Status::NoPicture;
    if (file && request.format == std::int32_t(proto::Format::Jpeg)) {
        quill::decode::JpegFacts facts;
        status = quill::decode::decodeJpeg(file->bytes(), request.jpeg, allocatePixels, facts);
        reply.jpeg = proto::JpegReply{
            facts.headerRead ? 1u : 0u,  facts.width,         facts.height,  facts.grey ? 1u : 0u,
            facts.progressive ? 1u : 0u, facts.bytesPerPixel, facts.colours, facts.error};
        width = facts.rowsWidth;
        height = facts.rowsHeight;
        orientation = facts.orientation;
        reply.orientation = orientation;
        damaged = facts.damaged;
        bytesPerPixel = facts.bytesPerPixel;
    } else if (file) {
        status = quill::decode::decodeFile(file->bytes(), FREE_IMAGE_FORMAT(request.format),
                                           request.flags, allocate, width, height, &orientation,
                                           &damaged);
    }
    file.reset();
    if (status == Status::Picture && !replyBuffer.finish()) {
        status = Status::Refused;
    }
    reply.status = std::int32_t(status);
    if (status == Status::Picture) {
        reply.width = width;
        reply.height = height;
        reply.stride = bytesPerPixel == 1 ? (std::uint64_t{width} + 3) & ~std::uint64_t{3}
                                          : proto::rgbStride(width);
        reply.orientation = orientation;
        reply.damaged = damaged ? 1 : 0;
    }
    return sendReply(reply) ? kServed : 3;
}

int run() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    limitResources();
    FreeImage_Initialise(FALSE);
    quill::decode::silenceFreeImage(tellProgram);
    quill::decode::setClaimSink(tellClaimedSize);
    silenceTiff();
    // One heap for every thread: glibc reads /proc when a thread's own heap shrinks, which the
    // filter forbids, and the codecs' threads (HEVC, AV1, JPEG XL) would each get one.
    mallopt(M_ARENA_MAX, 1);
    // libheif loads its codecs from a folder: before the confinement, which forbids opening one.
    quill::decode::prepareModernReaders();
    // Descriptors the program's own parent let it inherit are nothing the decoder should hold.
    close_range(proto::kChannelFd + 1, ~0U, 0);
    // Confined before the first request: nothing a picture does can reach beyond this process.
    if (!quill::decode::lockDown().filtered) {
        tellProgram("the system-call filter could not be installed; no picture is decoded");
        return 4;
    }

    for (;;) {
        const int result = serveOne();
        if (result != kServed) {
            return result;
        }
    }
}

} // namespace

int main() {
    // Leave without running destructors or exit handlers: after a loader's mischief they might
    // not get far, and there is nothing left to clean up.
    _exit(run());
}
