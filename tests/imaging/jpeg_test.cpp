// The shared JPEG object: what the written files contain (read back with libjpeg), decoding of
// every JPEG colour space, the progressive flag across files, and failed writes that must leave
// nothing behind.

#include "LoadingExpect.h"
#include "PhotoFixtures.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <jerror.h>

namespace quill {
namespace {

using namespace test::fixtures;
using test::photos::encodeJpeg;

// A noisy picture, so that every quantisation table entry matters.
QImage photo(int width = 64, int height = 48) {
    QImage image(width, height, QImage::Format_RGB888);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x) {
            seed = seed * 1103515245u + 12345u;
            row[x] = uchar((x * 3 + y * 5) / 2 + ((seed >> 16) & 31));
        }
    }
    return image;
}

// Reads a JPEG's header with plain libjpeg (our own, well-formed files only).
struct Header {
    Header(const QByteArray& bytes) {
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&info, TRUE);
    }
    ~Header() { jpeg_destroy_decompress(&info); }
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
};

class Jpeg : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDecoderService(); }
    static void TearDownTestSuite() { stopDecoderService(); }

    QString path(const QString& name) const { return dir.filePath(name); }

    QByteArray save(TJPEGImage& jpeg, const QImage& image, const QString& name) const {
        jpeg.Assign(image);
        jpeg.SaveToFile(path(name));
        return readBytes(path(name));
    }

    QImage decode(const QString& file) {
        TJPEGImage reader;
        reader.LoadFromFile(file);
        QImage out;
        reader.AssignTo(out);
        return out;
    }

    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
};

TEST_F(Jpeg, DefaultsAndQualitySetting) {
    TJPEGImage jpeg;
    EXPECT_EQ(jpeg.CompressionQuality(), 90);
    EXPECT_FALSE(jpeg.ProgressiveEncoding());
    EXPECT_FALSE(jpeg.Grayscale());
    EXPECT_TRUE(jpeg.Smoothing());
    EXPECT_EQ(jpeg.Performance(), jpBestQuality);
    EXPECT_EQ(jpeg.PixelFormat(), jf24Bit); // the offscreen screen has 32 bits per pixel
    EXPECT_EQ(jpeg.Scale(), jsFullSize);
    EXPECT_FALSE(jpeg.ProgressiveDisplay());
    EXPECT_TRUE(jpeg.Empty());
    jpeg.SetCompressionQuality(57);
    EXPECT_EQ(jpeg.CompressionQuality(), 57);
    jpeg.SetCompressionQuality(0);
    EXPECT_EQ(jpeg.CompressionQuality(), 1);
    jpeg.SetCompressionQuality(250);
    EXPECT_EQ(jpeg.CompressionQuality(), 100);
    try {
        jpeg.SetWidth(10);
        ADD_FAILURE() << "the size was changed";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.text(),
                  QStringLiteral("Die Größe einer JPEG-Grafik kann nicht verändert werden"));
    }
}

