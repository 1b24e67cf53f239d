// What a hostile JPEG costs before it is refused: the crafted progressive file claiming
// 16000 x 16000 pixels in 946 scans, a 3 GB sparse file and a named pipe, each through the load
// the preview and the run use; and, for scale, a genuine 50-megapixel progressive photograph,
// which the scans budget lets through.

#include "../tests/imaging/DamagedFixtures.h"
#include "BenchPictures.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using quill::bench::photo;

struct HostileFolder {
    HostileFolder() {
        QFile file(bomb());
        file.open(QIODevice::WriteOnly);
        file.write(quill::test::fixtures::progressiveHeaderBomb());
        file.close();
        QFile huge(sparse());
        huge.open(QIODevice::WriteOnly);
        huge.close();
        if (::truncate(QFile::encodeName(sparse()).constData(), off_t{3} << 30) != 0) {
            std::perror("sparse file");
        }
        ::mkfifo(QFile::encodeName(pipe()).constData(), 0600);
    }
    QString bomb() const { return dir.filePath(QStringLiteral("bombe.jpg")); }
    QString sparse() const { return dir.filePath(QStringLiteral("riesig.jpg")); }
    QString pipe() const { return dir.filePath(QStringLiteral("pipe.jpg")); }
    QTemporaryDir dir;
};

HostileFolder& folder() {
    static HostileFolder instance;
    return instance;
}

void refuse(benchmark::State& state, const QString& file) {
    quill::TJPEGImage jpeg;
    QImage working;
    for (auto _ : state) {
        if (quill::LoadPictureFile(working, jpeg, file) != quill::LoadInvalidJpeg) {
            state.SkipWithError("the file was not refused");
            return;
        }
    }
    state.counters["peak MiB"] = double(quill::test::fixtures::peakResidentMiB());
}

void BM_RefuseProgressiveHeaderBomb(benchmark::State& state) {
    refuse(state, folder().bomb());
}
BENCHMARK(BM_RefuseProgressiveHeaderBomb)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RefuseSparse3GB(benchmark::State& state) {
    refuse(state, folder().sparse());
}
BENCHMARK(BM_RefuseSparse3GB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RefusePipe(benchmark::State& state) {
    refuse(state, folder().pipe());
}
BENCHMARK(BM_RefusePipe)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Decode50MPProgressive(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("kamera.jpg"));
    {
        quill::TJPEGImage encoder;
        encoder.SetProgressiveEncoding(true);
        encoder.Assign(photo(8688, 5792));
        encoder.SaveToFile(file);
    }
    quill::TJPEGImage jpeg;
    QImage working;
    for (auto _ : state) {
        if (quill::LoadPictureFile(working, jpeg, file) != quill::LoadOk) {
            state.SkipWithError("the photograph was refused");
            return;
        }
        benchmark::DoNotOptimize(working.constBits());
    }
    state.counters["peak MiB"] = double(quill::test::fixtures::peakResidentMiB());
}
BENCHMARK(BM_Decode50MPProgressive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A crafted progressive file within the scans budget, claiming 16000 x 16000 pixels in
// libjpeg's ten scans: its coefficients would not fit the decoder's memory limit.
void BM_RefuseLargestProgressive(benchmark::State& state) {
    static const QString file = [] {
        const QString path = folder().dir.filePath(QStringLiteral("gross.jpg"));
        QFile out(path);
        out.open(QIODevice::WriteOnly);
        out.write(quill::test::fixtures::progressiveJpeg(16000, 16000, 0));
        return path;
    }();
    refuse(state, file);
}
BENCHMARK(BM_RefuseLargestProgressive)->Unit(benchmark::kMillisecond)->UseRealTime();

// The most such a file gets through: 14000 x 14000 pixels (196 megapixels) with halved chroma,
// its data that of a small picture, the rest grey.
void BM_DecodeLargestProgressiveWithinLimits(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("gross.jpg"));
    QFile out(file);
    out.open(QIODevice::WriteOnly);
    out.write(quill::test::fixtures::progressiveJpeg(14000, 14000, 0));
    out.close();
    quill::TJPEGImage jpeg;
    QImage working;
    for (auto _ : state) {
        working = QImage(); // the peak of one load, without the previous picture
        if (quill::LoadPictureFile(working, jpeg, file) != quill::LoadOk) {
            state.SkipWithError("the file was refused");
            return;
        }
        benchmark::DoNotOptimize(working.constBits());
    }
    state.counters["peak MiB"] = double(quill::test::fixtures::peakResidentMiB());
}
BENCHMARK(BM_DecodeLargestProgressiveWithinLimits)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

} // namespace

BENCHMARK_MAIN();
