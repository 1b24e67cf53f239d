// The codecs: decoding and encoding a 24-megapixel JPEG with the shared JPEG object, decoding
// large PNG files in the decoder process against decoding them in this process, and one such file
// into a bitmap by FreeImage's loader against the decoder's own reading of common PNG files.

#include "BenchPictures.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"
#include "decoder/FreeImageDecode.h"
#include "decoder/PngDecode.h"

#include <FreeImage.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

// The batch run reads every row after a load; so do the benchmarks (one byte per page).
unsigned touchPages(const QImage& picture) {
    unsigned sum = 0;
    const uchar* bits = picture.constBits();
    for (qsizetype at = 0; at < picture.sizeInBytes(); at += 4096) {
        sum += bits[at];
    }
    return sum;
}

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

using quill::bench::photo;

const QByteArray& jpegBytes() {
    static const QByteArray bytes = [] {
        quill::TJPEGImage jpeg;
        jpeg.Assign(photo(kWidth, kHeight));
        jpeg.JPEGNeeded();
        return jpeg.Data().Data;
    }();
    return bytes;
}

void BM_JpegDecode24MP(benchmark::State& state) {
    const QByteArray& bytes = jpegBytes();
    for (auto _ : state) {
        quill::TJPEGImage jpeg;
        jpeg.LoadFromBytes(bytes);
        QImage picture;
        jpeg.AssignTo(picture);
        benchmark::DoNotOptimize(picture.constBits());
    }
    state.counters["MPix/s"] = benchmark::Counter(
        double(kWidth) * kHeight / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_JpegDecode24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JpegEncode24MP(benchmark::State& state) {
    const QImage image = photo(kWidth, kHeight);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("out.jpg"));
    quill::TJPEGImage jpeg;
    for (auto _ : state) {
        jpeg.Assign(image);
        jpeg.SaveToFile(target);
    }
    state.counters["MPix/s"] = benchmark::Counter(
        double(kWidth) * kHeight / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_JpegEncode24MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// A folder of large PNG files, written once.
struct PngFolder {
    PngFolder() {
        const quill::bench::FreeImageBitmap dib =
            quill::bench::freeImagePhoto(kPngWidth, kPngHeight);
        for (int i = 0; i < kFiles; ++i) {
            files.push_back(dir.filePath(QStringLiteral("big%1.png").arg(i)));
            FreeImage_Save(FIF_PNG, dib.get(), QFile::encodeName(files.back()).constData(), 0);
        }
    }
    static constexpr int kPngWidth = 4000;
    static constexpr int kPngHeight = 3000;
    static constexpr int kFiles = 4;
    QTemporaryDir dir;
    std::vector<QString> files;
};

PngFolder& pngFolder() {
    static PngFolder folder;
    return folder;
}

void reportPng(benchmark::State& state) {
    state.counters["MPix/s"] =
        benchmark::Counter(double(PngFolder::kPngWidth) * PngFolder::kPngHeight / 1e6 *
                               PngFolder::kFiles * double(state.iterations()),
                           benchmark::Counter::kIsRate);
}

void BM_PngFolderDecoderProcess(benchmark::State& state) {
    PngFolder& folder = pngFolder();
    quill::startDecoderService();
    quill::TJPEGImage jpeg;
    QImage working;
    for (auto _ : state) {
        for (const QString& file : folder.files) {
            if (quill::LoadPictureFile(working, jpeg, file) != quill::LoadOk || working.isNull()) {
                state.SkipWithError("the decoder process failed");
                return;
            }
            benchmark::DoNotOptimize(touchPages(working));
        }
    }
    quill::stopDecoderService();
    reportPng(state);
}
BENCHMARK(BM_PngFolderDecoderProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same decode and conversion in this process: the cost without the process around it.
void BM_PngFolderInProcess(benchmark::State& state) {
    PngFolder& folder = pngFolder();
    QImage working;
    const quill::decode::Allocate allocate = [&working](std::uint32_t w, std::uint32_t h) {
        working = QImage(int(w), int(h), QImage::Format_RGB888);
        return quill::decode::RgbTarget{working.bits(), std::size_t(working.bytesPerLine())};
    };
    for (auto _ : state) {
        for (const QString& file : folder.files) {
            std::uint32_t w = 0;
            std::uint32_t h = 0;
            // Read through a descriptor, as the decoder process reads what it is handed.
            QFile opened(file);
            std::optional<quill::decode::PictureFile> bytes;
            if (opened.open(QIODevice::ReadOnly)) {
                bytes = quill::decode::PictureFile::read(opened.handle());
            }
            if (!bytes || quill::decode::decodeFile(bytes->bytes(), FIF_PNG, 0, allocate, w, h) !=
                              quill::decode::Status::Picture) {
                state.SkipWithError("in-process decoding failed");
                return;
            }
            benchmark::DoNotOptimize(touchPages(working));
        }
    }
    reportPng(state);
}
BENCHMARK(BM_PngFolderInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// One 12-megapixel file, read and decoded into a bitmap by FreeImage's loader.
void BM_PngBitmapFreeImage(benchmark::State& state) {
    const QByteArray path = QFile::encodeName(pngFolder().files.front());
    for (auto _ : state) {
        const quill::decode::DibPtr dib(FreeImage_Load(FIF_PNG, path.constData(), 0));
        if (!dib) {
            state.SkipWithError("FreeImage failed");
            return;
        }
        benchmark::DoNotOptimize(FreeImage_GetBits(dib.get()));
    }
}
BENCHMARK(BM_PngBitmapFreeImage)->Unit(benchmark::kMillisecond)->UseRealTime();

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The same file read and decoded into the same bitmap by the decoder's own reading.
void BM_PngBitmapOwn(benchmark::State& state) {
    const QByteArray path = QFile::encodeName(pngFolder().files.front());
    for (auto _ : state) {
        std::vector<std::uint8_t> bytes;
        {
            const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.constData(), "rb"));
            if (file && std::fseek(file.get(), 0, SEEK_END) == 0) {
                bytes.resize(std::size_t(std::ftell(file.get())));
                std::rewind(file.get());
                bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
            }
        }
        const quill::decode::DibPtr dib = quill::decode::loadCommonPng(std::move(bytes));
        if (!dib) {
            state.SkipWithError("the file was not decoded on its own");
            return;
        }
        benchmark::DoNotOptimize(FreeImage_GetBits(dib.get()));
    }
}
BENCHMARK(BM_PngBitmapOwn)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
