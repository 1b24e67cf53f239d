#pragma once
// Colour profiles made with Little CMS for the tests and benchmarks, as the bytes a file embeds.
// Header only; whoever includes it links Little CMS.

#include <QByteArray>

#include <lcms2.h>
#include <memory>
#include <vector>

namespace quill::test::profiles {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

// The profile as it is stored in a file; empty when there is none.
inline QByteArray bytesOf(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile, nullptr, &size)) {
        return {};
    }
    QByteArray bytes(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    return bytes;
}

// An RGB profile of these primaries with D65 white, and sRGB's curve (or a plain gamma).
inline QByteArray rgbProfile(cmsCIExyYTRIPLE primaries, double gamma = 0) {
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    const cmsFloat64Number parameters[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = gamma > 0 ? cmsBuildGamma(nullptr, gamma)
                                    : cmsBuildParametricToneCurve(nullptr, 4, parameters);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    const Profile profile(cmsCreateRGBProfile(&d65, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytesOf(profile.get());
}

// Display P3: wider primaries, sRGB's white and curve.
inline QByteArray displayP3Profile() {
    return rgbProfile({{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}});
}

// sRGB with its red and green primaries exchanged: what the file calls red is sRGB green.
inline QByteArray swappedProfile() {
    return rgbProfile({{0.30, 0.60, 1.0}, {0.64, 0.33, 1.0}, {0.15, 0.06, 1.0}});
}

// ProPhoto's primaries with a plain 1.8 gamma: colours far outside sRGB, clipped.
inline QByteArray proPhotoProfile() {
    return rgbProfile({{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}}, 1.8);
}

inline QByteArray srgbProfile() {
    const Profile profile(cmsCreate_sRGBProfile());
    return bytesOf(profile.get());
}

// A curve of `segments` pieces, each (x)^gamma on its own stretch of 0 to 1, in the float form
// of a processing-element pipeline.
inline cmsToneCurve* segmentedCurve(double gamma, int segments) {
    std::vector<cmsCurveSegment> pieces(std::size_t(segments), cmsCurveSegment{});
    for (int i = 0; i < segments; ++i) {
        cmsCurveSegment& piece = pieces[std::size_t(i)];
        piece.x0 = i == 0 ? -1e22f : float(i) / float(segments);
        piece.x1 = i + 1 == segments ? 1e22f : float(i + 1) / float(segments);
        piece.Type = 6; // (a x + b)^gamma + c
        piece.Params[0] = gamma;
        piece.Params[1] = 1;
    }
    return cmsBuildSegmentedToneCurve(nullptr, cmsUInt32Number(segments), pieces.data());
}

// sRGB's matrix and curves, and a float pipeline (D2B0) that Little CMS takes before them: a
// 2.2 gamma and these primaries, by way of `stages` curve sets of `segments` pieces that leave
// the values as they are. A reader that builds its tables from the matrix and curves gets other
// colours than Little CMS's own transform.
inline QByteArray floatPipelineProfile(cmsCIExyYTRIPLE primaries, int stages = 0,
                                       int segments = 1) {
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* linears[3] = {linear, linear, linear};
    const Profile shape(cmsCreateRGBProfile(&d65, &primaries, linears));
    cmsFreeToneCurve(linear);
    cmsFloat64Number matrix[9];
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                          cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(shape.get(), colorants[c]));
        matrix[c] = xyz->X;
        matrix[3 + c] = xyz->Y;
        matrix[6 + c] = xyz->Z;
    }
    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 3, 3);
    const auto addCurves = [pipeline](double gamma, int pieces) {
        cmsToneCurve* curve = segmentedCurve(gamma, pieces);
        cmsToneCurve* curves[3] = {curve, curve, curve};
        cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, curves));
        cmsFreeToneCurve(curve);
    };
    addCurves(2.2, 1);
    for (int i = 0; i < stages; ++i) {
        addCurves(1.0, segments);
    }
    cmsPipelineInsertStage(pipeline, cmsAT_END,
                           cmsStageAllocMatrix(nullptr, 3, 3, matrix, nullptr));
    const Profile profile(cmsCreate_sRGBProfile());
    cmsWriteTag(profile.get(), cmsSigDToB0Tag, pipeline);
    cmsPipelineFree(pipeline);
    return bytesOf(profile.get());
}

// A CMYK press profile that prints cyan ink as yellow, magenta as cyan and yellow as magenta, so
// that a conversion through it cannot be mistaken for the plain ink arithmetic.
inline QByteArray rotatingCmykProfile() {
    const Profile srgb(cmsCreate_sRGBProfile());
    const Profile lab(cmsCreateLab4Profile(nullptr));
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb.get(), TYPE_RGB_DBL, lab.get(), TYPE_Lab_DBL,
                                             INTENT_RELATIVE_COLORIMETRIC, 0);
    const Profile profile(cmsCreateProfilePlaceholder(nullptr));
    cmsSetProfileVersion(profile.get(), 2.1); // a bare grid is a lut16 there
    cmsSetDeviceClass(profile.get(), cmsSigOutputClass);
    cmsSetColorSpace(profile.get(), cmsSigCmykData);
    cmsSetPCS(profile.get(), cmsSigLabData);
    cmsWriteTag(profile.get(), cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 2, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        grid,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
            const double c = in[0] / 65535.0, m = in[1] / 65535.0, y = in[2] / 65535.0,
                         k = in[3] / 65535.0;
            const double rgb[3] = {(1 - m) * (1 - k), (1 - y) * (1 - k), (1 - c) * (1 - k)};
            cmsCIELab colour;
            cmsDoTransform(cargo, rgb, &colour, 1);
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

} // namespace quill::test::profiles
