#pragma once
// Turning a picture file into the working bitmap. Every picture is decoded in the decoder
// process: JPEG files (".jpg" and its other spellings) by libjpeg through the shared JPEG object,
// which keeps what the run needs of them, every other format by the decoder chosen by the file's
// extension through the decoder table. Either way the picture comes out upright (after its EXIF
// or TIFF orientation) and in sRGB (after its embedded colour profile).

#include "imaging/DecoderService.h"
#include "imaging/JpegImage.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <array>
#include <optional>
#include <span>
#include <thread>
#include <utility>

namespace quill {

enum LoadOutcome { LoadOk, LoadInvalidJpeg, LoadFailed };

// What one load came to. It converts to its outcome, so a caller that only branches on that
// needs nothing more; the detail says why a load failed, for the log, never for the user.
struct LoadResult {
    LoadOutcome outcome = LoadOk;
    QString detail;
    // LoadOk of a JPEG whose data broke off or ended early, so that part of the picture is grey.
    // Such a picture is still converted (it may be all the user has left), but the run says so.
    bool damaged = false;

    operator LoadOutcome() const { return outcome; }
};

// What the user is told about a failed load ("" for LoadOk), and about a damaged picture: the
// only places these texts are written.
QString LoadOutcomeMessage(LoadOutcome outcome);
QString DamagedFileMessage(const QString& fileName);
// A file handed to the program whose extension has no decoder.
QString NoDecoderMessage(const QString& fileName);

// A non-JPEG decode that raised a failure: the file could not be read as its format, or the
// decoder crashed, overran its time, or refused a picture that is too large or of an unsupported
// pixel type. The reason is kept for the log.
class LoadError : public Failure {
public:
    explicit LoadError(QString reason = {})
        : Failure(LoadOutcomeMessage(LoadFailed)), reason_(std::move(reason)) {}
    const QString& reason() const { return reason_; }

private:
    QString reason_;
};

// One row of the decoder table: extensions (lower case, with the dot; unused places null), the
// decoder protocol's format whose loader is called, and its flags.
struct DecoderRow {
    std::array<const char*, 5> extensions;
    int format;
    int flags;
};
std::span<const DecoderRow> DecoderTable();
// Whether the extension of path (letter case ignored) has a decoder at all.
bool HasDecoder(const QString& path);

// Decodes path (full, or relative to the current folder) into workingBitmap. LoadInvalidJpeg and
// LoadFailed leave workingBitmap as it was; LoadOk leaves it empty only for an extension that
// has no decoder.
LoadResult LoadPictureFile(QImage& workingBitmap, TJPEGImage& jpeg, const QString& path);

// A JPEG's preview: the file it was made of (as fstat knew it), the preview's limit, the
// settings, what the header said, and the picture.
struct DecodedPreview {
    FileState file;
    int limit = 0;
    TJPEGDecodeSettings settings;
    TJPEGData header;
    bool progressive = false;
    QImage picture;
    bool damaged = false;
};

// A picture of another format as the decoder process made it of this file at this path.
struct DecodedPicture {
    QString path;
    FileState file;
    QImage picture;
};

// The previews that need not be decoded again: the last JPEG preview decoded, during start-up
// the one decoded ahead (PreviewAhead), and the last picture of another format. Start-up previews
// the same file up to three times, and the end of a run previews the folder's first entry again;
// a file that is unchanged (the same file, size and times) is not decoded again.
struct PreviewMemo {
    std::optional<DecodedPreview> last;
    std::optional<DecodedPreview> ahead;
    std::optional<DecodedPicture> other;
};

// The preview's load: as LoadPictureFile (same outcomes, same messages, the shared JPEG object
// left holding the file and its progressive flag), but a JPEG is decoded only as large as
// showing it within limit x limit needs (at least the shown size), so workingBitmap may
// be smaller than the picture. On LoadOk fullSize receives the upright picture's full size. A
// JPEG that fails leaves workingBitmap and fullSize as they were; any other file lets go of the
// previous picture before it is decoded, so when it fails both are empty (0 x 0).
// Outputs are never made from this.
LoadResult LoadPreviewFile(QImage& workingBitmap, TJPEGImage& jpeg, const QString& path, int limit,
                           QSize& fullSize, PreviewMemo* memo = nullptr);

// A JPEG file's preview decoded on a thread of its own, so that start-up can build the window
// meanwhile. It decodes with the built-in JPEG defaults, since the process's table needs the
// application, which does not exist yet; its picture only stands in for a decode of the same
// bytes at the same size with the same settings, so whatever the file turns out to be, the
// preview shows and says exactly what decoding it in its turn would. The decode runs in a
// decoder process of the thread's own.
class PreviewAhead {
public:
    PreviewAhead(const QString& path, int limit);
    ~PreviewAhead();
    PreviewAhead(const PreviewAhead&) = delete;
    PreviewAhead& operator=(const PreviewAhead&) = delete;

    // Waits for the decode; nothing when the file is no JPEG or did not decode.
    std::optional<DecodedPreview> take();

private:
    std::thread thread_;
    std::optional<DecodedPreview> result_;
};

// The non-JPEG half: decodes fileName with the decoder of extension (compared ignoring case) into
// bitmap, which is empty afterwards when the extension has no decoder. Throws LoadError, with
// bitmap untouched, when the decoder gave no picture. damaged, when given, tells whether the
// picture is incomplete (its file's data had to be cut to fit).
void LoadByExtension(QImage& bitmap, const QString& fileName, const QString& extension,
                     bool* damaged = nullptr);

} // namespace quill
