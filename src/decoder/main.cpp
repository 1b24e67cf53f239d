// The decoder process: decodes the picture files the program hands it (as open descriptors) with
// libjpeg (JPEG) and FreeImage (the rest), under an address-space limit and a system-call filter,
// and hands the RGB rows of each back in a sealed memory file. FreeImage's loaders crash, hang or
// exhaust memory on hostile files; here that costs one process, never the program, and a loader
// taken over can do no more than this process may: read what it was handed and write its answer.

#include "decoder/DecoderProtocol.h"
#include "decoder/FreeImageDecode.h"
#include "decoder/JpegDecode.h"
#include "decoder/Lockdown.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

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
              int(proto::Format::Tiff) == FIF_TIFF);
static_assert(proto::kPhotoCdBase == PCD_BASE);

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

struct Mapping {
    int fd = -1;
    void* address = MAP_FAILED;
    std::size_t length = 0;
};

bool sendReply(const proto::Reply& reply, int fd) {
    return proto::sendWithDescriptor(proto::kChannelFd, &reply, sizeof reply, fd);
}

// The size the file's header claims, ahead of the reply.
void tellClaimedSize(std::uint32_t width, std::uint32_t height) {
    const proto::Reply claimed{
        proto::kReplyMagic, std::int32_t(Status::Claimed), width, height, 0, 1, 0};
    sendReply(claimed, -1);
}

constexpr int kServed = -1;

class Descriptor {
public:
    Descriptor() = default;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    void reset() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    void take(int fd) {
        if (fd_ < 0) {
            fd_ = fd;
        } else {
            close(fd);
        }
    }
    int get() const { return fd_; }

private:
    int fd_ = -1;
};

// Receives a request and the picture's descriptor that comes with it. 0 when the program closed
// the channel, -1 for a request that breaks the protocol.
int receiveRequest(proto::Request& request, Descriptor& picture) {
    // Room for one byte more than a request, to tell a longer message from one.
    std::array<char, sizeof(proto::Request) + 1> buffer{};
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int) * 4)> control{};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    ssize_t got;
    do {
        got = recvmsg(proto::kChannelFd, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    std::size_t descriptors = 0;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
            const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i, ++descriptors) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
                picture.take(fd);
            }
        }
    }
    if (got <= 0) {
        return 0;
    }
    std::memcpy(&request, buffer.data(), std::min(sizeof request, std::size_t(got)));
    if (got != ssize_t(sizeof request) || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) ||
        request.magic != proto::kRequestMagic || descriptors != 1) {
        return -1;
    }
    return 1;
}

// Decodes one requested file and replies. kServed when the next request may follow.
int serveOne() {
    proto::Request request{};
    Descriptor pictureFd;
    const int received = receiveRequest(request, pictureFd);
    if (received <= 0) {
        return received == 0 ? 0 : 2; // no more work, or a request that makes no sense
    }

    Mapping mapping;
    // The rows, and after those of a palette picture its colours.
    const auto allocatePixels = [&mapping](std::uint32_t width, std::uint32_t height,
                                           unsigned bytesPerPixel) {
        quill::decode::PixelTarget target;
        const std::size_t stride = (std::size_t{width} * bytesPerPixel + 3) & ~std::size_t{3};
        const std::size_t rows = stride * height;
        const std::size_t length = rows + (bytesPerPixel == 1 ? proto::kPaletteBytes : 0);
        mapping.fd = memfd_create("quillmere-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (mapping.fd < 0 || ftruncate(mapping.fd, off_t(length)) != 0) {
            return target;
        }
        mapping.address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, mapping.fd, 0);
        if (mapping.address == MAP_FAILED) {
            return target;
        }
        mapping.length = length;
        target.pixels = static_cast<std::uint8_t*>(mapping.address);
        target.stride = stride;
        if (bytesPerPixel == 1) {
            target.palette = reinterpret_cast<std::uint32_t*>(target.pixels + rows);
        }
        return target;
    };
    const quill::decode::Allocate allocate = [&allocatePixels](std::uint32_t width,
                                                               std::uint32_t height) {
        const quill::decode::PixelTarget target = allocatePixels(width, height, 3);
        return quill::decode::RgbTarget{target.pixels, target.stride};
    };

    proto::Reply reply{proto::kReplyMagic, 0, 0, 0, 0, 1, 0};
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
    reply.status = std::int32_t(status);
    if (mapping.address != MAP_FAILED) {
        munmap(mapping.address, mapping.length);
        mapping.address = MAP_FAILED;
    }
    int passFd = -1;
    if (status == Status::Picture) {
        // Sealed, the program can map the rows without fearing that they change or shrink.
        if (fcntl(mapping.fd, F_ADD_SEALS,
                  F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
            reply.status = std::int32_t(Status::Refused);
        } else {
            reply.width = width;
            reply.height = height;
            reply.stride = (std::uint64_t{width} * bytesPerPixel + 3) & ~std::uint64_t{3};
            reply.orientation = orientation;
            reply.damaged = damaged ? 1 : 0;
            passFd = mapping.fd;
        }
    }
    const bool sent = sendReply(reply, passFd);
    if (mapping.fd >= 0) {
        close(mapping.fd);
    }
    return sent ? kServed : 3;
}

int run() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    limitResources();
    FreeImage_Initialise(FALSE);
    quill::decode::silenceFreeImage(tellProgram);
    quill::decode::setClaimSink(tellClaimedSize);
    silenceTiff();
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
