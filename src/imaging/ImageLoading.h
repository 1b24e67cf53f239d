#pragma once
// Turning a picture file into the working bitmap. ".jpg" files go through the shared JPEG object
// in this process; every other format is decoded by FreeImage in the decoder process, chosen by
// the file's extension through the decoder table. Either way the picture comes out upright (after
// its EXIF or TIFF orientation) and in sRGB (after its embedded colour profile).

#include "imaging/JpegImage.h"

#include <QImage>
#include <QString>

#include <array>
#include <span>

namespace quill {

enum LoadOutcome { LoadOk, LoadInvalidJpeg, LoadFailed };

// The message a caller shows for an outcome ("" for LoadOk).
QString LoadOutcomeMessage(LoadOutcome outcome);

// After LoadOk: true when path was a JPEG whose data broke off or ended early, so that part of
// the picture is grey. Such a picture is still converted (it may be all the user has left), but
// the run says so, with DamagedFileMessage.
bool LoadedIncompleteJpeg(const TJPEGImage& jpeg, const QString& path);
QString DamagedFileMessage(const QString& fileName);

// A non-JPEG decode that raised a failure: the file could not be read as its format, or the
// decoder crashed, overran its time, or refused a picture that is too large or of an unsupported
// pixel type.
class LoadError : public Failure {
public:
    LoadError() : Failure(QStringLiteral("Fehler beim Laden der Datei")) {}
};

// One row of the decoder table: extensions (lower case, with the dot), the FreeImage format whose
// loader is called, and its flags.
struct DecoderRow {
    std::array<const char*, 3> extensions;
    int format;
    int flags;
};
std::span<const DecoderRow> DecoderTable();

// Decodes path (full, or relative to the current folder) into workingBitmap. LoadInvalidJpeg and
// LoadFailed leave workingBitmap as it was; LoadOk leaves it empty only for an extension that
// has no decoder.
LoadOutcome LoadPictureFile(QImage& workingBitmap, TJPEGImage& jpeg, const QString& path);

// The non-JPEG half: decodes fileName with the decoder of extension (compared ignoring case) into
// bitmap, which is empty afterwards when the extension has no decoder. Throws LoadError, with
// bitmap untouched, when the decoder gave no picture.
void LoadByExtension(QImage& bitmap, const QString& fileName, const QString& extension);

} // namespace quill
