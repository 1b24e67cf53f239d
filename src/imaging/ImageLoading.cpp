#include "imaging/ImageLoading.h"

#include "imaging/DecoderService.h"
#include "imaging/Orientation.h"
#include "imaging/PreviewGeometry.h"

#include <FreeImage.h>

#include <QFileInfo>

#include <new>

namespace quill {

namespace {

constexpr int kPhotoCdBase = 1; // PCD_BASE: the 768 x 512 picture

constexpr std::array<DecoderRow, 12> kDecoderTable{{
    {{".bmp", nullptr, nullptr}, FIF_BMP, 0},
    {{".tif", ".tiff", nullptr}, FIF_TIFF, 0},
    {{".pcd", nullptr, nullptr}, FIF_PCD, kPhotoCdBase},
    {{".ico", nullptr, nullptr}, FIF_ICO, 0},
    {{".koa", nullptr, nullptr}, FIF_KOALA, 0},
    {{".lbm", nullptr, nullptr}, FIF_LBM, 0},
    {{".mng", nullptr, nullptr}, FIF_MNG, 0},
    {{".pcx", nullptr, nullptr}, FIF_PCX, 0},
    {{".ppm", ".pgm", ".pbm"}, FIF_PPM, 0},
    {{".png", nullptr, nullptr}, FIF_PNG, 0},
    {{".ras", nullptr, nullptr}, FIF_RAS, 0},
    {{".tga", nullptr, nullptr}, FIF_TARGA, 0},
}};

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

bool LoadedIncompleteJpeg(const TJPEGImage& jpeg, const QString& path) {
    return extensionOf(path) == QLatin1String(".jpg") && jpeg.Incomplete();
}

QString DamagedFileMessage(const QString& fileName) {
    return QStringLiteral("Die Datei %1 ist beschädigt; das Bild ist unvollständig.").arg(fileName);
}

std::span<const DecoderRow> DecoderTable() {
    return kDecoderTable;
}

void LoadByExtension(QImage& bitmap, const QString& fileName, const QString& extension) {
    const DecoderRow* match = nullptr;
    for (const DecoderRow& row : kDecoderTable) {
        for (const char* candidate : row.extensions) {
            if (candidate &&
                extension.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0) {
                match = &row;
            }
        }
    }
    QImage picture;
    int orientation = kUpright;
    if (match) {
        switch (
            decodeInDecoderProcess(fileName, match->format, match->flags, picture, &orientation)) {
        case DecoderResult::Picture:
            break;
        // A file its decoder could not read (missing, empty, cut short, of another format) is a
        // failed load like any other, never an empty picture passed off as success.
        case DecoderResult::NoPicture:
        case DecoderResult::Refused:
        case DecoderResult::Failed:
            throw LoadError();
        }
    }
    applyOrientation(picture, orientation);
    bitmap = picture;
}

LoadOutcome LoadPictureFile(QImage& workingBitmap, TJPEGImage& jpeg, const QString& path) {
    const QString extension = extensionOf(path);
    if (extension == QLatin1String(".jpg")) {
        try {
            jpeg.LoadFromFile(path);
            QImage decoded;
            jpeg.AssignTo(decoded);
            applyOrientation(decoded, jpeg.Data().Orientation);
            workingBitmap = decoded;
            return LoadOk;
        } catch (const Failure&) {
            return LoadInvalidJpeg;
        } catch (const std::bad_alloc&) {
            return LoadInvalidJpeg;
        }
    }
    try {
        LoadByExtension(workingBitmap, path, extension);
        return LoadOk;
    } catch (const Failure&) {
        return LoadFailed;
    } catch (const std::bad_alloc&) {
        return LoadFailed;
    }
}

LoadOutcome LoadPreviewFile(QImage& workingBitmap, TJPEGImage& jpeg, const QString& path, int limit,
                            QSize& fullSize, PreviewMemo* memo) {
    if (extensionOf(path) != QLatin1String(".jpg")) {
        const LoadOutcome outcome = LoadPictureFile(workingBitmap, jpeg, path);
        if (outcome == LoadOk) {
            fullSize = workingBitmap.size();
        }
        return outcome;
    }
    try {
        jpeg.LoadFromFile(path);
        const TJPEGData& header = jpeg.Data();
        const bool turned = transposesPicture(header.Orientation);
        const QSize upright =
            turned ? QSize(header.Height, header.Width) : QSize(header.Width, header.Height);
        const QSize shown = FitIntoPreview(upright.width(), upright.height(), limit) * 2;
        const QSize atLeast = turned ? shown.transposed() : shown;
        QImage decoded;
        if (memo && memo->atLeast == atLeast && memo->data == header.Data) {
            decoded = memo->picture;
        } else {
            decoded = jpeg.DecodeReduced(atLeast);
            applyOrientation(decoded, header.Orientation);
            if (memo) {
                *memo = PreviewMemo{header.Data, atLeast, decoded};
            }
        }
        workingBitmap = decoded;
        fullSize = upright;
        return LoadOk;
    } catch (const Failure&) {
        return LoadInvalidJpeg;
    } catch (const std::bad_alloc&) {
        return LoadInvalidJpeg;
    }
}

} // namespace quill
