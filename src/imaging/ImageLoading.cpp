#include "imaging/ImageLoading.h"

#include "decoder/DecoderProtocol.h"
#include "imaging/DecoderService.h"
#include "imaging/Orientation.h"
#include "platform/Logging.h"

#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <new>
#include <system_error>

namespace quill {

namespace {

using Format = decoder_protocol::Format;

constexpr int number(Format format) {
    return static_cast<int>(format);
}

// Besides the file list's own extensions, the other names the shared MIME database gives these
// types, so every file the desktop entry claims opens when the desktop hands it over.
constexpr std::array<DecoderRow, 18> kDecoderTable{{
    {{".bmp", ".dib"}, number(Format::Bmp), 0},
    {{".tif", ".tiff"}, number(Format::Tiff), 0},
    {{".pcd"}, number(Format::PhotoCd), decoder_protocol::kPhotoCdBase},
    {{".ico"}, number(Format::Ico), 0},
    {{".koa"}, number(Format::Koala), 0},
    {{".lbm", ".iff", ".ilbm"}, number(Format::Lbm), 0},
    {{".mng"}, number(Format::Mng), 0},
    {{".pcx"}, number(Format::Pcx), 0},
    {{".ppm", ".pgm", ".pbm"}, number(Format::Pnm), 0},
    {{".png"}, number(Format::Png), 0},
    {{".ras", ".sun"}, number(Format::SunRaster), 0},
    {{".tga", ".icb", ".tpic", ".vda", ".vst"}, number(Format::Targa), 0},
    {{".heic", ".heif", ".hif", ".avif", ".avifs"}, number(Format::Heif), 0},
    {{".webp"}, number(Format::WebP), 0},
    {{".gif"}, number(Format::Gif), decoder_protocol::kGifComposited},
    {{".jxl"}, number(Format::JpegXl), 0},
    {{".dng", ".cr2", ".cr3", ".nef", ".arw"}, number(Format::Raw), 0},
    {{".raf", ".orf", ".rw2", ".pef", ".srw"}, number(Format::Raw), 0},
}};

constexpr std::array<const char*, 4> kJpegExtensions{".jpg", ".jpeg", ".jpe", ".jfif"};

QString extensionOf(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot).toLower();
}

// Orientations 5 to 8 store the picture with its width and height exchanged.
bool transposesPicture(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

} // namespace

QString LoadOutcomeMessage(LoadOutcome outcome) {
    switch (outcome) {
    case LoadInvalidJpeg:
        return QStringLiteral("Keine gültige JPEG-Datei");
    case LoadFailed:
        return QStringLiteral("Fehler beim Laden der Datei");
    case LoadOk:
        break;
    }
    return QString();
}

QString DamagedFileMessage(const QString& fileName) {
    return QStringLiteral("Die Datei %1 ist beschädigt; das Bild ist unvollständig.").arg(fileName);
}

QString NoDecoderMessage(const QString& fileName) {
    return QStringLiteral("Die Datei %1 ist kein Bild, das Quillmere lesen kann.").arg(fileName);
}

std::span<const DecoderRow> DecoderTable() {
    return kDecoderTable;
}

namespace {

bool isJpegExtension(const QString& extension) {
    return std::any_of(kJpegExtensions.begin(), kJpegExtensions.end(), [&](const char* jpeg) {
        return extension.compare(QLatin1String(jpeg), Qt::CaseInsensitive) == 0;
    });
}

const DecoderRow* decoderRowFor(const QString& extension) {
    for (const DecoderRow& row : kDecoderTable) {
        for (const char* candidate : row.extensions) {
            if (candidate &&
                extension.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0) {
                return &row;
            }
        }
    }
    return nullptr;
}

} // namespace

bool HasDecoder(const QString& path) {
    const QString extension = extensionOf(path);
    return isJpegExtension(extension) || decoderRowFor(extension) != nullptr;
}

void LoadByExtension(QImage& bitmap, const QString& fileName, const QString& extension,
                     bool* damaged) {
    const DecoderRow* match = decoderRowFor(extension);
    QImage picture;
    int orientation = kUpright;
    if (match) {
        QString detail;
        // A file its decoder could not read (missing, empty, cut short, of another format) is a
        // failed load like any other, never an empty picture passed off as success.
        if (decodeInDecoderProcess(fileName, match->format, match->flags, picture, &orientation,
                                   &detail, damaged) != DecoderResult::Picture) {
            throw LoadError(detail);
        }
    }
    applyOrientation(picture, orientation);
    bitmap = picture;
}

namespace {

LoadResult loadLogged(const QString& path, LoadResult result) {
    if (result.outcome != LoadOk) {
        qCDebug(lcLoad).noquote() << "refused" << path << "-" << result.detail;
    } else if (result.damaged) {
        qCDebug(lcLoad).noquote() << "damaged" << path;
    } else {
        qCDebug(lcLoad).noquote() << "loaded" << path;
    }
    return result;
}

} // namespace

LoadResult LoadPictureFile(QImage& workingBitmap, TJPEGImage& jpeg, const QString& path) {
    const QString extension = extensionOf(path);
    if (isJpegExtension(extension)) {
        try {
            jpeg.LoadFromFile(path);
            QImage decoded;
            jpeg.AssignTo(decoded);
            applyOrientation(decoded, jpeg.Data().Orientation);
            workingBitmap = decoded;
            return loadLogged(path, {LoadOk, QString(), jpeg.Incomplete()});
        } catch (const Failure& failure) {
            return loadLogged(path, {LoadInvalidJpeg, failure.text()});
        } catch (const std::bad_alloc&) {
            return loadLogged(path, {LoadInvalidJpeg, QStringLiteral("out of memory")});
        }
    }
    try {
        bool damaged = false;
        LoadByExtension(workingBitmap, path, extension, &damaged);
        return loadLogged(path, {LoadOk, QString(), damaged});
    } catch (const LoadError& failure) {
        return loadLogged(path, {LoadFailed, failure.reason()});
    } catch (const Failure& failure) {
        return loadLogged(path, {LoadFailed, failure.text()});
    } catch (const std::bad_alloc&) {
        return loadLogged(path, {LoadFailed, QStringLiteral("out of memory")});
    }
}

namespace {

// The preview of what file holds, decoded into jpeg. Throws as LoadPreview does.
DecodedPreview decodePreview(TJPEGImage& jpeg, std::shared_ptr<const OpenedPicture> file,
                             int limit) {
    DecodedPreview preview;
    preview.file = file->identity();
    preview.limit = limit;
    preview.settings = jpeg.DecodeSettings();
    preview.picture = jpeg.LoadPreview(std::move(file), limit, preview.damaged);
    preview.header = jpeg.Data();
    preview.progressive = jpeg.ProgressiveEncoding();
    applyOrientation(preview.picture, preview.header.Orientation);
    return preview;
}

bool standsFor(const std::optional<DecodedPreview>& preview, const TJPEGImage& jpeg,
               const OpenedPicture& file, int limit) {
    return preview && preview->limit == limit && preview->settings == jpeg.DecodeSettings() &&
           preview->file == file.identity();
}

} // namespace

LoadResult LoadPreviewFile(QImage& workingBitmap, TJPEGImage& jpeg, const QString& path, int limit,
                           QSize& fullSize, PreviewMemo* memo) {
    if (!isJpegExtension(extensionOf(path))) {
        // These loads leave the JPEG object alone, so the remembered picture is all they give.
        // The file is told by what fstat says of it: this process reads no picture's bytes.
        std::shared_ptr<const OpenedPicture> opened =
            memo && !path.isEmpty() ? OpenedPicture::open(path) : nullptr;
        if (opened && memo->other && memo->other->path == path &&
            memo->other->file == opened->identity()) {
            workingBitmap = memo->other->picture;
            fullSize = workingBitmap.size();
            return loadLogged(path, {});
        }
        // The pictures this decode replaces go before it starts: a picture at the pixel limit is
        // then never held twice. A load that fails leaves the picture empty.
        if (memo) {
            memo->other.reset();
        }
        workingBitmap = QImage();
        const LoadResult result = LoadPictureFile(workingBitmap, jpeg, path);
        fullSize = workingBitmap.size();
        if (result == LoadOk && opened && !workingBitmap.isNull()) {
            memo->other = DecodedPicture{path, opened->identity(), workingBitmap};
        }
        return result;
    }
    try {
        std::shared_ptr<const OpenedPicture> file = OpenedPicture::open(path);
        if (!file) {
            throw EFOpenError(path);
        }
        if (file->identity().size > kMaxJpegFileBytes) {
            throw EJPEG(QStringLiteral("the file is larger than any picture"));
        }
        DecodedPreview preview;
        if (memo && standsFor(memo->last, jpeg, *file, limit)) {
            preview = *memo->last;
            jpeg.TakeHeader(std::move(file), preview.header, preview.progressive);
        } else if (memo && standsFor(memo->ahead, jpeg, *file, limit)) {
            preview = *memo->ahead;
            jpeg.TakeHeader(std::move(file), preview.header, preview.progressive);
            memo->last = preview;
        } else {
            preview = decodePreview(jpeg, std::move(file), limit);
            if (memo) {
                memo->last = preview;
            }
        }
        const TJPEGData& header = preview.header;
        workingBitmap = preview.picture;
        fullSize = transposesPicture(header.Orientation) ? QSize(header.Height, header.Width)
                                                         : QSize(header.Width, header.Height);
        return loadLogged(path, {LoadOk, QString(), preview.damaged});
    } catch (const Failure& failure) {
        return loadLogged(path, {LoadInvalidJpeg, failure.text()});
    } catch (const std::bad_alloc&) {
        return loadLogged(path, {LoadInvalidJpeg, QStringLiteral("out of memory")});
    }
}

PreviewAhead::PreviewAhead(const QString& path, int limit) {
    if (!isJpegExtension(extensionOf(path))) {
        return;
    }
    // The thread asks the decoder service, which logs and looks for the decoder beside the
    // program, while this thread may be making the application. So this thread becomes Qt's main
    // thread and the decoder is found before the other starts: neither is left to a race with
    // the application's construction.
    QThread::currentThread();
    decoderExecutable();
    // A thread that cannot be had only means the preview is decoded in its turn. Nothing may
    // leave the thread as an exception; a file that does not decode leaves no result.
    try {
        thread_ = std::thread([this, path, limit] {
            try {
                TJPEGImage jpeg{TJPEGDefaults{}};
                std::shared_ptr<const OpenedPicture> file = OpenedPicture::open(path);
                if (file && file->identity().size <= kMaxJpegFileBytes) {
                    result_ = decodePreview(jpeg, std::move(file), limit);
                }
            } catch (...) {
                result_.reset();
            }
        });
    } catch (const std::system_error&) {
    }
}

PreviewAhead::~PreviewAhead() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::optional<DecodedPreview> PreviewAhead::take() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return std::exchange(result_, std::nullopt);
}

} // namespace quill
