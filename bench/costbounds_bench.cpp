// What files whose cost lies outside their pixels cost: colour profiles of thousands of pipeline
// stages, PNG text that inflates to a gigabyte, and a gigabyte of picture data beyond the rows.
// Side by side, what the same bytes cost when evaluated or inflated unbounded (Little CMS, or
// FreeImage handed the file as it is) and what they cost the decoding now.

#include "../tests/imaging/LoadingFixtures.h"
#include "../tests/support/CostlyFixtures.h"
#include "../tests/support/ProfileFixtures.h"
#include "decoder/ColourProfile.h"
#include "decoder/FreeImageDecode.h"

#include <FreeImage.h>
#include <lcms2.h>

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <span>
#include <utility>
#include <vector>

namespace {

using namespace quill;
using test::fixtures::HandMadePng;

const QByteArray& stagesProfile(int stages, int segments = 1) {
    static std::map<std::pair<int, int>, QByteArray> made;
    QByteArray& profile = made[{stages, segments}];
    if (profile.isEmpty()) {
        profile = test::profiles::floatPipelineProfile(
            {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}}, stages, segments);
    }
    return profile;
}

// The colour profile turned into tables (or ignored) as a picture's profile is; 6 extra stages of
// 16-piece curves is the costliest profile within the bounds.
void ProfileTables(benchmark::State& state) {
    const QByteArray& profile = stagesProfile(int(state.range(0)), int(state.range(1)));
    for (auto _ : state) {
        std::string why;
        benchmark::DoNotOptimize(colour::SrgbConversion::fromProfile(
            reinterpret_cast<const std::uint8_t*>(profile.constData()), std::size_t(profile.size()),
            colour::Pixels::Rgb, &why));
    }
    state.counters["bytes"] = double(profile.size());
}
BENCHMARK(ProfileTables)
    ->Args({0, 1})
    ->Args({6, 16})
    ->Args({3000, 1})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond);

// What the same profile costs when Little CMS evaluates it unbounded, as the tables need: one
// transform sampled on a grid of 33 nodes a channel. Its cost grows with the stages; beyond a
// few dozen it takes seconds.
void ProfileEvaluatedUnbounded(benchmark::State& state) {
    const QByteArray& profile = stagesProfile(int(state.range(0)));
    std::vector<std::uint16_t> in(33 * 33 * 33 * 3), out(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        in[i] = std::uint16_t((i * 2047) & 0xffff);
    }
    for (auto _ : state) {
        const test::profiles::Profile source(
            cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size())));
        const test::profiles::Profile srgb(cmsCreate_sRGBProfile());
        cmsHTRANSFORM transform = cmsCreateTransform(source.get(), TYPE_RGB_16, srgb.get(),
                                                     TYPE_RGB_16, INTENT_PERCEPTUAL, 0);
        cmsDoTransform(transform, in.data(), out.data(), cmsUInt32Number(in.size() / 3));
        cmsDeleteTransform(transform);
    }
}
BENCHMARK(ProfileEvaluatedUnbounded)->Arg(6)->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond);

// A 16 x 16 picture of 16-bit RGB (a kind FreeImage reads) with a gigabyte of text in zTXt
// chunks of 7 MB each (libpng's limit for one chunk is 8 MB), or a gigabyte of zeros after its
// rows in the same stream.
struct Costly {
    Costly() {
        FreeImage_Initialise(FALSE);
        const HandMadePng plain{.width = 16, .height = 16, .bitDepth = 16};
        const QByteArray rows = test::fixtures::pngFilteredData(plain);
        HandMadePng texts = plain;
        const QByteArray bomb = test::costly::textBomb(7 << 20);
        for (int i = 0; i < 150; ++i) {
            texts.beforeIdat += bomb;
        }
        text = test::fixtures::pngFile(texts, test::fixtures::zlibStream(rows));
        surplus = test::fixtures::pngFile(plain,
                                          test::costly::zlibWithZeros(rows, std::int64_t{1} << 30));
        test::fixtures::writeBytes(path("text"), text);
        test::fixtures::writeBytes(path("surplus"), surplus);
    }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name) + ".png"); }
    QTemporaryDir dir;
    QByteArray text;
    QByteArray surplus;
};

Costly& costly() {
    static Costly instance;
    return instance;
}

void loadUnprepared(benchmark::State& state, const QByteArray& bytes) {
    for (auto _ : state) {
        FIMEMORY* memory = FreeImage_OpenMemory(
            reinterpret_cast<BYTE*>(const_cast<char*>(bytes.constData())), DWORD(bytes.size()));
        FIBITMAP* dib = FreeImage_LoadFromMemory(FIF_PNG, memory, 0);
        if (!dib) {
            state.SkipWithError("no picture");
        }
        FreeImage_Unload(dib);
        FreeImage_CloseMemory(memory);
    }
    state.counters["file MB"] = double(bytes.size()) / (1 << 20);
}

void decode(benchmark::State& state, const QString& path) {
    std::vector<std::uint8_t> rows;
    const decode::Allocate allocate = [&rows](std::uint32_t w, std::uint32_t h) {
        rows.assign(std::size_t{w} * 3 * h, 0);
        return decode::RgbTarget{rows.data(), std::size_t{w} * 3};
    };
    for (auto _ : state) {
        // The decoder is handed the file's bytes, so reading them is part of its cost.
        QFile file(path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const std::span<const std::uint8_t> data(
            reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        std::uint32_t width = 0, height = 0;
        if (decode::decodeFile(data, FIF_PNG, 0, allocate, width, height) !=
            decode::Status::Picture) {
            state.SkipWithError("no picture");
        }
    }
}

void TextBombFreeImageAlone(benchmark::State& state) {
    loadUnprepared(state, costly().text);
}
void TextBombDecoded(benchmark::State& state) {
    decode(state, costly().path("text"));
}
void SurplusFreeImageAlone(benchmark::State& state) {
    loadUnprepared(state, costly().surplus);
}
void SurplusDecoded(benchmark::State& state) {
    decode(state, costly().path("surplus"));
}
BENCHMARK(TextBombFreeImageAlone)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(TextBombDecoded)->Unit(benchmark::kMillisecond);
BENCHMARK(SurplusFreeImageAlone)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(SurplusDecoded)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
