#pragma once
// The program's side of the decoder processes. While the service runs, two decoder processes wait
// for work, one for the window's thread and one for a run's decoding ahead, and each serves a run
// of pictures into a reply buffer the program made and keeps; a crash, a kill at the time limit,
// a refusal, a file that is no picture or an answer that breaks the protocol ends that process,
// and a fresh one takes over for the next file.

#include "decoder/DecoderProtocol.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

namespace quill {

// Starts the decoder service: decoder processes wait for work, so the first picture does not
// wait for their start.
void startDecoderService();

// Stops the decoder service: the waiting processes are ended. Loads after this still work, each in
// a process of its own.
void stopDecoderService();

// True while the service runs (between the two calls above).
bool decoderServiceRunning();

// The decoder executable: the one set by setDecoderExecutable, else the one for the running
// program (decoderExecutableFor its folder).
QString decoderExecutable();
// The decoder for a program in programDir: the one beside it (the build tree), else the one in
// the program's private folder of an installed tree (libexec/quillmere/ seen from bin/).
QString decoderExecutableFor(const QString& programDir);
void setDecoderExecutable(const QString& path); // empty: back to the lookup

// The wall-clock limit for one decode of the largest picture (20 s unless set).
std::chrono::milliseconds decoderTimeout();
void setDecoderTimeout(std::chrono::milliseconds timeout);

// For tests: the program behaves as on a kernel that refuses a shared mapping of a sealed memory
// file (Debian 12's before 6.1.149), whose rows travel by pwrite and pread. Waiting decoders are
// replaced.
void setReplyBufferMappingRefused(bool refused);

// The limit for one decode of a file of fileBytes whose header claims pixels (0 until the decoder
// has told them): a few seconds for ordinary pictures, growing with the pixels and the file's
// size, and never more than most. A small picture thus never holds the window for long, however
// its file is made.
std::chrono::milliseconds decodeTimeLimit(std::uint64_t fileBytes, std::uint64_t pixels,
                                          std::chrono::milliseconds most);

enum class DecoderResult {
    Picture,   // picture holds the decoded rows (Format_RGB888)
    NoPicture, // the file could not be read as that format
    Refused,   // too large or of an unsupported pixel type
    Failed,    // the decoder crashed, was killed at the time limit, or could not be started
};

// Decodes path (made absolute here) with the protocol's format and flags in a decoder process. The
// rows come back in sRGB; orientation, when given, receives the picture's orientation tag (1 to
// 8, 1 when it has none), which the rows do not yet follow. detail, when given, receives why
// there is no picture (for the log). damaged, when given, tells whether the picture is
// incomplete: the file's data had to be cut to fit it.
DecoderResult decodeInDecoderProcess(const QString& path, int format, int flags, QImage& picture,
                                     int* orientation = nullptr, QString* detail = nullptr,
                                     bool* damaged = nullptr);

// What fstat tells of an open picture file. Equal identities stand for unchanged contents: a write
// changes the modification and change times, a replacement the inode.
struct FileState {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanoseconds = 0;
    bool operator==(const FileState&) const = default;
};

// A picture file the program opened for the decoder process (a regular file only, opened without
// waiting), never read here. Shared by whoever may ask for another decode of the same file.
class OpenedPicture {
public:
    // Null when path is no regular file or cannot be opened.
    static std::shared_ptr<const OpenedPicture> open(const QString& path);
    // Bytes already in memory, as a memory file (for tests and benchmarks). Null without memory.
    static std::shared_ptr<const OpenedPicture> fromBytes(const QByteArray& bytes);

    // Only through open and fromBytes, which take over fd.
    class Passkey {
        friend class OpenedPicture;
        Passkey() = default;
    };
    OpenedPicture(Passkey, int fd, QString name);
    ~OpenedPicture();
    OpenedPicture(const OpenedPicture&) = delete;
    OpenedPicture& operator=(const OpenedPicture&) = delete;

    int descriptor() const { return fd_; }
    const FileState& identity() const { return identity_; }
    const QString& name() const { return name_; }

private:
    int fd_;
    QString name_;
    FileState identity_;
};

// Decodes a JPEG in a decoder process as ask says. reply.jpeg holds what the decoder learnt of
// the file, also when there is no picture; picture is Format_RGB888, or Format_Indexed8 for a
// palette picture (reply.jpeg.bytesPerPixel 1). detail as for decodeInDecoderProcess.
DecoderResult decodeJpegInDecoderProcess(const OpenedPicture& file,
                                         const decoder_protocol::JpegAsk& ask, QImage& picture,
                                         decoder_protocol::Reply& reply, QString* detail = nullptr);

} // namespace quill