TEST_F(Jpeg, WrittenFilesAreLibjpegDefaultsAtTheSliderQuality) {
    const QImage image = photo();
    for (int quality : {10, 57, 90, 100}) {
        TJPEGImage jpeg;
        jpeg.SetCompressionQuality(quality);
        const QByteArray bytes = save(jpeg, image, QStringLiteral("q.jpg"));
        const QByteArray reference = encodeJpeg(image, {.quality = quality});
        // Same bytes as libjpeg's defaults: standard Huffman tables, accurate integer DCT,
        // 2x2/1x1/1x1 sampling, no restart markers.
        EXPECT_EQ(bytes, reference) << quality;

        // The JFIF APP0 right after SOI: version 1.01, density unit 0, 1:1, no thumbnail.
        const QByteArray app0(
            "\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
        EXPECT_EQ(bytes.left(20), app0) << quality;

        Header header(bytes);
        const jpeg_decompress_struct& info = header.info;
        EXPECT_EQ(info.num_components, 3);
        EXPECT_EQ(info.jpeg_color_space, JCS_YCbCr);
        EXPECT_EQ(info.comp_info[0].h_samp_factor, 2);
        EXPECT_EQ(info.comp_info[0].v_samp_factor, 2);
        for (int c = 1; c < 3; ++c) {
            EXPECT_EQ(info.comp_info[c].h_samp_factor, 1);
            EXPECT_EQ(info.comp_info[c].v_samp_factor, 1);
        }
        EXPECT_EQ(info.restart_interval, 0u);
        EXPECT_FALSE(info.progressive_mode);
        EXPECT_FALSE(info.arith_code);
        EXPECT_EQ(info.data_precision, 8);
        // Quality scaling with forced baseline: libjpeg's tables, every entry within 1..255.
        jpeg_compress_struct expected{};
        jpeg_error_mgr errors{};
        expected.err = jpeg_std_error(&errors);
        jpeg_create_compress(&expected);
        expected.in_color_space = JCS_RGB;
        jpeg_set_defaults(&expected);
        jpeg_set_quality(&expected, quality, TRUE);
        for (int t = 0; t < 2; ++t) {
            ASSERT_NE(info.quant_tbl_ptrs[t], nullptr);
            for (int k = 0; k < DCTSIZE2; ++k) {
                EXPECT_EQ(info.quant_tbl_ptrs[t]->quantval[k],
                          expected.quant_tbl_ptrs[t]->quantval[k]);
                EXPECT_LE(info.quant_tbl_ptrs[t]->quantval[k], 255);
                EXPECT_GE(info.quant_tbl_ptrs[t]->quantval[k], 1);
            }
        }
        jpeg_destroy_compress(&expected);
    }
}

TEST_F(Jpeg, ColoursSurviveTheRoundTrip) {
    QImage red(16, 16, QImage::Format_RGB888);
    red.fill(qRgb(255, 0, 0));
    TJPEGImage jpeg;
    save(jpeg, red, QStringLiteral("red.jpg"));
    const QImage back = decode(path(QStringLiteral("red.jpg")));
    EXPECT_EQ(back.format(), QImage::Format_RGB888);
    EXPECT_TRUE(closeTo(back.pixel(8, 8), qRgb(255, 0, 0), 6));

    save(jpeg, quadrants(32, 32), QStringLiteral("quad.jpg"));
    EXPECT_TRUE(showsQuadrants(decode(path(QStringLiteral("quad.jpg"))), 32, 32, 12));

    // Any bitmap format is converted first: an ARGB picture writes its colours.
    save(jpeg, quadrants(32, 32).convertToFormat(QImage::Format_ARGB32),
         QStringLiteral("argb.jpg"));
    EXPECT_TRUE(showsQuadrants(decode(path(QStringLiteral("argb.jpg"))), 32, 32, 12));
}

TEST_F(Jpeg, GreyscaleInputIsWrittenAsNeutralYCbCr) {
    QImage grey(32, 16, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) {
        table << qRgb(i, i, i);
    }
    grey.setColorTable(table);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            grey.setPixel(x, y, uint(x * 8));
        }
    }
    TJPEGImage jpeg;
    const QByteArray bytes = save(jpeg, grey, QStringLiteral("grey.jpg"));
    {
        Header header(bytes);
        EXPECT_EQ(header.info.num_components, 3);
        EXPECT_EQ(header.info.jpeg_color_space, JCS_YCbCr);
    }
    const QImage back = decode(path(QStringLiteral("grey.jpg")));
    ASSERT_EQ(back.format(), QImage::Format_RGB888);
    for (int x = 2; x < 30; x += 7) {
        const QRgb c = back.pixel(x, 8);
        EXPECT_LE(std::abs(qRed(c) - qBlue(c)), 3) << x;
        EXPECT_LE(std::abs(qRed(c) - qGreen(c)), 3) << x;
    }
}

TEST_F(Jpeg, GreyscaleFilesDecodeToAtMost236GreyLevels) {
    std::vector<std::uint8_t> ramp(256 * 8);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 256; ++x) {
            ramp[std::size_t(y * 256 + x)] = std::uint8_t(x);
        }
    }
    writeBytes(path(QStringLiteral("ramp.jpg")),
               encodeJpeg(ramp.data(), 256, 256, 8, JCS_GRAYSCALE,
                          {.quality = 95, .stored = JCS_GRAYSCALE}));
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path(QStringLiteral("ramp.jpg")));
    EXPECT_TRUE(jpeg.Data().Grayscale);
    QImage back;
    jpeg.AssignTo(back);
    ASSERT_EQ(back.format(), QImage::Format_Indexed8);
    EXPECT_LE(back.colorCount(), 236);
    EXPECT_GT(back.colorCount(), 100);
    for (QRgb entry : back.colorTable()) {
        EXPECT_TRUE(qRed(entry) == qGreen(entry) && qGreen(entry) == qBlue(entry));
    }
    EXPECT_LE(std::abs(qGray(back.pixel(10, 4)) - 10), 6);
    EXPECT_LE(std::abs(qGray(back.pixel(200, 4)) - 200), 6);
}

