#pragma once
// The messages between the program and its decoder process: a request, then its reply, in turn,
// over a sequenced-packet socket that the decoder finds as descriptor 3. The program opens the
// picture file and passes the open descriptor with the request (SCM_RIGHTS), so no path ever
// reaches the decoder, which cannot open files by name. A picture's rows travel back in a sealed
// memory file passed with the reply. No Qt and no decoder library here: both sides include this
// file.

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sys/socket.h>

namespace quill::decoder_protocol {

inline constexpr int kChannelFd = 3;
inline constexpr std::uint32_t kRequestMagic = 0x51444551; // "QEDQ"
inline constexpr std::uint32_t kReplyMagic = 0x51444552;

// The picture formats a request names. The numbers are the decoder library's own, so the decoder
// passes them on unchanged; it checks at compile time that they still match.
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
};

// A request's flags for a Photo CD: the base picture, 768 x 512.
inline constexpr std::int32_t kPhotoCdBase = 1;

enum class Status : std::int32_t {
    Picture = 0,   // the rows were written
    NoPicture = 1, // the file is unreadable, not of the format, or truncated
    Refused = 2,   // too many pixels, an unsupported pixel type, or no memory for the rows
    // Not yet the reply: the file's header claims width x height pixels, sent before any of them
    // is decoded so that the program can fit its time limit to them. The reply follows.
    Claimed = 3,
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

// Sent with exactly one descriptor: the picture file, opened for reading by the program. A
// request without one, or of another size, ends the decoder.
struct Request {
    std::uint32_t magic;
    std::int32_t format; // Format
    std::int32_t flags;
    std::uint32_t reserved; // zero
    JpegAsk jpeg;           // Format::Jpeg only
};

struct Reply {
    std::uint32_t magic;
    std::int32_t status; // Status
    std::uint32_t width;
    std::uint32_t height;
    std::uint64_t stride;
    std::uint32_t orientation; // the picture's orientation tag, 1 to 8; the rows are as stored
    std::uint32_t damaged;     // 1: the file's data had to be cut to fit; the picture is incomplete
    JpegReply jpeg;            // Format::Jpeg only
};

// Sends one message over the channel, with the descriptor fd passed along when it is not -1.
// True when the whole message went.
inline bool sendWithDescriptor(int channel, const void* data, std::size_t size, int fd) {
    iovec part{const_cast<void*>(data), size};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(int))> control{};
    if (fd >= 0) {
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    }
    ssize_t sent;
    do {
        sent = sendmsg(channel, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == ssize_t(size);
}

} // namespace quill::decoder_protocol
