// What the window's process holds while the preview shows pictures at the pixel limit one after
// another: the peak resident memory the previews add to the window, in bitmaps of the picture
// (16384 x 16384 at 24 bits, 768 MiB). Two flat PNGs of about a megabyte each; a PNG followed by
// a run-length BMP of 2 MB coded in runs of 255 pixels; and a PNG followed by a run-length BMP of
// one end-of-bitmap code, which the decoder refuses for claiming more than its bytes can hold.
// Target: about 2 bitmaps at most.

#include "../tests/imaging/DamagedFixtures.h"
#include "app/Forms.h"
#include "app/Unit1.h"
#include "browse/FileListBox.h"
#include "platform/Memory.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>
#include <zlib.h>

using namespace quill;

namespace {

constexpr int kSide = 16384;

void putBe32(QByteArray& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.append(char((value >> shift) & 0xff));
    }
}

void putChunk(QByteArray& out, const char* tag, const QByteArray& data) {
    putBe32(out, std::uint32_t(data.size()));
    const QByteArray body = QByteArray(tag, 4) + data;
    out += body;
    putBe32(out, std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.constData()),
                                     uInt(body.size()))));
}

// A PNG of one colour, its rows deflated one by one so that the picture is never in memory.
QByteArray flatPng(int side, std::uint8_t red) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    putBe32(header, std::uint32_t(side));
    putBe32(header, std::uint32_t(side));
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, no interlacing
    putChunk(png, "IHDR", header);
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    std::vector<unsigned char> row(std::size_t(side) * 3 + 1, 0);
    for (int x = 0; x < side; ++x) {
        row[1 + 3 * std::size_t(x)] = red;
    }
    QByteArray compressed;
    std::vector<unsigned char> buffer(1 << 16);
    for (int y = 0; y < side; ++y) {
        stream.next_in = row.data();
        stream.avail_in = uInt(row.size());
        const int flush = y + 1 == side ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = buffer.data();
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, flush);
            compressed.append(reinterpret_cast<const char*>(buffer.data()),
                              qsizetype(buffer.size() - stream.avail_out));
        } while (stream.avail_out == 0);
        // Every further row is the same: "up" filtered, all zeros.
        std::fill(row.begin(), row.end(), 0);
        row[0] = 2;
    }
    deflateEnd(&stream);
    putChunk(png, "IDAT", compressed);
    putChunk(png, "IEND", {});
    return png;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
}

struct LimitFolder {
    LimitFolder() {
        writeFile(dir.filePath(QStringLiteral("0_klein.png")), flatPng(16, 200));
        writeFile(dir.filePath(QStringLiteral("a_rot.png")), flatPng(kSide, 255));
        writeFile(dir.filePath(QStringLiteral("b_schwarz.png")), flatPng(kSide, 0));
        QByteArray runs;
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; x += 255) {
                runs.append(char(std::min(255, kSide - x))).append(char(y % 16));
            }
            runs.append(QByteArray("\x00\x00", 2)); // end of line
        }
        runs.append(QByteArray("\x00\x01", 2));
        writeFile(dir.filePath(QStringLiteral("c_laeufe.bmp")),
                  test::fixtures::rleBmp(kSide, kSide, 8, runs));
        writeFile(dir.filePath(QStringLiteral("d_leer.bmp")),
                  test::fixtures::rleBmp(kSide, kSide, 8, QByteArray("\x00\x01", 2)));
    }
    QTemporaryDir dir;
};

LimitFolder& folder() {
    static LimitFolder instance;
    return instance;
}

long residentMiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLong() / 1024;
        }
    }
    return -1;
}

// The peak so far starts again from what is resident now.
void resetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly)) {
        refs.write("5");
    }
}

// Previews the folder's entries at rows one after another, starting from the tiny picture.
void previewOneAfterAnother(benchmark::State& state, std::vector<int> rows) {
    QDir::setCurrent(folder().dir.path());
    int failed = 0;
    setMessageHandler([&failed](const MessageRequest& request) {
        ++failed;
        return request.defaultButton;
    });
    Forms forms({});
    TForm1& window = forms.main();
    window.show();
    long grown = 0;
    for (auto _ : state) {
        window.FileListBox1->SetSelected(0, true);
        window.FileListBox1Change();
        QApplication::processEvents();
        const long before = residentMiB("VmRSS:");
        resetPeak();
        for (const int row : rows) {
            window.FileListBox1->SetSelected(row, true);
            window.FileListBox1Change();
            QApplication::processEvents();
        }
        grown = std::max(grown, residentMiB("VmHWM:") - before);
    }
    const double bitmap = double(kSide) * kSide * 3 / (1 << 20);
    state.counters["peak_added_MiB"] = double(grown);
    state.counters["bitmaps"] = double(grown) / bitmap;
    state.counters["shown_width"] = window.Label5->text().toDouble();
    state.counters["failed_loads"] = failed;
}

void BM_TwoPngsAtThePixelLimit(benchmark::State& state) {
    previewOneAfterAnother(state, {1, 2});
}
BENCHMARK(BM_TwoPngsAtThePixelLimit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_RunLengthBmpAtThePixelLimitAfterAPng(benchmark::State& state) {
    previewOneAfterAnother(state, {1, 3});
}
BENCHMARK(BM_RunLengthBmpAtThePixelLimitAfterAPng)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

void BM_RefusedEndOfBitmapBmpAfterAPng(benchmark::State& state) {
    previewOneAfterAnother(state, {1, 4});
}
BENCHMARK(BM_RefusedEndOfBitmapBmpAfterAPng)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
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
