#pragma once
// Files whose cost lies outside their pixels, made for the tests and benchmarks: compressed
// streams that inflate to far more than they take, and PNG chunks holding them. Header only;
// whoever includes it links zlib.

#include <QByteArray>

#include <zlib.h>

#include <algorithm>
#include <cstdint>

namespace quill::test::costly {

// A zlib stream of `head` followed by `zeros` zero bytes. Zeros compress about a thousand to
// one, so a gigabyte takes a megabyte. Without an end the stream stops short of its final block,
// as a file cut off would.
inline QByteArray zlibWithZeros(const QByteArray& head, std::int64_t zeros, bool ended = true) {
    z_stream stream{};
    deflateInit(&stream, 9);
    const QByteArray block(1 << 20, '\0');
    QByteArray out;
    QByteArray buffer(1 << 16, '\0');
    const auto feed = [&](const QByteArray& in, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        stream.avail_in = uInt(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, flush);
            out.append(buffer.constData(), buffer.size() - qsizetype(stream.avail_out));
        } while (stream.avail_out == 0);
    };
    feed(head, Z_NO_FLUSH);
    for (std::int64_t left = zeros; left > 0; left -= block.size()) {
        feed(block.left(qsizetype(std::min<std::int64_t>(left, block.size()))), Z_NO_FLUSH);
    }
    feed(QByteArray(), ended ? Z_FINISH : Z_SYNC_FLUSH);
    deflateEnd(&stream);
    return out;
}

// One PNG chunk with its length and checksum.
inline QByteArray chunk(const char* type, const QByteArray& data) {
    const auto be32 = [](std::uint32_t v) {
        const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(bytes, 4);
    };
    const QByteArray body = QByteArray(type, 4) + data;
    const auto crc = std::uint32_t(
        crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size())));
    return be32(std::uint32_t(data.size())) + body + be32(crc);
}

// Compressed text that inflates to `bytes` bytes, as a zTXt or iTXt chunk.
inline QByteArray textBomb(std::int64_t bytes, bool international = false) {
    const QByteArray text = zlibWithZeros(QByteArray(), bytes);
    return international ? chunk("iTXt", QByteArray("Comment\0\1\0\0\0", 12) + text)
                         : chunk("zTXt", QByteArray("Comment\0\0", 9) + text);
}

} // namespace quill::test::costly
