// What the decoder's confinement costs each decoder start: a child process that ends at once,
// side by side with one that confines itself first (its network namespace, Landlock domain and
// system-call filter), and, for scale, a whole decoder start up to its first picture.

#include "imaging/DecoderService.h"
#include "decoder/Lockdown.h"

#include <FreeImage.h>

#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Arg 0: the child ends at once; 1: it confines itself, then ends.
void BM_ChildProcess(benchmark::State& state) {
    const bool confined = state.range(0) == 1;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            std::_Exit(!confined || quill::decode::lockDown().filtered ? 0 : 1);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the child could not confine itself");
            return;
        }
    }
    state.SetLabel(confined ? "confined" : "plain");
}
BENCHMARK(BM_ChildProcess)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The confinement call alone, timed inside the child that makes it (its fork and end left out).
void BM_LockDownCall(benchmark::State& state) {
    int ends[2];
    if (::pipe(ends) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            const auto start = std::chrono::steady_clock::now();
            const bool filtered = quill::decode::lockDown().filtered;
            const double seconds =
                filtered ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                               .count()
                         : -1.0;
            std::_Exit(::write(ends[1], &seconds, sizeof seconds) == sizeof seconds ? 0 : 1);
        }
        double seconds = -1.0;
        const bool got = ::read(ends[0], &seconds, sizeof seconds) == sizeof seconds;
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (!got || seconds < 0) {
            state.SkipWithError("the child could not confine itself");
            break;
        }
        state.SetIterationTime(seconds);
    }
    ::close(ends[0]);
    ::close(ends[1]);
}
BENCHMARK(BM_LockDownCall)->Unit(benchmark::kMicrosecond)->UseManualTime();

// Without the service, every load starts a decoder process of its own, which confines itself and
// decodes a tiny PNG: a whole decoder start, for scale.
void BM_DecoderStartToFirstPicture(benchmark::State& state) {
    QTemporaryDir dir;
    const QString tinyPng = dir.filePath(QStringLiteral("tiny.png"));
    QImage tiny(8, 8, QImage::Format_RGB888);
    tiny.fill(Qt::red);
    if (!tiny.save(tinyPng)) {
        state.SkipWithError("no fixture");
        return;
    }
    QImage picture;
    for (auto _ : state) {
        if (quill::decodeInDecoderProcess(tinyPng, FIF_PNG, 0, picture) !=
            quill::DecoderResult::Picture) {
            state.SkipWithError("no picture");
            return;
        }
    }
}
BENCHMARK(BM_DecoderStartToFirstPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
