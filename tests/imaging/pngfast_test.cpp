// The decoder's own reading of the common PNG files: for every kind it takes, FreeImage's bitmap
// byte for byte; everything else, damaged files first, left to FreeImage with the outcome it had
// before.

#include "CostlyFixtures.h"
#include "LoadingFixtures.h"
#include "ProfileFixtures.h"
#include "decoder/FreeImageDecode.h"
#include "decoder/PngChunks.h"
#include "decoder/PngDecode.h"
#include "imaging/DecoderService.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

namespace quill {
namespace {

using namespace test::fixtures;
using decode::Status;

DibPtr ownDecode(const QByteArray& bytes) {
    return decode::loadCommonPng(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

// Alike in everything later steps read: type, size, bits, masks, palette, transparency, profile
// and every byte of every row, the padding included.
::testing::AssertionResult sameBitmap(FIBITMAP* own, FIBITMAP* theirs) {
    if (!own || !theirs) {
        return ::testing::AssertionFailure() << (own ? "FreeImage" : "own") << " gave no bitmap";
    }
    const auto facts = [](FIBITMAP* dib) {
        return std::tuple{FreeImage_GetImageType(dib),       FreeImage_GetWidth(dib),
                          FreeImage_GetHeight(dib),          FreeImage_GetBPP(dib),
                          FreeImage_GetPitch(dib),           FreeImage_GetRedMask(dib),
                          FreeImage_GetGreenMask(dib),       FreeImage_GetBlueMask(dib),
                          FreeImage_GetColorsUsed(dib),      FreeImage_GetColorType(dib),
                          FreeImage_IsTransparent(dib),      FreeImage_GetTransparencyCount(dib),
                          FreeImage_GetICCProfile(dib)->size};
    };
    if (facts(own) != facts(theirs)) {
        return ::testing::AssertionFailure()
               << "bpp " << FreeImage_GetBPP(own) << " against " << FreeImage_GetBPP(theirs)
               << ", or another of type, size, masks, colour type, transparency, profile";
    }
    const unsigned colours = FreeImage_GetColorsUsed(own);
    if (colours > 0 && std::memcmp(FreeImage_GetPalette(own), FreeImage_GetPalette(theirs),
                                   colours * sizeof(RGBQUAD)) != 0) {
        return ::testing::AssertionFailure() << "palettes differ";
    }
    const unsigned pitch = FreeImage_GetPitch(own);
    for (unsigned y = 0; y < FreeImage_GetHeight(own); ++y) {
        const BYTE* a = FreeImage_GetScanLine(own, int(y));
        const BYTE* b = FreeImage_GetScanLine(theirs, int(y));
        for (unsigned i = 0; i < pitch; ++i) {
            if (a[i] != b[i]) {
                return ::testing::AssertionFailure() << "scan line " << y << " byte " << i << ": "
                                                     << int(a[i]) << " against " << int(b[i]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// What decodeFile gives for a file: the status the decoder process replies with and the rows.
struct Decoded {
    Status status = Status::NoPicture;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rows;
    bool operator==(const Decoded&) const = default;
};

Decoded decodeWith(const QString& file, bool ownPngDecoding) {
    decode::setOwnPngDecoding(ownPngDecoding);
    Decoded out;
    const decode::Allocate allocate = [&out](std::uint32_t w, std::uint32_t h) {
        out.rows.assign(std::size_t{w} * 3 * h, 0);
        return decode::RgbTarget{out.rows.data(), std::size_t{w} * 3};
    };
    const QByteArray bytes = readBytes(file);
    out.status = decode::decodeFile(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())},
        FIF_PNG, 0, allocate, out.width, out.height);
    decode::setOwnPngDecoding(true);
    return out;
}

// A picture whose neighbouring pixels differ a little and sometimes a lot, alpha included.
QImage noisy(int width, int height, QImage::Format format) {
    QImage image(width, height, QImage::Format_ARGB32);
    std::uint32_t seed = 7;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int n = int(seed >> 26);
            image.setPixel(x, y,
                           qRgba((x * 5 + n) & 0xff, (y * 3 + n) & 0xff, (x + y + 4 * n) & 0xff,
                                 (x * 9 + 64 + n) & 0xff));
        }
    }
    return image.convertToFormat(format);
}

// An 8-bit grey FreeImage picture of the image's green.
DibPtr greyDib(const QImage& image) {
    DibPtr dib(FreeImage_Allocate(image.width(), image.height(), 8));
    RGBQUAD* palette = FreeImage_GetPalette(dib.get());
    for (int i = 0; i < 256; ++i) {
        palette[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    }
    for (int y = 0; y < image.height(); ++y) {
        BYTE* row = FreeImage_GetScanLine(dib.get(), image.height() - 1 - y);
        for (int x = 0; x < image.width(); ++x) {
            row[x] = BYTE(qGreen(image.pixel(x, y)));
        }
    }
    return dib;
}

QByteArray withByte(QByteArray bytes, qsizetype at, char value) {
    bytes[at] = value;
    return bytes;
}

class OwnPngDecoding : public ::testing::Test {
protected:
    void TearDown() override { decode::setOwnPngDecoding(true); }

    // Names are of files in the folder; a file already written there is written again.
    QString write(const QString& name, const QByteArray& bytes) const {
        const QString file = QFileInfo(name).isAbsolute() ? name : dir.filePath(name);
        EXPECT_TRUE(writeBytes(file, bytes)) << name.toStdString();
        return file;
    }

    // Decoded on its own into FreeImage's bitmap, and decodeFile gives the same picture with and
    // without the own decoding.
    ::testing::AssertionResult matchesFreeImage(const QString& name, const QByteArray& bytes) {
        const QString file = write(name, bytes);
        const DibPtr own = ownDecode(bytes);
        if (!own) {
            return ::testing::AssertionFailure() << name.toStdString() << " was left to FreeImage";
        }
        const DibPtr theirs(FreeImage_Load(FIF_PNG, QFile::encodeName(file).constData(), 0));
        ::testing::AssertionResult same = sameBitmap(own.get(), theirs.get());
        if (!same) {
            return same << " in " << name.toStdString();
        }
        const Decoded withOwn = decodeWith(file, true);
        if (withOwn.status != Status::Picture || !(withOwn == decodeWith(file, false))) {
            return ::testing::AssertionFailure()
                   << name.toStdString() << ": decodeFile differs with the own decoding";
        }
        return ::testing::AssertionSuccess();
    }

    // Not decoded on its own, and decodeFile gives what FreeImage alone gives, which is expected.
    ::testing::AssertionResult leftToFreeImage(const QString& name, const QByteArray& bytes,
                                               Status expected) {
        const QString file = write(name, bytes);
        if (ownDecode(bytes)) {
            return ::testing::AssertionFailure() << name.toStdString() << " was decoded on its own";
        }
        const Decoded withOwn = decodeWith(file, true);
        if (!(withOwn == decodeWith(file, false))) {
            return ::testing::AssertionFailure()
                   << name.toStdString() << ": decodeFile differs with the own decoding";
        }
        if (withOwn.status != expected) {
            return ::testing::AssertionFailure()
                   << name.toStdString() << ": status " << int(withOwn.status) << ", expected "
                   << int(expected);
        }
        return ::testing::AssertionSuccess();
    }

    QTemporaryDir dir;
};

TEST_F(OwnPngDecoding, EveryFilterOnEveryKindAndWidthMatchesFreeImage) {
    const std::vector<std::vector<int>> filterSets{{0}, {1}, {2}, {3}, {4}, {4, 3, 2, 1, 0}};
    const std::array<int, 4> idatSizes{0, 1, 5, 97};
    int made = 0;
    for (int colourType : {0, 2, 6}) {
        for (int width : {1, 3, 7, 4001}) {
            for (int height : {1, 9}) {
                for (const std::vector<int>& filters : filterSets) {
                    HandMadePng png;
                    png.width = width;
                    png.height = width > 100 ? height / 2 + 1 : height;
                    png.colourType = colourType;
                    png.filters = filters;
                    png.idatBytes = idatSizes[std::size_t(made++) % idatSizes.size()];
                    const QString name = QStringLiteral("t%1-%2x%3-f%4-i%5.png")
                                             .arg(colourType)
                                             .arg(png.width)
                                             .arg(png.height)
                                             .arg(filters.size() == 1 ? filters[0] : 9)
                                             .arg(png.idatBytes);
                    EXPECT_TRUE(matchesFreeImage(name, handMadePng(png)));
                }
            }
        }
    }
}

TEST_F(OwnPngDecoding, FilesOfFreeImageAndQtMatchFreeImage) {
    const QImage image = noisy(333, 211, QImage::Format_ARGB32);
    const DibPtr rgb = dibFromImage(image);
    const DibPtr rgba = dibFromImage(image, true);
    const DibPtr grey = greyDib(image);
    for (const auto& [kind, dib] : {std::pair{"rgb", rgb.get()}, std::pair{"rgba", rgba.get()},
                                    std::pair{"grey", grey.get()}}) {
        for (int flags : {0, PNG_Z_BEST_SPEED, PNG_Z_BEST_COMPRESSION, PNG_Z_NO_COMPRESSION}) {
            const QString file = dir.filePath(QStringLiteral("fi-%1-%2.png").arg(kind).arg(flags));
            ASSERT_TRUE(saveDib(dib, FIF_PNG, file, flags));
            EXPECT_TRUE(matchesFreeImage(file, readBytes(file)));
        }
    }
    // With a profile that changes the colours: converted alike either way.
    const QByteArray p3 = test::profiles::displayP3Profile();
    FreeImage_CreateICCProfile(rgb.get(), const_cast<char*>(p3.constData()), long(p3.size()));
    const QString profiled = dir.filePath(QStringLiteral("fi-p3.png"));
    ASSERT_TRUE(saveDib(rgb.get(), FIF_PNG, profiled));
    ASSERT_TRUE(readBytes(profiled).contains("iCCP"));
    EXPECT_TRUE(matchesFreeImage(profiled, readBytes(profiled)));

    for (const auto& [kind, format] :
         {std::pair{"rgb", QImage::Format_RGB32}, std::pair{"rgba", QImage::Format_ARGB32},
          std::pair{"grey", QImage::Format_Grayscale8}}) {
        for (bool wide : {false, true}) {
            QImage picture = noisy(257, 130, format);
            if (wide) {
                picture.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
            }
            const QString file = dir.filePath(QStringLiteral("qt-%1-%2.png").arg(kind).arg(wide));
            ASSERT_TRUE(picture.save(file, "PNG"));
            EXPECT_TRUE(matchesFreeImage(file, readBytes(file)));
        }
    }
}

TEST_F(OwnPngDecoding, ChunksThatChangeNoPixelsAreReadPast) {
    const QByteArray exif("MM\0*\0\0\0\x08\0\0", 10);
    QByteArray time;
    putBe16(time, 2024);
    time += QByteArray("\x05\x11\x0c\x22\x08", 5);
    QByteArray physical;
    putBe32(physical, 3780);
    putBe32(physical, 3780);
    physical.append(char(1));
    QByteArray chromaticities;
    for (std::uint32_t v : {31270u, 32900u, 64000u, 33000u, 30000u, 60000u, 15000u, 6000u}) {
        putBe32(chromaticities, v);
    }
    const QByteArray p3 = test::profiles::displayP3Profile();
    const QByteArray iccp = pngChunk("iCCP", QByteArray("P3\0\0", 4) + zlibStream(p3));
    for (int colourType : {0, 2, 6}) {
        HandMadePng png;
        png.width = 23;
        png.height = 17;
        png.colourType = colourType;
        png.filters = {1, 4, 2, 3, 0};
        // sBIT says fewer bits were significant; FreeImage leaves the samples as they are.
        const QByteArray significant = colourType == 0   ? QByteArray("\x05", 1)
                                       : colourType == 2 ? QByteArray("\x05\x06\x05", 3)
                                                         : QByteArray("\x05\x06\x05\x04", 4);
        const QByteArray background =
            colourType == 0 ? QByteArray("\0\x80", 2) : QByteArray("\0\x10\0\x20\0\x30", 6);
        png.beforeIdat = (colourType == 0 ? QByteArray() : iccp) +
                         pngChunk("cHRM", chromaticities) + pngChunk("sBIT", significant) +
                         pngChunk("bKGD", background) + pngChunk("pHYs", physical) +
                         pngChunk("tIME", time) + pngChunk("eXIf", exif) +
                         pngChunk("tEXt", QByteArray("Title\0Bild", 10)) +
                         pngChunk("zTXt", QByteArray("Comment\0\0", 9) + zlibStream("Kommentar")) +
                         pngChunk("iTXt", QByteArray("Author\0\0\0de\0Autor\0Jemand", 24));
        png.afterIdat = pngChunk("tEXt", QByteArray("Source\0Test", 11)) + pngChunk("tIME", time);
        EXPECT_TRUE(
            matchesFreeImage(QStringLiteral("chunks%1.png").arg(colourType), handMadePng(png)));
    }
    // sRGB; bytes after IEND, which no reader looks at.
    HandMadePng png;
    png.beforeIdat = pngChunk("sRGB", QByteArray(1, '\0'));
    EXPECT_TRUE(matchesFreeImage(QStringLiteral("srgb.png"), handMadePng(png)));
    EXPECT_TRUE(matchesFreeImage(QStringLiteral("trailing.png"), handMadePng(png) + "trailer"));
    // A small zlib window is fine where the rows fit into it.
    png = HandMadePng{.width = 9, .height = 9, .filters = {4}, .windowBits = 9};
    EXPECT_TRUE(matchesFreeImage(QStringLiteral("window.png"), handMadePng(png)));
}

TEST_F(OwnPngDecoding, KindsWhosePixelsItDoesNotReproduceAreLeftToFreeImage) {
    const HandMadePng plain{.width = 21, .height = 13, .filters = {4, 1, 2}};
    HandMadePng png = plain;
    png.interlaced = true;
    EXPECT_TRUE(
        leftToFreeImage(QStringLiteral("interlaced.png"), handMadePng(png), Status::Picture));
    png = plain;
    png.bitDepth = 16;
    EXPECT_TRUE(leftToFreeImage(QStringLiteral("deep.png"), handMadePng(png), Status::Picture));
    png = plain;
    png.colourType = 4;
    EXPECT_TRUE(
        leftToFreeImage(QStringLiteral("greyalpha.png"), handMadePng(png), Status::Picture));
    png = plain;
    png.beforeIdat = pngChunk("tRNS", QByteArray("\0\x03\0\x08\0\x0d", 6));
    EXPECT_TRUE(leftToFreeImage(QStringLiteral("trns.png"), handMadePng(png), Status::Picture));
    png = plain;
    png.colourType = 0;
    png.beforeIdat = pngChunk("tRNS", QByteArray("\0\x03", 2));
    EXPECT_TRUE(leftToFreeImage(QStringLiteral("greytrns.png"), handMadePng(png), Status::Picture));
    for (std::uint32_t gamma : {45455u, 100000u}) {
        png = plain;
        QByteArray value;
        putBe32(value, gamma);
        png.beforeIdat = pngChunk("gAMA", value);
        EXPECT_TRUE(leftToFreeImage(QStringLiteral("gamma%1.png").arg(gamma), handMadePng(png),
                                    Status::Picture));
    }
    png = plain;
    png.beforeIdat = pngChunk("PLTE", QByteArray("\x10\x20\x30\x40\x50\x60", 6));
    EXPECT_TRUE(
        leftToFreeImage(QStringLiteral("suggested.png"), handMadePng(png), Status::Picture));
    png = plain;
    png.beforeIdat = pngChunk("quIl", QByteArray("unknown"));
    EXPECT_TRUE(leftToFreeImage(QStringLiteral("unknown.png"), handMadePng(png), Status::Picture));
    png = plain;
    png.beforeIdat = pngChunk("QUIL", QByteArray("critical"));
    EXPECT_TRUE(
        leftToFreeImage(QStringLiteral("critical.png"), handMadePng(png), Status::NoPicture));

    // Palette and 1-bit pictures as FreeImage writes them.
    for (unsigned bpp : {8u, 1u}) {
        const QString file = dir.filePath(QStringLiteral("palette%1.png").arg(bpp));
        ASSERT_TRUE(saveDib(paletteDib(bpp).get(), FIF_PNG, file));
        EXPECT_TRUE(leftToFreeImage(file, readBytes(file), Status::Picture));
    }
}

TEST_F(OwnPngDecoding, DamagedFilesAreLeftToFreeImage) {
    const HandMadePng png{.width = 19, .height = 11, .colourType = 6, .filters = {4, 3}};
    const QByteArray rows = pngFilteredData(png);
    const QByteArray stream = zlibStream(rows);
    const QByteArray good = pngFile(png, stream);
    ASSERT_TRUE(matchesFreeImage(QStringLiteral("good.png"), good));
    const qsizetype idat = good.indexOf("IDAT");
    const qsizetype iend = good.indexOf("IEND");
    const qsizetype text = 8 + 25; // where the chunk after IHDR starts
    const auto flip = [](QByteArray bytes, qsizetype at) {
        bytes[at] = char(bytes[at] ^ 0x01);
        return bytes;
    };

    // What FreeImage gives no picture for.
    const QByteArray badFilter = withByte(rows, (19 * 4 + 1) * 5, 5);
    const QByteArray badAdler = withByte(stream, stream.size() - 1, char(stream.back() ^ 0x40));
    HandMadePng split = png;
    split.idatBytes = 40;
    const QByteArray splitFile = pngFile(split, stream);
    const qsizetype secondIdat = splitFile.indexOf("IDAT", splitFile.indexOf("IDAT") + 1) - 4;
    for (const auto& [name, bytes] : {
             std::pair{"idat-crc", flip(good, idat + 10)},
             std::pair{"ihdr-crc", flip(good, 8 + 21)},
             std::pair{"iend-crc", flip(good, iend + 5)},
             std::pair{"cut-in-idat", good.left(idat + 30)},
             std::pair{"cut-before-iend", good.left(iend - 4)},
             std::pair{"no-iend", good.left(iend - 4) + pngChunk("tEXt", QByteArray("a\0b", 3))},
             std::pair{"short-stream", pngFile(png, zlibStream(rows.left(rows.size() - 77)))},
             std::pair{"bad-filter", pngFile(png, zlibStream(badFilter))},
             std::pair{"adler", pngFile(png, badAdler)},
             std::pair{"idat-split-by-text",
                       splitFile.left(secondIdat) + pngChunk("tEXt", QByteArray("a\0b", 3)) +
                           splitFile.mid(secondIdat)},
             std::pair{"ihdr-not-first", QByteArray("\x89PNG\r\n\x1a\n", 8) +
                                             pngChunk("tEXt", QByteArray("a\0b", 3)) +
                                             good.mid(8)},
             std::pair{"method-1", [&] {
                           QByteArray bytes = good;
                           bytes[8 + 8 + 10] = 1; // compression method
                           return bytes.left(8) + pngChunk("IHDR", bytes.mid(16, 13)) +
                                  bytes.mid(8 + 25);
                       }()},
         }) {
        EXPECT_TRUE(leftToFreeImage(QString::fromLatin1(name), bytes, Status::NoPicture));
    }

    // What FreeImage reads past with a warning: the own decoding reads none of it.
    for (const auto& [name, bytes] : {
             std::pair{"text-crc", flip(good.left(text) + pngChunk("tEXt", QByteArray("a\0b", 3)) +
                                            good.mid(text),
                                        text + 9)},
             std::pair{"after-stream", pngFile(png, stream + QByteArray(3, '\x11'))},
             std::pair{"long-stream", pngFile(png, zlibStream(rows + rows.left(77)))},
         }) {
        EXPECT_TRUE(leftToFreeImage(QString::fromLatin1(name), bytes, Status::Picture));
    }

    // A zlib window smaller than the rows: zlib holds a stream to it and libdeflate does not, so
    // such files are left to FreeImage even where the stream keeps to its window.
    const HandMadePng small{.width = 40, .height = 30, .windowBits = 9};
    const QByteArray smallWindow = handMadePng(small);
    EXPECT_TRUE(leftToFreeImage(QStringLiteral("window.png"), smallWindow, Status::Picture));

    // Sizes libpng or the pixel limit refuse, with just enough data to look whole.
    const HandMadePng wide{.width = 1000001, .height = 1, .colourType = 0};
    EXPECT_TRUE(leftToFreeImage(QStringLiteral("wide.png"), handMadePng(wide), Status::NoPicture));
    HandMadePng huge{.width = 20000, .height = 20000, .colourType = 0};
    const QByteArray hugeFile = pngFile(huge, zlibStream(QByteArray(20001, '\0')));
    EXPECT_TRUE(leftToFreeImage(QStringLiteral("huge.png"), hugeFile, Status::Refused));
}

// Text and data beyond the rows are never inflated: the text chunks are blanked and the data cut
// to the rows before FreeImage sees the file, and the picture is the one without them. A stream
// that goes on without an end shows that nothing reads it to its end: libpng would refuse it.
TEST_F(OwnPngDecoding, TextAndDataBeyondTheRowsAreNeverInflated) {
    const QByteArray bomb = test::costly::textBomb(3 << 20);
    const QByteArray wideBomb = test::costly::textBomb(3 << 20, true);
    const struct {
        const char* what;
        HandMadePng png;
        std::int64_t surplus;
        bool ended;
    } cases[] = {
        {"text before the rows", {.beforeIdat = bomb + wideBomb}, 0, true},
        {"text after 16-bit rows", {.bitDepth = 16, .afterIdat = wideBomb + bomb}, 0, true},
        {"surplus", {.filters = {4}}, 8 << 20, true},
        {"surplus of an interlaced picture", {.colourType = 6, .interlaced = true}, 1 << 20, true},
        {"surplus without an end", {.colourType = 0, .beforeIdat = bomb}, 1 << 20, false},
    };
    for (const auto& [what, png, surplus, ended] : cases) {
        const QByteArray rows = pngFilteredData(png);
        const QByteArray bytes = pngFile(png, test::costly::zlibWithZeros(rows, surplus, ended));
        std::vector<std::uint8_t> prepared(bytes.begin(), bytes.end());
        const decode::PngFacts facts = decode::preparePngForLoader(prepared);
        const QByteArray kept(reinterpret_cast<const char*>(prepared.data()),
                              qsizetype(prepared.size()));
        EXPECT_EQ(facts.surplusCut, surplus > 0) << what;
        for (const char* text : {"tEXt", "zTXt", "iTXt"}) {
            EXPECT_FALSE(kept.contains(text)) << what << " keeps " << text;
        }
        HandMadePng plain = png;
        plain.beforeIdat = plain.afterIdat = QByteArray();
        const Decoded want =
            decodeWith(write(QStringLiteral("plain.png"), handMadePng(plain)), false);
        ASSERT_EQ(want.status, Status::Picture) << what;
        const QString file = write(QStringLiteral("costly.png"), bytes);
        EXPECT_EQ(decodeWith(file, true), want) << what;
        EXPECT_EQ(decodeWith(file, false), want) << what;
    }
}

// A gAMA chunk is applied to every kind at 8-bit precision (as libpng does for 8-bit grey and
// colour), unless an sRGB chunk says the levels are sRGB's already.
TEST_F(OwnPngDecoding, GammaIsAppliedAlikeToEveryKind) {
    struct Kind {
        int colourType;
        int bitDepth;
    };
    const Kind kinds[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {3, 1},
                          {3, 2}, {3, 4}, {3, 8}, {2, 8}, {6, 8}};
    for (const bool srgb : {false, true}) {
        for (const auto& [colourType, bitDepth] : kinds) {
            // One row of every level the depth has (at most 16 of them), grey throughout.
            const int levels = std::min(1 << std::min(bitDepth, 8), 16);
            const int top = (1 << std::min(bitDepth, 8)) - 1;
            const int channels = colourType == 2 ? 3 : colourType == 6 ? 4 : 1;
            QByteArray row(1, '\0'), palette;
            std::vector<int> grey;
            for (int i = 0; i < levels; ++i) {
                const int sample = i * top / (levels - 1);
                grey.push_back(sample * 255 / top);
                palette += QByteArray(3, char(grey.back()));
                const int index = colourType == 3 ? i : sample;
                if (bitDepth < 8) {
                    if (i * bitDepth % 8 == 0) {
                        row.append('\0');
                    }
                    row.back() = char(row.back() | index << (8 - bitDepth - i * bitDepth % 8));
                } else {
                    for (int c = 0; c < channels; ++c) {
                        row.append(char(c == 3 ? 255 : index));
                        if (bitDepth == 16) {
                            row.append(char(index));
                        }
                    }
                }
            }
            HandMadePng png{
                .width = levels, .height = 1, .colourType = colourType, .bitDepth = bitDepth};
            QByteArray gamma;
            putBe32(gamma, 100000); // linear levels
            png.beforeIdat = pngChunk("gAMA", gamma) +
                             (srgb ? pngChunk("sRGB", QByteArray(1, '\0')) : QByteArray()) +
                             (colourType == 3 ? pngChunk("PLTE", palette) : QByteArray());
            const QString file = write(QStringLiteral("gamma.png"), pngFile(png, zlibStream(row)));
            const Decoded decoded = decodeWith(file, true);
            ASSERT_EQ(decoded.status, Status::Picture) << colourType << "/" << bitDepth;
            for (int i = 0; i < levels; ++i) {
                // libpng's exponent for a linear file on a display of gamma 2.2, in its fixed
                // point; 16-bit samples are corrected before they are cut to 8 bits.
                const double light = std::pow(grey[std::size_t(i)] / 255.0, 0.45455);
                const int want = srgb ? grey[std::size_t(i)] : int(std::floor(255 * light + 0.5));
                EXPECT_NEAR(decoded.rows[std::size_t(i) * 3], want, bitDepth == 16 ? 1 : 0)
                    << "type " << colourType << ", " << bitDepth << " bits, level " << i
                    << (srgb ? ", sRGB" : "");
            }
        }
    }
}

// A grey picture's tRNS value turns those pixels white at every depth, the level widened to 8
// bits like the pixels, with sRGB levels as with none.
TEST_F(OwnPngDecoding, TheTransparentGreyTurnsWhiteAtEveryDepth) {
    for (const bool srgb : {false, true}) {
        for (const int bitDepth : {1, 2, 4, 8}) {
            const int levels = std::min(1 << bitDepth, 16);
            const int top = (1 << bitDepth) - 1;
            const int clear = levels / 2; // a level whose stored and widened values differ
            QByteArray row(1, '\0');
            for (int i = 0; i < levels; ++i) {
                const int sample = i * top / (levels - 1);
                if (i * bitDepth % 8 == 0) {
                    row.append('\0');
                }
                row.back() = char(row.back() | sample << (8 - bitDepth - i * bitDepth % 8));
            }
            HandMadePng png{.width = levels, .height = 1, .colourType = 0, .bitDepth = bitDepth};
            QByteArray key;
            putBe32(key, std::uint32_t(clear * top / (levels - 1)) << 16);
            png.beforeIdat = (srgb ? pngChunk("sRGB", QByteArray(1, '\0')) : QByteArray()) +
                             pngChunk("tRNS", key.left(2));
            const QString file = write(QStringLiteral("key.png"), pngFile(png, zlibStream(row)));
            const Decoded decoded = decodeWith(file, true);
            ASSERT_EQ(decoded.status, Status::Picture) << bitDepth;
            for (int i = 0; i < levels; ++i) {
                EXPECT_EQ(decoded.rows[std::size_t(i) * 3],
                          i == clear ? 255 : i * 255 / (levels - 1))
                    << bitDepth << " bits, level " << i;
            }
        }
    }
}

TEST_F(OwnPngDecoding, TheDecoderProcessGivesFreeImagesPictures) {
    startDecoderService();
    const HandMadePng png{.width = 45, .height = 31, .colourType = 6, .filters = {4, 3, 1}};
    const QString file = write(QStringLiteral("process.png"), handMadePng(png));
    const Decoded theirs = decodeWith(file, false);
    ASSERT_EQ(theirs.status, Status::Picture);
    QImage picture;
    ASSERT_EQ(decodeInDecoderProcess(file, FIF_PNG, 0, picture), DecoderResult::Picture);
    ASSERT_EQ(picture.size(), QSize(45, 31));
    for (int y = 0; y < 31; ++y) {
        EXPECT_EQ(std::memcmp(picture.constScanLine(y), theirs.rows.data() + y * 45 * 3, 45 * 3), 0)
            << "row " << y;
    }
    const QByteArray rows = pngFilteredData(png);
    const QString damaged =
        write(QStringLiteral("damaged.png"), pngFile(png, zlibStream(withByte(rows, 0, 7))));
    EXPECT_EQ(decodeInDecoderProcess(damaged, FIF_PNG, 0, picture), DecoderResult::NoPicture);
    stopDecoderService();
}

} // namespace
} // namespace quill
