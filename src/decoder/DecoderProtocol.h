#pragma once
// The messages between the program and its decoder process, over a sequenced-packet socket that
// the decoder finds as descriptor 3. The program opens the picture file and passes the open
// descriptor with the request (SCM_RIGHTS), so no path ever reaches the decoder, which cannot
// open files by name. The rows come back in a reply buffer the program made: a memory file,
// sealed against shrinking and growing, that it hands the decoder with a request and keeps for
// the requests after, so that neither side pays for fresh pages per picture. The decoder sends no
// descriptor at all. No Qt and no decoder library here: both sides include this file.
//
// Every message is of fixed size and starts with a magic that names the layout; a layout that
// changes gets a new magic, and zeroed reserved fields leave room for more settings.

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace quill::decoder_protocol {

inline constexpr int kChannelFd = 3;
inline constexpr std::uint32_t kRequestMagic = 0x32514551; // "QEQ2"
inline constexpr std::uint32_t kGrantMagic = 0x32514751;   // "QGQ2"
inline constexpr std::uint32_t kReplyMagic = 0x32515251;   // "QRQ2"

// The picture formats a request names. The numbers are the decoder library's own, so the decoder
// passes them on unchanged; it checks at compile time that they still match. From 100 on, formats
// that library does not know, read with libraries of their own.
enum class Format : std::int32_t {
    Bmp = 0,
    Ico = 1,
    Jpeg = 2, // decoded by libjpeg itself, as the request's JpegAsk says
    Koala = 4,
    Lbm = 5,
    Mng = 6,
    PhotoCd = 9,
    Pcx = 10,
    Png = 13,
    Pnm = 14, // the portable pixmap reader, which reads the grey and bitmap kinds too
    SunRaster = 16,
    Targa = 17,
    Tiff = 18,
    Gif = 25,
    Raw = 34, // camera raw
    WebP = 35,
    Heif = 100, // HEIF and AVIF
    JpegXl = 101,
};

// A request's flags for a Photo CD: the base picture, 768 x 512.
inline constexpr std::int32_t kPhotoCdBase = 1;
// A request's flags for a GIF: its first frame composited on the canvas, as a viewer shows it.
inline constexpr std::int32_t kGifComposited = 2;

// How the decoder puts the rows into the reply buffer. Some kernels refuse a shared mapping of a
// sealed memory file; the program then asks for the rows to be written with pwrite instead, and
// reads them with pread.
enum class RowsBy : std::uint32_t {
    Mapping = 0,
    Writing = 1,
};

enum class Status : std::int32_t {
    Picture = 0,   // the rows are in the reply buffer
    NoPicture = 1, // the file is unreadable, not of the format, or truncated
    Refused = 2,   // too many pixels, an unsupported pixel type, or no memory for the rows
    // Not yet the reply: the file's header claims width x height pixels, sent before any of them
    // is decoded so that the program can fit its time limit to them. The reply follows.
    Claimed = 3,
    // Not yet the reply: the decoded rows (width, height, stride) need a larger reply buffer than
    // the decoder holds. The program answers with a Grant; the reply follows.
    NeedBuffer = 4,
};

// ---- JPEG decoding: the fields of a request of Format::Jpeg and of its reply ----

// How a JPEG is decoded: the program's JPEG settings, and for the preview a smaller decode.
struct JpegAsk {
    std::uint8_t smoothing;          // libjpeg's block smoothing of progressive files
    std::uint8_t bestSpeed;          // the fast DCT and ordered dithering
    std::uint8_t eightBit;           // colour pictures quantised to a palette of 236 colours
    std::uint8_t scaleShift;         // a full decode at 1 / 2^scaleShift (0 to 3)
    std::uint8_t progressiveDisplay; // libjpeg's buffered-image mode
    std::uint8_t allScans;           // a reduced decode at 1/8 reads every scan all the same
    std::uint8_t reduced;            // else the full decode
    std::uint8_t reserved;
    // A reduced decode: the smallest of libjpeg's scales 1/8 to 8/8 whose picture covers
    // atLeastWidth x atLeastHeight, or, when fitLimit is not 0, the size the upright picture is
    // shown at within fitLimit x fitLimit.
    std::uint32_t atLeastWidth;
    std::uint32_t atLeastHeight;
    std::uint32_t fitLimit;
};

// What the program learns of a JPEG: its header's facts (also when it did not decode, once
// headerRead), the kind of rows, and libjpeg's message code when there is no picture.
struct JpegReply {
    std::uint32_t headerRead;
    std::uint32_t fileWidth; // the whole picture as stored
    std::uint32_t fileHeight;
    std::uint32_t grey;
    std::uint32_t progressive;
    std::uint32_t bytesPerPixel; // 3 (R, G, B) or 1: a palette of `colours` after the rows
    std::uint32_t colours;
    std::int32_t error;
};

// Where a palette picture's colours (0xffRRGGBB, room for 256) follow its rows in the memory file.
inline std::uint64_t paletteOffset(std::uint64_t stride, std::uint32_t height) {
    return stride * height;
}
inline constexpr std::uint64_t kPaletteBytes = 256 * 4;

// The size a picture of width x height takes in the preview: unchanged when it fits within
// limit x limit, otherwise its longer side becomes the limit and the other side keeps the ratio
// (products first, the division dropping the remainder). A small picture is never enlarged.
struct Extent {
    std::uint32_t width;
    std::uint32_t height;
};
inline Extent previewExtent(std::uint32_t width, std::uint32_t height, std::uint32_t limit) {
    if (width <= limit && height <= limit) {
        return {width, height};
    }
    if (width > height) {
        return {limit, std::uint32_t(std::uint64_t{height} * limit / width)};
    }
    return {std::uint32_t(std::uint64_t{width} * limit / height), limit};
}

// The bytes of one row of RGB pixels in the reply buffer: whole 32-bit words, as QImage keeps them.
inline constexpr std::uint64_t rgbStride(std::uint64_t width) {
    return (width * 3 + 3) & ~std::uint64_t{3};
}

// Sent with the picture file's descriptor, then the reply buffer's when bufferBytes is not 0. A
// request of another size or with other descriptors ends the decoder.
struct Request {
    std::uint32_t magic;  // kRequestMagic
    std::uint32_t number; // every message of the answer carries it back
    std::int32_t format;  // Format
    std::int32_t flags;
    std::uint64_t bufferBytes; // a new reply buffer of this size comes along; 0: keep the one held
    std::uint32_t rowsBy;      // RowsBy
    JpegAsk jpeg;              // Format::Jpeg only
    std::array<std::uint32_t, 4> reserved; // zero
};

// The program's answer to NeedBuffer: a reply buffer of bufferBytes comes with it, or, when it is
// 0, none, and the picture is refused.
struct Grant {
    std::uint32_t magic; // kGrantMagic
    std::uint32_t number;
    std::uint64_t bufferBytes;
    std::uint32_t rowsBy; // RowsBy
    std::array<std::uint32_t, 3> reserved;
};

struct Reply {
    std::uint32_t magic;  // kReplyMagic
    std::uint32_t number; // the request's
    std::int32_t status;  // Status
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t orientation; // the picture's orientation tag, 1 to 8; the rows are as stored
    std::uint64_t stride;
    std::uint32_t damaged; // 1: the file's data had to be cut to fit; the picture is incomplete
    JpegReply jpeg;        // Format::Jpeg only
    std::array<std::uint32_t, 7> reserved;
};

static_assert(sizeof(Request) == 64 && sizeof(Grant) == 32 && sizeof(Reply) == 96);

// Sends one message over the channel with the descriptors of fds passed along (those not -1).
// True when the whole message went.
inline bool sendWithDescriptors(int channel, const void* data, std::size_t size,
                                std::array<int, 2> fds) {
    iovec part{const_cast<void*>(data), size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int) * 2)> control{};
    std::array<int, 2> passed{};
    std::size_t count = 0;
    for (int fd : fds) {
        if (fd >= 0) {
            passed[count++] = fd;
        }
    }
    if (count > 0) {
        message.msg_control = control.data();
        message.msg_controllen = CMSG_SPACE(sizeof(int) * count);
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * count);
        std::memcpy(CMSG_DATA(header), passed.data(), sizeof(int) * count);
    }
    ssize_t sent;
    do {
        sent = sendmsg(channel, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == ssize_t(size);
}

inline bool sendWithDescriptor(int channel, const void* data, std::size_t size, int fd) {
    return sendWithDescriptors(channel, data, size, {fd, -1});
}

// What receiveWithDescriptors got.
struct Received {
    bool whole = false;  // a message of exactly the size asked for, nothing cut
    bool closed = false; // the channel was closed or broke
    int descriptors = 0; // how many came with it
};

// Receives one message of exactly size bytes into data, and the descriptors that came with it
// into fds (unused places -1; those beyond their number are closed at once). The caller owns
// what fds holds, whatever the message was.
inline Received receiveWithDescriptors(int channel, void* data, std::size_t size,
                                       std::array<int, 2>& fds) {
    fds = {-1, -1};
    Received result;
    // One byte more than the message, to tell a longer one from it.
    std::array<char, 129> buffer{};
    if (size >= buffer.size()) {
        return result;
    }
    iovec part{buffer.data(), size + 1};
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int) * 8)> control{};
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
            const std::size_t n = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < n; ++i) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
                if (result.descriptors < int(fds.size())) {
                    fds[std::size_t(result.descriptors)] = fd;
                } else {
                    ::close(fd);
                }
                ++result.descriptors;
            }
        }
    }
    result.closed = got <= 0;
    std::memcpy(data, buffer.data(), size);
    result.whole = got == ssize_t(size) && !(message.msg_flags & (MSG_TRUNC | MSG_CTRUNC));
    return result;
}

} // namespace quill::decoder_protocol
