// What honouring a photo's orientation and colour profile costs: decoding a 24-megapixel JPEG
// plain, with an EXIF block, with an sRGB profile, with a wide-gamut profile, as CMYK with and
// without a press profile, and turned upright; 12-megapixel PNG files with and without a profile
// in the decoder process.

#include "../tests/support/PhotoFixtures.h"
#include "../tests/support/ProfileFixtures.h"
#include "BenchPictures.h"
#include "decoder/ColourProfile.h"
#include "imaging/DecoderService.h"
#include "imaging/ImageLoading.h"
#include "imaging/JpegImage.h"

#include <FreeImage.h>
#include <lcms2.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

using quill::bench::photo;

using namespace quill::test::profiles;

// A press profile made of a 17-point grid, as real ones are (CMYK to Lab, naive inks).
QByteArray press() {
    const Profile rgb(cmsCreate_sRGBProfile());
    const Profile lab(cmsCreateLab4Profile(nullptr));
    cmsHTRANSFORM toLab = cmsCreateTransform(rgb.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL,
                                             INTENT_RELATIVE_COLORIMETRIC, 0);
    const Profile profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetProfileVersion(profile.get(), 2.1);
    cmsSetDeviceClass(profile.get(), cmsSigOutputClass);
    cmsSetColorSpace(profile.get(), cmsSigCmykData);
    cmsSetPCS(profile.get(), cmsSigLabData);
    cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 17, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        grid,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
            const double k = 1 - in[3] / 65535.0;
            const double value[3] = {(1 - in[0] / 65535.0) * k, (1 - in[1] / 65535.0) * k,
                                     (1 - in[2] / 65535.0) * k};
            cmsCIELab colour;
            cmsDoTransform(cargo, value, &colour, 1);
            cmsFloat2LabEncodedV2(out, &colour);
            return TRUE;
        },
        toLab, 0);
    cmsPipelineInsertStage(lut, cmsAT_BEGIN, grid);
    cmsWriteTag(profile.get(), cmsSigAToB0Tag, lut);
    cmsPipelineFree(lut);
    cmsDeleteTransform(toLab);
    return bytesOf(profile.get());
}

// A 24-megapixel JPEG as a camera writes it, with the given APP1 and ICC profile; as CMYK, the
// picture's red, green and blue are the inks over a light black.
QByteArray cameraJpeg(const QByteArray& app1, const QByteArray& profile, bool cmyk = false) {
    const QImage image = photo(kWidth, kHeight);
    std::vector<std::uint8_t> inks;
    if (cmyk) {
        inks.reserve(std::size_t(kWidth) * kHeight * 4);
        for (int y = 0; y < kHeight; ++y) {
            const uchar* rgb = image.constScanLine(y);
            for (int x = 0; x < kWidth * 3; x += 3) {
                inks.insert(inks.end(), {rgb[x], rgb[x + 1], rgb[x + 2], 230});
            }
        }
    }
    return quill::test::photos::encodeJpeg(image, {.app1 = app1,
                                                   .iccProfile = profile,
                                                   .cmykAdobe = cmyk,
                                                   .cmyk = std::move(inks),
                                                   .quality = 90});
}

enum Kind { Plain, ExifUpright, SrgbProfile, WideGamut, Cmyk, CmykProfile };

const QByteArray& jpegOf(Kind kind) {
    static const std::vector<QByteArray> files{
        cameraJpeg({}, {}),
        cameraJpeg(quill::test::photos::exifWithOrientation(1), {}),
        cameraJpeg(quill::test::photos::exifWithOrientation(1), srgbProfile()),
        cameraJpeg(quill::test::photos::exifWithOrientation(1), displayP3Profile()),
        cameraJpeg({}, {}, true),
        cameraJpeg({}, press(), true),
    };
    return files[std::size_t(kind)];
}

