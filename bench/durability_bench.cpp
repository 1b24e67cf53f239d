// What bringing the output folder's entries to the disk costs a run: 300 small pictures
// converted into a new "_Parvexo", with the folder syncs (the parent's after making the folder,
// the folder's own at the end) and without them, in turn in one process.

#include "batch/ConversionRun.h"
#include "batch/OutputFolder.h"
#include "imaging/DecoderService.h"
#include "imaging/JpegImage.h"
#include "platform/SafeReplace.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <unistd.h>

using namespace quill;

namespace {

class QuietHost final : public ConversionHost {
public:
    void report(const RunReport&) override {}
    std::optional<QString> chooseTargetFolder() override { return std::nullopt; }
    void showOutput(const QImage&) override {}
    void progress(int, int) override {}
};

struct Folder {
    Folder() {
        QImage image(160, 120, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                image.setPixelColor(x, y, QColor(x, y, (x * y) & 255));
            }
        }
        TJPEGImage writer;
        writer.Assign(image);
        settings.folder = dir.path();
        settings.overlay = defaultOverlaySettings();
        for (int i = 0; i < 300; ++i) {
            const QString name = QStringLiteral("p%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
            writer.SaveToFile(dir.path() + QLatin1Char('/') + name);
            settings.entries.push_back({name, false});
        }
    }
    QTemporaryDir dir;
    ConversionSettings settings;
};

Folder& folder() {
    static Folder shared;
    return shared;
}

double runMs(Folder& source, bool syncs) {
    QDir(source.dir.path() + QStringLiteral("/_Parvexo")).removeRecursively();
    ::sync();
    setOutputFolderSync(syncs);
    QuietHost host;
    QImage working;
    QImage output;
    TJPEGImage jpeg;
    const auto started = std::chrono::steady_clock::now();
    const ConversionResult result =
        RunBatchConversion(source.settings, working, output, jpeg, host);
    const auto took = std::chrono::steady_clock::now() - started;
    setOutputFolderSync(true);
    benchmark::DoNotOptimize(result.written);
    return std::chrono::duration<double, std::milli>(took).count();
}

// Each iteration runs both, one after the other, so that both see the same disk and the same load;
// the counters give their totals and the ratio.
void BM_Run300WithAndWithoutFolderSyncs(benchmark::State& state) {
    Folder& source = folder();
    double with = 0;
    double without = 0;
    bool withFirst = true;
    for (auto _ : state) {
        // Which goes first alternates, so that neither always meets the disk after the other.
        if (withFirst) {
            with += runMs(source, true);
            without += runMs(source, false);
        } else {
            without += runMs(source, false);
            with += runMs(source, true);
        }
        withFirst = !withFirst;
    }
    const double runs = double(state.iterations());
    state.counters["with_ms"] = with / runs;
    state.counters["without_ms"] = without / runs;
    state.counters["ratio"] = with / without;
}

// The syncs alone, as a run makes them: the folder's own after its 300 outputs are written, and
// its parent's after making it. Less noisy than the difference of two whole runs.
void BM_FolderSyncsAfter300Outputs(benchmark::State& state) {
    Folder& source = folder();
    const QString outputs = source.dir.path() + QStringLiteral("/_Parvexo");
    const QByteArray bytes(25000, 'x');
    for (auto _ : state) {
        state.PauseTiming();
        QDir(outputs).removeRecursively();
        ::sync();
        QDir().mkdir(outputs);
        for (const BatchEntry& entry : source.settings.entries) {
            replaceFileSafely(outputs + QLatin1Char('/') + entry.name, bytes);
        }
        state.ResumeTiming();
        syncFolder(source.dir.path());
        syncFolder(outputs);
    }
}

} // namespace

BENCHMARK(BM_FolderSyncsAfter300Outputs)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Run300WithAndWithoutFolderSyncs)->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv) {
    // Measuring the overlay text needs fonts, and so an application, though no window is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    startDecoderService();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    stopDecoderService();
    return 0;
}