TEST_F(Jpeg, CmykAndYcckFilesDecodeToTheirRgbColours) {
    // Adobe-style inverted inks: red, green, blue, white in four 8-pixel columns.
    const std::array<std::array<std::uint8_t, 4>, 4> inks{{
        {255, 0, 0, 255}, // C 0, M 100 %, Y 100 %, K 0 -> red
        {0, 255, 0, 255}, // green
        {0, 0, 255, 255}, // blue
        {255, 255, 255, 255},
    }};
    std::vector<std::uint8_t> samples;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            const auto& ink = inks[std::size_t(x / 8)];
            samples.insert(samples.end(), ink.begin(), ink.end());
        }
    }
    const std::array<QRgb, 4> expected{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                       qRgb(255, 255, 255)};
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        writeBytes(path(QStringLiteral("ink.jpg")),
                   encodeJpeg(samples.data(), 32 * 4, 32, 16, JCS_CMYK,
                              {.quality = 95, .stored = stored}));
        const QImage back = decode(path(QStringLiteral("ink.jpg")));
        ASSERT_EQ(back.format(), QImage::Format_RGB888);
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(closeTo(back.pixel(8 * i + 4, 8), expected[std::size_t(i)], 10))
                << stored << " column " << i;
        }
    }
}

// The decoder process reads the header and decodes in one request; the program holds no byte.
TEST_F(Jpeg, LoadTellsTheHeaderAndHoldsNoByteOfTheFile) {
    TJPEGImage writer;
    save(writer, photo(40, 30), QStringLiteral("h.jpg"));
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path(QStringLiteral("h.jpg")));
    EXPECT_EQ(jpeg.Width(), 40);
    EXPECT_EQ(jpeg.Height(), 30);
    EXPECT_FALSE(jpeg.Data().Grayscale);
    EXPECT_TRUE(jpeg.Data().Data.isEmpty());
    QImage out;
    jpeg.AssignTo(out);
    EXPECT_EQ(out.size(), QSize(40, 30));
    EXPECT_FALSE(jpeg.Bitmap().isNull());
}

TEST_F(Jpeg, LoadFailuresCarryTheirTexts) {
    TJPEGImage jpeg;
    const QString missing = path(QStringLiteral("fehlt.jpg"));
    try {
        jpeg.LoadFromFile(missing);
        ADD_FAILURE() << "a missing file loaded";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.text(), QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(missing));
    }
    writeBytes(path(QStringLiteral("text.jpg")), QByteArray("just some text"));
    try {
        jpeg.LoadFromFile(path(QStringLiteral("text.jpg")));
        ADD_FAILURE() << "text loaded as JPEG";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.messageCode(), JERR_NO_SOI);
        EXPECT_EQ(e.text(), QStringLiteral("JPEG-Fehler #%1").arg(int(JERR_NO_SOI)));
    }
    // A file cut after its header decodes the available rows (libjpeg pads, with a warning).
    TJPEGImage writer;
    const QByteArray whole = save(writer, photo(), QStringLiteral("whole.jpg"));
    writeBytes(path(QStringLiteral("cut.jpg")), whole.left(whole.size() / 2));
    const QImage cut = decode(path(QStringLiteral("cut.jpg")));
    EXPECT_EQ(cut.size(), QSize(64, 48));
}

TEST_F(Jpeg, ProgressiveFlagFollowsTheLastJpegRead) {
    TJPEGImage writer;
    writer.SetProgressiveEncoding(true);
    save(writer, photo(), QStringLiteral("in-progressive.jpg"));
    writer.SetProgressiveEncoding(false);
    save(writer, photo(), QStringLiteral("in-baseline.jpg"));
    DibPtr png = dibFromImage(quadrants());
    ASSERT_TRUE(saveDib(png.get(), FIF_PNG, path(QStringLiteral("in.png"))));
    writeBytes(path(QStringLiteral("broken.jpg")), QByteArray("no jpeg"));

    TJPEGImage shared;
    QImage working;
    const auto convert = [&](const QString& input, const QString& output) {
        EXPECT_EQ(LoadPictureFile(working, shared, path(input)), LoadOk) << input.toStdString();
        shared.Assign(working);
        shared.SaveToFile(path(output));
        Header header(readBytes(path(output)));
        return bool(header.info.progressive_mode);
    };
    EXPECT_FALSE(convert(QStringLiteral("in.png"), QStringLiteral("o0.jpg"))); // before any JPEG
    EXPECT_TRUE(convert(QStringLiteral("in-progressive.jpg"), QStringLiteral("o1.jpg")));
    EXPECT_EQ(readBytes(path(QStringLiteral("o1.jpg"))),
              encodeJpeg(working, {.progression = test::photos::Progression::Simple,
                                   .quality = 90})); // libjpeg's simple progression
    EXPECT_TRUE(convert(QStringLiteral("in.png"), QStringLiteral("o2.jpg")));
    EXPECT_EQ(LoadPictureFile(working, shared, path(QStringLiteral("broken.jpg"))),
              LoadInvalidJpeg);
    EXPECT_TRUE(shared.ProgressiveEncoding()); // a failed header read keeps the flag
    EXPECT_FALSE(convert(QStringLiteral("in-baseline.jpg"), QStringLiteral("o3.jpg")));
    EXPECT_FALSE(convert(QStringLiteral("in.png"), QStringLiteral("o4.jpg")));
}

