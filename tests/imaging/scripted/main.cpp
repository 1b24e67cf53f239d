// A decoder that keeps to the protocol or breaks it in one way, chosen by the last word of its
// name (the tests start it through links named "...-stale" and the like; the program gives a
// decoder no environment). Its pictures are 4 x 2 pixels of one colour whose red and green bytes
// are the request's number, so that a picture shows which request it answers.

#include "decoder/DecoderProtocol.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace proto = quill::decoder_protocol;

constexpr std::uint32_t kWidth = 4;
constexpr std::uint32_t kHeight = 2;

struct Buffer {
    int fd = -1;
    std::uint64_t bytes = 0;
    proto::RowsBy rowsBy = proto::RowsBy::Mapping;
};

void take(Buffer& buffer, int fd, std::uint64_t bytes, std::uint32_t rowsBy) {
    if (buffer.fd >= 0) {
        close(buffer.fd);
    }
    buffer = Buffer{fd, bytes, proto::RowsBy(rowsBy)};
}

bool send(const proto::Reply& reply, int fd = -1) {
    return proto::sendWithDescriptor(proto::kChannelFd, &reply, sizeof reply, fd);
}

proto::Reply reply(std::uint32_t number, proto::Status status, std::uint32_t width = kWidth,
                   std::uint32_t height = kHeight) {
    proto::Reply r{};
    r.magic = proto::kReplyMagic;
    r.number = number;
    r.status = std::int32_t(status);
    r.width = width;
    r.height = height;
    r.stride = proto::rgbStride(width);
    r.orientation = 1;
    return r;
}

// Asks for a buffer for width x height; false when none came.
bool askForBuffer(Buffer& buffer, std::uint32_t number, std::uint32_t width, std::uint32_t height) {
    if (!send(reply(number, proto::Status::NeedBuffer, width, height))) {
        return false;
    }
    proto::Grant grant{};
    std::array<int, 2> fds{};
    const proto::Received got =
        proto::receiveWithDescriptors(proto::kChannelFd, &grant, sizeof grant, fds);
    if (!got.whole || grant.bufferBytes == 0 || fds[0] < 0) {
        return false;
    }
    take(buffer, fds[0], grant.bufferBytes, grant.rowsBy);
    return true;
}

// The picture's rows, into the buffer as the program asked for them.
bool writeRows(const Buffer& buffer, std::uint32_t number) {
    const std::uint64_t stride = proto::rgbStride(kWidth);
    std::vector<std::uint8_t> rows(stride * kHeight, 0);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            std::uint8_t* pixel = rows.data() + y * stride + x * 3;
            pixel[0] = std::uint8_t(number);
            pixel[1] = std::uint8_t(number >> 8);
            pixel[2] = 0x5a;
        }
    }
    if (buffer.rowsBy == proto::RowsBy::Writing) {
        return pwrite(buffer.fd, rows.data(), rows.size(), 0) == ssize_t(rows.size());
    }
    void* mapped = mmap(nullptr, buffer.bytes, PROT_READ | PROT_WRITE, MAP_SHARED, buffer.fd, 0);
    if (mapped == MAP_FAILED) {
        return false;
    }
    std::memcpy(mapped, rows.data(), rows.size());
    munmap(mapped, buffer.bytes);
    return true;
}

} // namespace

int main(int, char** argv) {
    const std::string name = argv[0];
    const std::string script = name.substr(name.rfind('-') + 1);
    Buffer buffer;
    for (;;) {
        proto::Request request{};
        std::array<int, 2> fds{};
        const proto::Received got =
            proto::receiveWithDescriptors(proto::kChannelFd, &request, sizeof request, fds);
        if (!got.whole) {
            return 0;
        }
        const int picture = fds[0];
        if (fds[1] >= 0) {
            take(buffer, fds[1], request.bufferBytes, request.rowsBy);
        }
        const std::uint32_t number = request.number;
        if (script == "claims") {
            // A million pixels claimed, then nothing more.
            send(reply(number, proto::Status::Claimed, 1000, 1000));
            for (;;) {
                pause();
            }
        } else if (script == "chatty") {
            // Far more error text than any reply's share, all of it without a line's end.
            const std::string text(64 * 1024, 'x');
            [[maybe_unused]] const ssize_t wrote = write(STDERR_FILENO, text.data(), text.size());
            send(reply(number, proto::Status::NoPicture));
        } else if (script == "huge") {
            // A buffer for more pixels than any picture may have.
            send(reply(number, proto::Status::NeedBuffer, 65536, 65536));
        } else if (script == "descriptor") {
            // The claim comes with the picture's own descriptor.
            send(reply(number, proto::Status::Claimed), picture);
        } else if (script == "overrun") {
            // A picture far larger than the buffer it asked for.
            if (askForBuffer(buffer, number, kWidth, kHeight)) {
                send(reply(number, proto::Status::Picture, 1000, 1000));
            }
        } else {
            const std::uint32_t answered = script == "stale" ? number - 1 : number;
            if (buffer.bytes < proto::rgbStride(kWidth) * kHeight &&
                !askForBuffer(buffer, number, kWidth, kHeight)) {
                return 1;
            }
            if (!writeRows(buffer, number)) {
                return 1;
            }
            send(reply(answered, proto::Status::Picture));
            if (script == "extra") {
                send(reply(answered, proto::Status::Picture));
            }
        }
        if (picture >= 0) {
            close(picture);
        }
    }
}
