// Decoding a 12-megapixel photo of each of the newer formats, as the decoder process does it,
// beside the program's own decode of the same photo as a JPEG. Processor time of the whole process
// (the codecs' threads included) and the time on the clock; median of five. With
// QUILL_BENCH_KEEP=<folder> the files are written there, for trying the program on them.

#include "BenchPictures.h"
#include "ModernFixtures.h"
#include "decoder/FreeImageDecode.h"
#include "imaging/JpegImage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
namespace m = quill::test::modern;
namespace proto = quill::decoder_protocol;

struct Sample {
    QByteArray bytes;
    int format;
    int flags;
};

// The benchmarks' photo has noise of 16 levels in every channel of every pixel, which costs the
// codecs that keep it (HEVC, AV1) far more than it costs JPEG; a photo of a phone at low ISO
// has about two. The calm photo is the same with noise of two levels.
QImage calmPhoto() {
    QImage image = quill::bench::photo(kWidth, kHeight);
    std::uint32_t seed = 7;
    for (int y = 0; y < kHeight; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 31);
            row[3 * x] = uchar((x * 255 / kWidth + noise) & 0xff);
            row[3 * x + 1] = uchar((y * 255 / kHeight + noise) & 0xff);
            row[3 * x + 2] = uchar(((x + y) * 127 / (kWidth + kHeight) + 64 + noise) & 0xff);
        }
    }
    return image;
}

// The photo in every format, made once for each of the two photos.
const std::map<std::string, Sample>& samples(bool calm) {
    static std::map<std::string, Sample> made[2];
    std::map<std::string, Sample>& all = made[calm ? 1 : 0];
    if (all.empty()) {
        const QImage photo = calm ? calmPhoto() : quill::bench::photo(kWidth, kHeight);
        quill::TJPEGImage jpeg;
        jpeg.Assign(photo);
        jpeg.JPEGNeeded();
        all["jpg"] = {jpeg.Data().Data, -1, 0};
        const QImage rgba = photo.convertToFormat(QImage::Format_RGBA8888);
        // The HEIC as phones write it: a grid of tiles, at about a phone's bytes for 12 MP (the
        // noise of the photo costs every codec; at quality 90 the HEIC takes 9.4 MB).
        all["heic"] = {m::heif(rgba, {.preset = "fast", .tile = 500, .quality = 60}),
                       int(proto::Format::Heif), 0};
        all["avif"] = {m::heif(rgba, {.codec = heif_compression_AV1, .quality = 60}),
                       int(proto::Format::Heif), 0};
        all["webp"] = {m::webp(rgba, false, 0, 0, 90), int(proto::Format::WebP), 0};
        all["jxl"] = {m::jxl(photo, 1, false), int(proto::Format::JpegXl), 0};
        QTemporaryDir dir;
        all["dng"] = {m::dng(photo, 1, dir.filePath(QStringLiteral("photo.dng"))),
                      int(proto::Format::Raw), 0};
        QImage bgra = photo.convertToFormat(QImage::Format_RGB32);
        const quill::bench::FreeImageBitmap wide(FreeImage_ConvertFromRawBits(
            bgra.bits(), kWidth, kHeight, int(bgra.bytesPerLine()), 32, FI_RGBA_RED_MASK,
            FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK, TRUE));
        const quill::bench::FreeImageBitmap rgb(FreeImage_ConvertTo24Bits(wide.get()));
        const quill::bench::FreeImageBitmap palette(
            FreeImage_ColorQuantize(rgb.get(), FIQ_WUQUANT));
        FIMEMORY* memory = FreeImage_OpenMemory();
        FreeImage_SaveToMemory(FIF_GIF, palette.get(), memory, 0);
        BYTE* data = nullptr;
        DWORD size = 0;
        FreeImage_AcquireMemory(memory, &data, &size);
        all["gif"] = {QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                      int(proto::Format::Gif), proto::kGifComposited};
        FreeImage_CloseMemory(memory);
        if (const QByteArray keep = qgetenv("QUILL_BENCH_KEEP"); !keep.isEmpty()) {
            QDir().mkpath(QString::fromLocal8Bit(keep));
            for (const auto& [extension, sample] : all) {
                QFile file(QString::fromLocal8Bit(keep) +
                           (calm ? QStringLiteral("/calm.") : QStringLiteral("/photo.")) +
                           QString::fromStdString(extension));
                if (file.open(QIODevice::WriteOnly)) {
                    file.write(sample.bytes);
                }
            }
        }
    }
    return all;
}

void BM_Decode12MP(benchmark::State& state, const std::string& extension, bool calm) {
    const Sample& sample = samples(calm).at(extension);
    std::vector<std::uint8_t> rows;
    const quill::decode::Allocate allocate = [&rows](std::uint32_t w, std::uint32_t h) {
        const std::size_t stride = (std::size_t{w} * 3 + 3) & ~std::size_t{3};
        rows.resize(stride * h);
        return quill::decode::RgbTarget{rows.data(), stride};
    };
    for (auto _ : state) {
        if (sample.format < 0) {
            quill::TJPEGImage jpeg;
            jpeg.LoadFromBytes(sample.bytes);
            QImage picture;
            jpeg.AssignTo(picture);
            benchmark::DoNotOptimize(picture.constBits());
            continue;
        }
        std::uint32_t w = 0;
        std::uint32_t h = 0;
        const auto* data = reinterpret_cast<const std::uint8_t*>(sample.bytes.constData());
        if (quill::decode::decodeFile({data, std::size_t(sample.bytes.size())},
                                      FREE_IMAGE_FORMAT(sample.format), sample.flags, allocate, w,
                                      h) != quill::decode::Status::Picture) {
            state.SkipWithError("decoding failed");
            return;
        }
        benchmark::DoNotOptimize(rows.data());
    }
}

#define QUILL_FORMAT_BENCH_OF(name, extension, calm)                                               \
    BENCHMARK_CAPTURE(BM_Decode12MP, name, #extension, calm)                                       \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->MeasureProcessCPUTime()                                                                  \
        ->UseRealTime()                                                                            \
        ->Repetitions(5)                                                                           \
        ->ReportAggregatesOnly(true)
#define QUILL_FORMAT_BENCH(extension)                                                              \
    QUILL_FORMAT_BENCH_OF(extension, extension, false);                                            \
    QUILL_FORMAT_BENCH_OF(calm_##extension, extension, true)

QUILL_FORMAT_BENCH(jpg);
QUILL_FORMAT_BENCH(webp);
QUILL_FORMAT_BENCH(avif);
QUILL_FORMAT_BENCH(gif);
QUILL_FORMAT_BENCH(jxl);
QUILL_FORMAT_BENCH(heic);
QUILL_FORMAT_BENCH(dng);

} // namespace

int main(int argc, char** argv) {
    FreeImage_Initialise(FALSE);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FreeImage_DeInitialise();
    return 0;
}