TEST_F(Jpeg, SavingReplacesAnExistingFileKeepingItsMode) {
    const QString target = path(QStringLiteral("out.jpg"));
    writeBytes(target, QByteArray("old contents"));
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    TJPEGImage jpeg;
    const QByteArray bytes = save(jpeg, photo(), QStringLiteral("out.jpg"));
    EXPECT_TRUE(bytes.startsWith("\xff\xd8"));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("out.jpg")});

    // Through a link: the link stays, its target gets the picture.
    const QString real = path(QStringLiteral("real.jpg"));
    writeBytes(real, QByteArray("old"));
    ASSERT_TRUE(QFile::link(real, path(QStringLiteral("link.jpg"))));
    jpeg.SaveToFile(path(QStringLiteral("link.jpg")));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("link.jpg"))).isSymLink());
    EXPECT_EQ(readBytes(real), bytes);
}

TEST_F(Jpeg, FailedWritesLeaveTheExistingFileAndNothingElse) {
    const QString target = path(QStringLiteral("keep.jpg"));
    const QByteArray old("the previous output, byte for byte");
    writeBytes(target, old);

    // The encoder fails: wider than JPEG allows.
    TJPEGImage jpeg;
    jpeg.Assign(QImage(65501, 1, QImage::Format_RGB888));
    try {
        jpeg.SaveToFile(target);
        ADD_FAILURE() << "an oversized picture was written";
    } catch (const EJPEG& e) {
        EXPECT_EQ(e.messageCode(), JERR_IMAGE_TOO_BIG);
    }
    EXPECT_EQ(readBytes(target), old);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("keep.jpg")});

    // An empty bitmap is no JPEG: no empty file replaces the old one.
    jpeg.Assign(QImage());
    EXPECT_THROW(jpeg.SaveToFile(target), EJPEG);
    EXPECT_EQ(readBytes(target), old);

    // The file system refuses the write part-way (a file size limit holds even for root).
    {
        struct Limit {
            Limit() {
                ::getrlimit(RLIMIT_FSIZE, &saved);
                previous = std::signal(SIGXFSZ, SIG_IGN);
                rlimit small = saved;
                small.rlim_cur = 100;
                ::setrlimit(RLIMIT_FSIZE, &small);
            }
            ~Limit() {
                ::setrlimit(RLIMIT_FSIZE, &saved);
                std::signal(SIGXFSZ, previous);
            }
            rlimit saved{};
            void (*previous)(int) = nullptr;
        } limit;
        jpeg.Assign(photo());
        try {
            jpeg.SaveToFile(target);
            ADD_FAILURE() << "the write was not refused";
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("Datei %1 kann nicht erstellt werden").arg(target));
        }
    }
    EXPECT_EQ(readBytes(target), old);
    EXPECT_EQ(entries(), QStringList{QStringLiteral("keep.jpg")});

    // The folder does not exist.
    const QString nowhere = path(QStringLiteral("missing/out.jpg"));
    EXPECT_THROW(jpeg.SaveToFile(nowhere), EFCreateError);
    // The name belongs to a folder.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.jpg")));
    EXPECT_THROW(jpeg.SaveToFile(path(QStringLiteral("folder.jpg"))), EFCreateError);
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("folder.jpg"))).isDir());
    EXPECT_EQ(entries(), (QStringList{QStringLiteral("folder.jpg"), QStringLiteral("keep.jpg")}));
    EXPECT_TRUE(QDir(path(QStringLiteral("folder.jpg"))).isEmpty());
}

} // namespace
} // namespace quill

namespace quill {

TEST_F(Jpeg, EveryNameTheFileSystemAllowsIsWrittenAndNoTemporaryStays) {
    TJPEGImage jpeg;
    const QImage picture = quadrants(16, 8);
    // 248 to 255 bytes: a temporary name longer than the output's would not fit.
    for (const int length : {8, 200, 248, 251, 255}) {
        const QString name = QString(length - 4, QLatin1Char('n')) + QStringLiteral(".jpg");
        ASSERT_FALSE(save(jpeg, picture, name).isEmpty()) << length;
        EXPECT_EQ(decode(path(name)).size(), QSize(16, 8)) << length;
        // Written again over itself: the replacing path too.
        ASSERT_FALSE(save(jpeg, picture, name).isEmpty()) << length;
    }
    EXPECT_EQ(entries().size(), 5) << qPrintable(entries().join('\n'));
}

} // namespace quill
