// The window's two costly paths, measured as the user meets them: selecting a 24-megapixel JPEG
// until it is shown, and a whole "Start" over a folder of 12-megapixel JPEGs, next to decoding
// the same files alone with libjpeg.

#include "app/Forms.h"
#include "app/Unit1.h"
#include "browse/FileListBox.h"
#include "imaging/JpegImage.h"
#include "platform/Memory.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <jpeglib.h>
#include <memory>
#include <vector>

using namespace quill;

namespace {

// A picture with detail everywhere, so the JPEG files have realistic sizes.
QImage photoLike(int width, int height) {
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uchar>((x * 7 + y * 3) ^ (x >> 3));
            row[3 * x + 1] = static_cast<uchar>((y * 5) ^ (x * y >> 9));
            row[3 * x + 2] = static_cast<uchar>(x + y);
        }
    }
    return image;
}

void writeJpeg(const QImage& image, const QString& path) {
    TJPEGImage jpeg;
    jpeg.Assign(image);
    jpeg.SaveToFile(path);
}

// Decodes a JPEG file to RGB rows with libjpeg and nothing else.
void decodeWithLibjpeg(const QString& path, std::vector<JSAMPLE>& rows) {
    FILE* in = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!in) {
        return;
    }
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, in);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const std::size_t stride = std::size_t(info.output_width) * 3;
    rows.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rows.data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(in);
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_PreviewOf24MegapixelJpeg(benchmark::State& state) {
    QTemporaryDir dir;
    writeJpeg(photoLike(6000, 4000), dir.path() + "/gross.jpg");
    writeJpeg(photoLike(64, 48), dir.path() + "/klein.jpg");
    QDir::setCurrent(dir.path());
    setMessageHandler([](const MessageRequest& request) { return request.defaultButton; });
    Forms forms({});
    TForm1& w = forms.main();
    for (auto _ : state) {
        // Select the large picture: what a click in the file list does.
        w.FileListBox1->SetSelected(0, true);
        w.FileListBox1Change();
        QApplication::processEvents();
        state.PauseTiming();
        w.FileListBox1->SetSelected(1, true);
        w.FileListBox1Change();
        state.ResumeTiming();
    }
    state.counters["megapixels"] = 24;
}
BENCHMARK(BM_PreviewOf24MegapixelJpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_RunOver50TwelveMegapixelJpegs(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    const QImage picture = photoLike(4000, 3000);
    for (int i = 0; i < files; ++i) {
        writeJpeg(picture,
                  dir.path() + QStringLiteral("/bild%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
    }

    // Decoding alone, every file once (warm cache, as the run meets them).
    std::vector<JSAMPLE> rows;
    const auto decodeStart = std::chrono::steady_clock::now();
    for (int i = 0; i < files; ++i) {
        decodeWithLibjpeg(
            dir.path() + QStringLiteral("/bild%1.jpg").arg(i, 3, 10, QLatin1Char('0')), rows);
    }
    const double decodeAlone = seconds(decodeStart);

    QDir::setCurrent(dir.path());
    setMessageHandler([](const MessageRequest& request) { return request.defaultButton; });
    Forms forms({});
    TForm1& w = forms.main();
    double run = 0;
    for (auto _ : state) {
        const auto runStart = std::chrono::steady_clock::now();
        w.Button2Click(); // answered Yes
        run = seconds(runStart);
        state.SetIterationTime(run);
    }
    state.counters["decode_ms_per_picture"] = 1000 * decodeAlone / files;
    state.counters["run_ms_per_picture"] = 1000 * run / files;
    state.counters["run_over_decode"] = run / decodeAlone;
}
BENCHMARK(BM_RunOver50TwelveMegapixelJpegs)
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    keepLargePictureMemory(); // as the program does at start
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
