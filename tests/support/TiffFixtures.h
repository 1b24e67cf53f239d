#pragma once
// TIFF files made by the tests with libtiff: a few tags and the sample values, written in strips
// or tiles, with the samples of a pixel together or in planes. Header only.

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace quill::test::tiffs {

struct TiffSpec {
    std::uint32_t width = 4;
    std::uint32_t height = 2;
    std::uint16_t bits = 8;
    std::uint16_t samples = 3;
    bool writeSamplesTag = true; // the tag may be left out when there is one sample
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    std::uint32_t tile = 0; // tile width and height, a multiple of 16; 0 writes strips
    std::vector<std::uint16_t> extraSamples;
    std::uint16_t orientation = 0;        // 0 leaves the tag out
    std::vector<std::uint16_t> colourMap; // red, green, blue tables of 2^bits entries each
    std::vector<std::uint8_t> iccProfile; // written as it is when not empty
    bool jpegFromRgb = false;             // YCbCr JPEG made from RGB values by libtiff
    std::vector<double> values;           // samples row by row, pixel by pixel
    std::uint16_t pages = 1;              // the same picture again in further directories
};

namespace detail {

// Packs samples MSB first into rows of whole bytes, in the host's byte order for wider samples
// (libtiff swaps them as the file needs).
inline void packSample(std::vector<std::uint8_t>& out, std::size_t& bitPos, double value,
                       const TiffSpec& spec) {
    if (spec.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        const std::size_t at = bitPos / 8;
        out.resize(std::max(out.size(), at + spec.bits / 8u));
        if (spec.bits == 64) {
            std::memcpy(out.data() + at, &value, 8);
        } else {
            const float single = float(value);
            std::memcpy(out.data() + at, &single, 4);
        }
        bitPos += spec.bits;
        return;
    }
    const auto raw = std::uint64_t(std::int64_t(value));
    if (spec.bits == 16 || spec.bits == 32) {
        const std::size_t at = bitPos / 8;
        out.resize(std::max(out.size(), at + spec.bits / 8u));
        if (spec.bits == 16) {
            const auto v = std::uint16_t(raw);
            std::memcpy(out.data() + at, &v, 2);
        } else {
            const auto v = std::uint32_t(raw);
            std::memcpy(out.data() + at, &v, 4);
        }
        bitPos += spec.bits;
        return;
    }
    for (int bit = spec.bits - 1; bit >= 0; --bit, ++bitPos) {
        if (bitPos / 8 >= out.size()) {
            out.push_back(0);
        }
        if ((raw >> bit) & 1) {
            out[bitPos / 8] |= std::uint8_t(0x80 >> (bitPos % 8));
        }
    }
}

// The samples of the area (x0, y0, w, h) of plane (or of all samples, plane < 0) as rows padded
// to whole bytes; outside the picture, zeros.
inline std::vector<std::uint8_t> packArea(const TiffSpec& spec, std::uint32_t x0, std::uint32_t y0,
                                          std::uint32_t w, std::uint32_t h, int plane) {
    std::vector<std::uint8_t> out;
    std::size_t bitPos = 0;
    for (std::uint32_t y = y0; y < y0 + h; ++y) {
        for (std::uint32_t x = x0; x < x0 + w; ++x) {
            for (int s = 0; s < spec.samples; ++s) {
                if (plane >= 0 && s != plane) {
                    continue;
                }
                const bool inside = x < spec.width && y < spec.height;
                const std::size_t at = (std::size_t(y) * spec.width + x) * spec.samples + s;
                packSample(out, bitPos, inside ? spec.values.at(at) : 0.0, spec);
            }
        }
        bitPos = (bitPos + 7) / 8 * 8;
        out.resize(bitPos / 8);
    }
    return out;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

} // namespace detail

// Writes the picture; false when libtiff refuses a tag or the pixels.
inline bool writeTiff(const char* path, const TiffSpec& spec) {
    const std::unique_ptr<TIFF, detail::TiffCloser> tiff(TIFFOpen(path, "w"));
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    for (std::uint16_t page = 0; page < spec.pages; ++page) {
        bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, spec.width) &&
                  TIFFSetField(t, TIFFTAG_IMAGELENGTH, spec.height) &&
                  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, spec.bits) &&
                  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, spec.photometric) &&
                  TIFFSetField(t, TIFFTAG_PLANARCONFIG, spec.planar) &&
                  TIFFSetField(t, TIFFTAG_COMPRESSION, spec.compression);
        if (spec.writeSamplesTag) {
            ok = ok && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spec.samples);
        }
        if (spec.sampleFormat != SAMPLEFORMAT_UINT) {
            ok = ok && TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, spec.sampleFormat);
        }
        if (!spec.extraSamples.empty()) {
            ok =
                ok && TIFFSetField(t, TIFFTAG_EXTRASAMPLES, std::uint16_t(spec.extraSamples.size()),
                                   spec.extraSamples.data());
        }
        if (spec.orientation != 0) {
            ok = ok && TIFFSetField(t, TIFFTAG_ORIENTATION, spec.orientation);
        }
        if (!spec.colourMap.empty()) {
            const std::size_t n = spec.colourMap.size() / 3;
            ok = ok && TIFFSetField(t, TIFFTAG_COLORMAP, spec.colourMap.data(),
                                    spec.colourMap.data() + n, spec.colourMap.data() + 2 * n);
        }
        if (!spec.iccProfile.empty()) {
            ok = ok && TIFFSetField(t, TIFFTAG_ICCPROFILE, std::uint32_t(spec.iccProfile.size()),
                                    spec.iccProfile.data());
        }
        if (spec.compression == COMPRESSION_JPEG) {
            ok = ok && TIFFSetField(t, TIFFTAG_JPEGQUALITY, 100);
            if (spec.jpegFromRgb) {
                ok = ok && TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            }
        }
        const int planes = spec.planar == PLANARCONFIG_SEPARATE ? spec.samples : 1;
        if (spec.tile != 0) {
            ok = ok && TIFFSetField(t, TIFFTAG_TILEWIDTH, spec.tile) &&
                 TIFFSetField(t, TIFFTAG_TILELENGTH, spec.tile);
            for (int p = 0; ok && p < planes; ++p) {
                for (std::uint32_t y = 0; ok && y < spec.height; y += spec.tile) {
                    for (std::uint32_t x = 0; ok && x < spec.width; x += spec.tile) {
                        std::vector<std::uint8_t> area =
                            detail::packArea(spec, x, y, spec.tile, spec.tile, planes > 1 ? p : -1);
                        ok = TIFFWriteEncodedTile(t, TIFFComputeTile(t, x, y, 0, std::uint16_t(p)),
                                                  area.data(), tmsize_t(area.size())) >= 0;
                    }
                }
            }
        } else {
            // Strips of 16 rows (JPEG needs a multiple of 8 or 16).
            const std::uint32_t rows = std::min<std::uint32_t>(16, spec.height);
            ok = ok && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows);
            for (int p = 0; ok && p < planes; ++p) {
                for (std::uint32_t y = 0; ok && y < spec.height; y += rows) {
                    const std::uint32_t h = std::min(rows, spec.height - y);
                    std::vector<std::uint8_t> area =
                        detail::packArea(spec, 0, y, spec.width, h, planes > 1 ? p : -1);
                    ok = TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, y, std::uint16_t(p)),
                                               area.data(), tmsize_t(area.size())) >= 0;
                }
            }
        }
        if (!ok || !TIFFWriteDirectory(t)) {
            return false;
        }
    }
    return true;
}

} // namespace quill::test::tiffs