void report(benchmark::State& state) {
    state.counters["MPix/s"] = benchmark::Counter(
        double(kWidth) * kHeight / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_JpegDecode24MP(benchmark::State& state) {
    const QByteArray& bytes = jpegOf(Kind(state.range(0)));
    for (auto _ : state) {
        quill::TJPEGImage jpeg;
        jpeg.LoadFromBytes(bytes);
        QImage picture;
        jpeg.AssignTo(picture);
        benchmark::DoNotOptimize(picture.constBits());
    }
    report(state);
}
BENCHMARK(BM_JpegDecode24MP)
    ->ArgName("plain0_exif1_srgb2_p3_3_cmyk4_cmykprofile5")
    ->DenseRange(Plain, CmykProfile)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime() // the conversion may run on a second thread
    ->UseRealTime();

// The whole load of a portrait photo: decoding plus the quarter turn upright.
void BM_LoadPortraitPhoto24MP(benchmark::State& state) {
    static const QByteArray tagged =
        cameraJpeg(quill::test::photos::exifWithOrientation(int(state.range(0))), {});
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("portrait.jpg"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(tagged) != tagged.size()) {
        state.SkipWithError("cannot write the photo");
        return;
    }
    out.close();
    quill::TJPEGImage jpeg;
    QImage working;
    for (auto _ : state) {
        if (quill::LoadPictureFile(working, jpeg, file) != quill::LoadOk) {
            state.SkipWithError("the photo did not load");
            return;
        }
        benchmark::DoNotOptimize(working.constBits());
    }
    report(state);
}
BENCHMARK(BM_LoadPortraitPhoto24MP)
    ->ArgName("orientation")
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The conversion alone, row by row on one thread, of 24 megapixels: ours against Little CMS's
// optimised 8-bit transform (what the pixels cost per call of cmsDoTransform).
void BM_ConvertRows24MP(benchmark::State& state) {
    const bool cmyk = state.range(0) != 0;
    const bool littleCms = state.range(1) != 0;
    const QImage image = photo(kWidth, kHeight);
    const std::size_t inWidth = cmyk ? 4 : 3;
    std::vector<std::uint8_t> in(std::size_t(kWidth) * kHeight * inWidth);
    for (int y = 0; y < kHeight; ++y) {
        const uchar* rgb = image.constScanLine(y);
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* pixel = in.data() + (std::size_t(y) * kWidth + std::size_t(x)) * inWidth;
            std::copy(rgb + 3 * x, rgb + 3 * x + 3, pixel);
            if (cmyk) {
                pixel[3] = 230;
            }
        }
    }
    std::vector<std::uint8_t> out(std::size_t(kWidth) * kHeight * 3);
    const QByteArray profile = cmyk ? press() : displayP3Profile();
    const auto conversion = quill::colour::SrgbConversion::fromProfile(
        reinterpret_cast<const std::uint8_t*>(profile.constData()), std::size_t(profile.size()),
        cmyk ? quill::colour::Pixels::Cmyk : quill::colour::Pixels::Rgb);
    const Profile source(
        cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size())));
    const Profile srgb(cmsCreate_sRGBProfile());
    cmsHTRANSFORM transform = cmsCreateTransform(source.get(), cmyk ? TYPE_CMYK_8 : TYPE_RGB_8,
                                                 srgb.get(), TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y) {
            const std::uint8_t* row = in.data() + std::size_t(y) * kWidth * inWidth;
            std::uint8_t* target = out.data() + std::size_t(y) * kWidth * 3;
            if (littleCms) {
                cmsDoTransform(transform, row, target, kWidth);
            } else {
                conversion.convert(row, target, kWidth);
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    cmsDeleteTransform(transform);
    report(state);
}
BENCHMARK(BM_ConvertRows24MP)
    ->ArgNames({"cmyk", "littlecms"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// 12-megapixel PNG files through the decoder process, without and with a wide-gamut profile.
void BM_PngDecoderProcess12MP(benchmark::State& state) {
    constexpr int width = 4000;
    constexpr int height = 3000;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.png"));
    {
        const quill::bench::FreeImageBitmap dib = quill::bench::freeImagePhoto(width, height);
        if (state.range(0) != 0) {
            QByteArray profile = displayP3Profile();
            FreeImage_CreateICCProfile(dib.get(), profile.data(), long(profile.size()));
        }
        FreeImage_Save(FIF_PNG, dib.get(), QFile::encodeName(file).constData(), 0);
    }
    quill::startDecoderService();
    quill::TJPEGImage jpeg;
    QImage working;
    for (auto _ : state) {
        if (quill::LoadPictureFile(working, jpeg, file) != quill::LoadOk || working.isNull()) {
            state.SkipWithError("the decoder process failed");
            break;
        }
        benchmark::DoNotOptimize(working.constBits());
    }
    quill::stopDecoderService();
}
BENCHMARK(BM_PngDecoderProcess12MP)
    ->ArgName("p3")
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
