#pragma once
// A small picture file of a MIME type, whatever extension it is given: what a file manager hands
// the program for each type of its desktop entry. Header only: it writes through FreeImage and
// the hand-made formats of the codec fixtures (tests/imaging), so only tests that link the
// decoder library include it.

#include "LoadingFixtures.h"
#include "ModernFixtures.h"
#include "PhotoFixtures.h"

#include <QSize>
#include <QString>

#include <map>
#include <utility>

namespace quill::test {

// Writes a picture of the type to path; its size, or an empty size for a type without a writer
// here (or a failed write).
inline QSize writePictureOfType(const QString& mimeType, const QString& path) {
    using namespace fixtures;
    const QImage pattern = quadrants();
    if (mimeType == QLatin1String("image/jpeg")) {
        return photos::writeJpeg(path, pattern) ? pattern.size() : QSize();
    }
    // Through FreeImage's writers; an MNG holds a PNG as its one frame.
    const std::map<QString, FREE_IMAGE_FORMAT> written{{"image/bmp", FIF_BMP},
                                                       {"image/tiff", FIF_TIFF},
                                                       {"image/png", FIF_PNG},
                                                       {"video/x-mng", FIF_PNG},
                                                       {"image/x-tga", FIF_TARGA},
                                                       {"image/x-portable-pixmap", FIF_PPMRAW},
                                                       {"image/vnd.microsoft.icon", FIF_ICO}};
    if (const auto format = written.find(mimeType); format != written.end()) {
        // The icon writer takes square pictures only.
        const QImage image = format->second == FIF_ICO ? quadrants(16, 16) : pattern;
        const DibPtr dib = dibFromImage(image);
        const bool saved =
            saveDib(dib.get(), format->second, path) &&
            (mimeType != QLatin1String("video/x-mng") ||
             writeBytes(path, mngFromPng(readBytes(path), image.width(), image.height())));
        return saved ? image.size() : QSize();
    }
    // The newer formats with their encoders; every camera's raw as a DNG, which LibRaw knows by
    // its content.
    namespace m = modern;
    const QImage marked = m::marked();
    const std::map<QString, QByteArray> encoded{
        {"image/heif", m::heif(marked, {})},
        {"image/heic", m::heif(marked, {})},
        {"image/avif", m::heif(marked, {.codec = heif_compression_AV1})},
        {"image/webp", m::webp(marked)},
        {"image/jxl", m::jxl(marked)}};
    if (const auto bytes = encoded.find(mimeType); bytes != encoded.end()) {
        return writeBytes(path, bytes->second) ? marked.size() : QSize();
    }
    if (mimeType == QLatin1String("image/gif")) {
        return writeBytes(path, m::gif()) ? QSize(12, 10) : QSize();
    }
    if (mimeType.startsWith(QLatin1String("image/x-")) &&
        QStringList{"adobe-dng", "canon-cr2", "canon-cr3", "nikon-nef", "sony-arw", "fuji-raf",
                    "olympus-orf", "panasonic-rw2", "pentax-pef", "samsung-srw"}
            .contains(mimeType.mid(8))) {
        return m::dng(marked, 1, path).isEmpty() ? QSize() : marked.size();
    }
    // The formats FreeImage cannot write, made by hand.
    const std::map<QString, std::pair<QByteArray, QSize>> made{
        {"image/x-portable-graymap", {"P5\n16 12\n255\n" + QByteArray(16 * 12, '\x80'), {16, 12}}},
        {"image/x-portable-bitmap", {pbmBytes(false), {16, 12}}},
        {"image/vnd.zbrush.pcx", {pcxBytes(pattern), {16, 12}}},
        {"image/x-cmu-raster", {rasBytes(pattern), {16, 12}}},
        {"image/x-sun-raster", {rasBytes(pattern), {16, 12}}},
        {"image/x-ilbm", {lbmBytes(), {16, 12}}},
        {"image/x-koala", {koalaBytes(), {320, 200}}},
        {"image/x-photo-cd", {photoCdBytes(), {768, 512}}}};
    const auto bytes = made.find(mimeType);
    return bytes != made.end() && writeBytes(path, bytes->second.first) ? bytes->second.second
                                                                        : QSize();
}

} // namespace quill::test
