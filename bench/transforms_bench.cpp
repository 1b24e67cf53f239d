// Turning, mirroring and nearest-neighbour scaling of a 24-megapixel picture, next to a plain
// memory copy of the same bytes.

#include "imaging/Rotate.h"
#include "imaging/Scale.h"

#include <QImage>
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int Width = 6000;
constexpr int Height = 4000;

const QImage& picture() {
    static const QImage image = [] {
        QImage result(Width, Height, QImage::Format_RGB888);
        for (int y = 0; y < Height; ++y) {
            uchar* row = result.scanLine(y);
            for (int x = 0; x < Width * 3; ++x) {
                row[x] = static_cast<uchar>(x * 7 + y * 13);
            }
        }
        return result;
    }();
    return image;
}

std::int64_t pictureBytes() {
    return std::int64_t{Width} * Height * 3;
}

// The floor: copying the bytes into memory that is already there.
void BM_MemcpyPreallocated(benchmark::State& state) {
    const QImage& source = picture();
    std::vector<uchar> target(static_cast<std::size_t>(source.sizeInBytes()));
    for (auto _ : state) {
        std::memcpy(target.data(), source.constBits(), target.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * pictureBytes());
}

// What the turn pays on top of the copy: every call makes a new bitmap, as the run does.
void BM_MemcpyFreshBitmap(benchmark::State& state) {
    const QImage& source = picture();
    for (auto _ : state) {
        QImage target(Width, Height, QImage::Format_RGB888);
        std::memcpy(target.bits(), source.constBits(),
                    static_cast<std::size_t>(source.sizeInBytes()));
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetBytesProcessed(state.iterations() * pictureBytes());
}

void BM_RotateAndMirror(benchmark::State& state) {
    const QImage& source = picture();
    const int code = static_cast<int>(state.range(0));
    for (auto _ : state) {
        QImage result = quill::rotatedAndMirrored(source, code);
        benchmark::DoNotOptimize(result.constBits());
    }
    state.SetBytesProcessed(state.iterations() * pictureBytes());
}

// Into an output bitmap that is reused from picture to picture, as in a run.
void BM_ScaleNearest(benchmark::State& state) {
    const QImage& source = picture();
    const QSize size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    QImage output;
    quill::stretchNearest(source, output, size);
    for (auto _ : state) {
        quill::stretchNearest(source, output, size);
        benchmark::DoNotOptimize(output.constBits());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t{size.width()} * size.height() * 3);
}

BENCHMARK(BM_MemcpyPreallocated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyFreshBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateAndMirror)
    ->ArgName("code")
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Arg(9)
    ->Arg(10)
    ->Arg(12)
    ->Arg(16)
    ->Arg(17)
    ->Arg(18)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleNearest)
    ->ArgNames({"w", "h"})
    ->Args({200, 133})
    ->Args({1600, 1066})
    ->Args({3000, 2000})
    ->Args({5999, 3999}) // every pixel through the column map
    ->Args({Width, Height})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
