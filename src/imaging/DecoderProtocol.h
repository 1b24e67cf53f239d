#pragma once
// The messages between the program and its decoder process: a request, then its reply, in turn,
// over a sequenced-packet socket that the decoder finds as descriptor 3. A picture's rows travel
// in a sealed memory file passed with the reply.

#include <cstdint>

namespace quill::decoder_protocol {

inline constexpr int kChannelFd = 3;
inline constexpr std::uint32_t kRequestMagic = 0x51444551; // "QEDQ"
inline constexpr std::uint32_t kReplyMagic = 0x51444552;
inline constexpr std::uint32_t kMaxPathBytes = 16384;

struct Request {
    std::uint32_t magic;
    std::int32_t format; // FREE_IMAGE_FORMAT
    std::int32_t flags;
    std::uint32_t pathBytes; // the absolute path follows, without a terminating zero
};

struct Reply {
    std::uint32_t magic;
    std::int32_t status; // decode::Status
    std::uint32_t width;
    std::uint32_t height;
    std::uint64_t stride;
    std::uint32_t orientation; // the picture's orientation tag, 1 to 8; the rows are as stored
    std::uint32_t reserved;
};

} // namespace quill::decoder_protocol
