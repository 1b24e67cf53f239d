#pragma once
// A small picture file of a MIME type, whatever extension it is given: what a file manager hands
// the program for each type of its desktop entry. Header only: it writes through FreeImage and
// the hand-made formats of the codec fixtures (tests/imaging), so only tests that link the
// decoder library include it.

#include "PhotoFixtures.h"
#include "loading_fixtures.h"

#include <QSize>
#include <QString>

#include <functional>
#include <map>

namespace quill::test {

// Writes a picture of the type to path; its size, or an empty size for a type without a writer
// here (or a failed write).
inline QSize writePictureOfType(const QString& mimeType, const QString& path) {
    using namespace fixtures;
    const QImage pattern = quadrants();
    const auto saved = [&](FREE_IMAGE_FORMAT format, const QImage& image) {
        const DibPtr dib = dibFromImage(image);
        return saveDib(dib.get(), format, path) ? image.size() : QSize();
    };
    const auto raw = [&](const QByteArray& bytes, QSize size) {
        return writeBytes(path, bytes) ? size : QSize();
    };
    const std::map<QString, std::function<QSize()>> writers{
        {"image/jpeg", [&] { return photos::writeJpeg(path, pattern) ? pattern.size() : QSize(); }},
        {"image/bmp", [&] { return saved(FIF_BMP, pattern); }},
        {"image/tiff", [&] { return saved(FIF_TIFF, pattern); }},
        {"image/png", [&] { return saved(FIF_PNG, pattern); }},
        {"image/x-tga", [&] { return saved(FIF_TARGA, pattern); }},
        {"image/x-portable-pixmap", [&] { return saved(FIF_PPMRAW, pattern); }},
        // The icon writer takes square pictures only.
        {"image/vnd.microsoft.icon", [&] { return saved(FIF_ICO, quadrants(16, 16)); }},
        {"image/x-portable-graymap",
         [&] {
             return raw("P5\n16 12\n255\n" + QByteArray(16 * 12, '\x80'), {16, 12});
         }},
        {"image/x-portable-bitmap", [&] { return raw(pbmBytes(false), pattern.size()); }},
        {"image/vnd.zbrush.pcx", [&] { return raw(pcxBytes(pattern), pattern.size()); }},
        {"image/x-cmu-raster", [&] { return raw(rasBytes(pattern), pattern.size()); }},
        {"image/x-sun-raster", [&] { return raw(rasBytes(pattern), pattern.size()); }},
        {"image/x-ilbm", [&] { return raw(lbmBytes(), pattern.size()); }},
        {"image/x-koala",
         [&] {
             return raw(koalaBytes(), {320, 200});
         }},
        {"image/x-photo-cd",
         [&] {
             return raw(photoCdBytes(), {768, 512});
         }},
        {"video/x-mng",
         [&] {
             const DibPtr dib = dibFromImage(pattern);
             const QString png = path + QStringLiteral(".png");
             const bool written = saveDib(dib.get(), FIF_PNG, png);
             const QByteArray frame = readBytes(png);
             QFile::remove(png);
             return written ? raw(mngFromPng(frame, 16, 12), pattern.size()) : QSize();
         }},
    };
    const auto writer = writers.find(mimeType);
    return writer == writers.end() ? QSize() : writer->second();
}

} // namespace quill::test
