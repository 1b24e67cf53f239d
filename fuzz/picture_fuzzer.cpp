// libFuzzer target: every input is written as a file of one extension (QUILL_FUZZ_EXTENSION) and
// loaded with LoadPictureFile, the way the preview and the batch run load files; our own header
// parsers, PNG decoding and TIFF reading also see it directly, so their coverage guides the search.
// With QUILL_FUZZ_WRITE_SEEDS=<folder> the target writes a small seed corpus per extension and
// ends.

#include "FormatFixtures.h"
#include "LoadingFixtures.h"
#include "ModernFixtures.h"
#include "TiffFixtures.h"
#include "decoder/BmpRunLength.h"
#include "decoder/ColourProfile.h"
#include "decoder/OwnReaders.h"
#include "decoder/PictureHeaders.h"
#include "decoder/PictureRewrites.h"
#include "decoder/PngChunks.h"
#include "decoder/PngDecode.h"
#include "decoder/TiffDecode.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

using namespace quill::test::fixtures;

QString g_input;
quill::TJPEGImage* g_jpeg = nullptr;
volatile unsigned g_rowSum = 0; // keeps the row reads from being optimised away

bool writeSeeds(const QString& root) {
    const QImage pattern = quadrants(16, 12);
    DibPtr rgb = dibFromImage(pattern);
    DibPtr square = dibFromImage(quadrants(16, 16));
    DibPtr palette = paletteDib(8);
    bool ok = true;
    auto folder = [&](const char* ext) {
        const QString dir = root + QStringLiteral("/") + QLatin1String(ext);
        QDir().mkpath(dir);
        QDir().mkpath(root + QStringLiteral("/../work/") + QLatin1String(ext));
        return dir;
    };
    auto dib = [&](const char* ext, FIBITMAP* picture, FREE_IMAGE_FORMAT format, int flags,
                   const char* name) {
        ok &= saveDib(picture, format, folder(ext) + QStringLiteral("/") + QLatin1String(name),
                      flags);
    };
    auto raw = [&](const char* ext, const QByteArray& bytes, const char* name) {
        ok &= writeBytes(folder(ext) + QStringLiteral("/") + QLatin1String(name), bytes);
    };
    dib("bmp", rgb.get(), FIF_BMP, 0, "rgb");
    dib("bmp", palette.get(), FIF_BMP, BMP_SAVE_RLE, "rle8");
    raw("bmp", bmpNewHeaderBytes(pattern, 124, true), "v5");
    dib("tif", rgb.get(), FIF_TIFF, 0, "rgb");
    dib("tiff", palette.get(), FIF_TIFF, TIFF_LZW, "lzw");
    // Kinds the decoder reads with libtiff itself.
    using quill::test::tiffs::TiffPicture;
    auto tiff = [&](const char* ext, const TiffPicture& picture, const char* name) {
        const QString file = folder(ext) + QStringLiteral("/") + QLatin1String(name);
        ok &= quill::test::tiffs::writeTiff(QFile::encodeName(file).constData(), picture);
    };
    const auto values = [](std::size_t count) {
        std::vector<double> out(count);
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = double(i * 37 % 251);
        }
        return out;
    };
    tiff("tif",
         {.width = 24,
          .height = 20,
          .photometric = PHOTOMETRIC_YCBCR,
          .compression = COMPRESSION_JPEG,
          .tile = 16,
          .orientation = 6,
          .jpegFromRgb = true,
          .values = values(24 * 20 * 3)},
         "ycbcr-tiles");
    tiff("tif", {.width = 9, .height = 5, .photometric = PHOTOMETRIC_CIELAB, .values = values(135)},
         "lab");
    tiff("tiff",
         {.width = 20,
          .height = 18,
          .bits = 12,
          .samples = 2,
          .photometric = PHOTOMETRIC_MINISBLACK,
          .compression = COMPRESSION_LZW,
          .planar = PLANARCONFIG_SEPARATE,
          .tile = 16,
          .extraSamples = {EXTRASAMPLE_ASSOCALPHA},
          .values = values(720)},
         "grey12-planes");
    tiff("tiff",
         {.width = 7,
          .height = 3,
          .bits = 32,
          .samples = 5,
          .photometric = PHOTOMETRIC_SEPARATED,
          .sampleFormat = SAMPLEFORMAT_IEEEFP,
          .compression = COMPRESSION_ADOBE_DEFLATE,
          .extraSamples = {EXTRASAMPLE_UNASSALPHA},
          .values = values(105)},
         "cmyk-float");
    raw("pcd", photoCdBytes(), "base");
    dib("ico", square.get(), FIF_ICO, 0, "rgb");
    raw("koa", koalaBytes(), "cell");
    raw("lbm", lbmBytes(), "planes");
    dib("png", rgb.get(), FIF_PNG, 0, "rgb");
    dib("png", palette.get(), FIF_PNG, 0, "palette");
    raw("png",
        handMadePng({.width = 13,
                     .height = 7,
                     .colourType = 6,
                     .filters = {0, 1, 2, 3, 4},
                     .idatBytes = 64}),
        "filters");
    raw("png", handMadePng({.width = 9, .height = 5, .colourType = 0, .filters = {4, 3}}), "grey");
    raw("mng", mngFromPng(readBytes(root + QStringLiteral("/png/rgb")), 16, 12), "frame");
    raw("pcx", pcxBytes(pattern), "rgb");
    dib("ppm", rgb.get(), FIF_PPMRAW, 0, "p6");
    dib("pgm", rgb.get(), FIF_PPM, PNM_SAVE_ASCII, "p3");
    raw("pbm", pbmBytes(false), "p4");
    raw("ras", rasBytes(pattern), "rgb");
    dib("tga", rgb.get(), FIF_TARGA, TARGA_SAVE_RLE, "rle");
    namespace f = quill::test::formats;
    raw("bmp", f::bitfieldBmp(32, {0x3ff00000, 0xffc00, 0x3ff, 0}).bytes, "bitfields");
    raw("bmp", f::bitfieldBmp(16, {0xf000, 0xf00, 0xf0, 0xf}, 124).bytes, "alpha16");
    raw("ico", f::icon(4, 124).bytes, "masked-v5");
    raw("ras", f::sunRaster(8, true, true).bytes, "palette-rle");
    raw("ras", f::sunRaster(1, true, false).bytes, "mono-rle");
    raw("tga", f::targa(true, 5, 15, 0x20).bytes, "map15");
    raw("tga", f::targa(true, 0, 0).bytes, "grey-alpha");
    raw("pcx", f::planarPcx(1, 4).bytes, "planes");
    raw("pbm", f::plainBitmap("").bytes, "p1-tight");
    raw("lbm", f::ilbm(f::IlbmKind::Ham6).bytes, "ham6");
    raw("lbm", f::ilbm(f::IlbmKind::Acbm).bytes, "acbm");
    raw("lbm", f::ilbm(f::IlbmKind::Deep32).bytes, "deep");
    // The newer formats, made with their encoders.
    namespace m = quill::test::modern;
    const QImage marked = m::marked(16, 12);
    raw("heic", m::heif(marked, {.orientation = 6, .exifOrientation = 6}), "turned");
    raw("heic", m::heif(m::marked(16, 12, QColor(0, 0, 255, 0)), {}), "alpha");
    raw("avif", m::heif(marked, {.codec = heif_compression_AV1, .bits = 10}), "ten-bit");
    raw("webp", m::webp(marked), "still");
    raw("webp", m::webp(marked, true), "animated");
    raw("gif", m::gif(), "frame");
    raw("jxl", m::jxl(marked, 6), "turned");
    ok &= !m::dng(marked, 6, folder("dng") + QStringLiteral("/bayer")).isEmpty();
    quill::TJPEGImage encoder;
    encoder.Assign(pattern);
    encoder.SaveToFile(folder("jpg") + QStringLiteral("/baseline"));
    encoder.Assign(quadrants(40, 24));
    encoder.SetProgressiveEncoding(true);
    encoder.SaveToFile(folder("jpg") + QStringLiteral("/progressive"));
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const QByteArray seeds = qgetenv("QUILL_FUZZ_WRITE_SEEDS");
    if (!seeds.isEmpty()) {
        FreeImage_Initialise(FALSE);
        const bool ok = writeSeeds(QFile::decodeName(seeds));
        FreeImage_DeInitialise();
        std::fprintf(stderr, "seed corpus %s: %s\n", seeds.constData(), ok ? "written" : "FAILED");
        std::_Exit(ok ? 0 : 1);
    }
    const QByteArray extension = qgetenv("QUILL_FUZZ_EXTENSION");
    if (extension.isEmpty()) {
        std::fprintf(stderr, "set QUILL_FUZZ_EXTENSION (e.g. png)\n");
        std::_Exit(2);
    }
    char pattern[] = "/tmp/quill-fuzz-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir) {
        std::_Exit(2);
    }
    g_input = QFile::decodeName(dir) + QStringLiteral("/input.") + QString::fromLatin1(extension);
    static quill::TJPEGImage jpeg;
    g_jpeg = &jpeg;
    // Hangs are cut off sooner than in the program, so a short run tries more inputs.
    quill::setDecoderTimeout(std::chrono::seconds(3));
    quill::startDecoderService();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace p = quill::pictures;
    (void)p::rewriteBmpToInfoHeader(data, size);
    (void)p::readIlbmSize(data, size);
    (void)p::readMngSize(data, size);
    (void)p::isSoundTarga(data, size);
    (void)p::isSoundSunRaster(data, size);
    (void)p::isSoundIcon(data, size);
    (void)p::isKoalaFile(data, size);
    (void)quill::decode::loadCommonPng(std::vector<std::uint8_t>(data, data + size));
    (void)p::expandRunLengthBmp(data, size);
    (void)p::rewriteBitfieldBmp(data, size);
    (void)p::rewriteIconToInfoHeader(data, size);
    (void)p::rewriteSunRaster(data, size);
    (void)p::spacePlainBitmap(data, size);
    (void)quill::decode::readTarga(data, size);
    (void)quill::decode::readPcx(data, size);
    (void)quill::decode::readIlbm(data, size);
    {
        // Rows for small pictures only: a header that claims millions of pixels costs no memory.
        std::vector<std::uint8_t> rows;
        std::uint32_t width = 0;
        std::uint32_t height = 0;
        (void)quill::decode::decodeTiffAlways(
            data, size,
            [&rows](std::uint32_t w, std::uint32_t h) {
                if (std::uint64_t{w} * h > (std::uint64_t{1} << 22)) {
                    return quill::decode::RgbTarget{};
                }
                rows.resize(std::size_t{w} * h * 3);
                return quill::decode::RgbTarget{rows.data(), std::size_t{w} * 3};
            },
            width, height, nullptr);
    }
    {
        std::vector<std::uint8_t> png(data, data + size);
        (void)quill::decode::preparePngForLoader(png);
    }
    (void)quill::colour::costBeyondBounds(data, size);

    {
        QFile file(g_input);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
            return 0;
        }
    }
    QImage bitmap;
    const quill::LoadOutcome outcome = quill::LoadPictureFile(bitmap, *g_jpeg, g_input);
    if (outcome == quill::LoadOk && !bitmap.isNull()) {
        // Every row of the picture must be readable, whatever the decoder handed back.
        unsigned sum = 0;
        for (int y = 0; y < bitmap.height(); ++y) {
            const uchar* row = bitmap.constScanLine(y);
            for (qsizetype x = 0; x < bitmap.bytesPerLine(); x += 61) {
                sum += row[x];
            }
        }
        g_rowSum = sum;
    }
    return 0;
}
