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

struct TiffPicture {
    std::uint32_t width = 0; // 0: one row of all the values
    std::uint32_t height = 1;
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
    std::uint16_t maxSampleValue = 0;     // 0 leaves the tag out
    std::vector<std::uint16_t> colourMap; // red, green, blue tables of 2^bits entries each
    std::vector<std::uint8_t> iccProfile; // written as it is when not empty
    bool jpegFromRgb = false;             // YCbCr JPEG made from RGB values by libtiff
    std::vector<double> values;           // samples row by row, pixel by pixel
};

namespace detail {

// Packs samples MSB first into rows of whole bytes, in the host's byte order for wider samples
// (libtiff swaps them as the file needs).
inline void packSample(std::vector<std::uint8_t>& out, std::size_t& bitPos, double value,
                       const TiffPicture& picture) {
    if (picture.sampleFormat == SAMPLEFORMAT_IEEEFP) { // 32 bits
        const float single = float(value);
        out.resize(bitPos / 8 + 4);
        std::memcpy(out.data() + bitPos / 8, &single, 4);
        bitPos += 32;
        return;
    }
    const auto raw = std::uint64_t(std::int64_t(value));
    if (picture.bits == 16 || picture.bits == 32) {
        const std::size_t at = bitPos / 8;
        out.resize(std::max(out.size(), at + picture.bits / 8u));
        const auto narrow16 = std::uint16_t(raw);
        const auto narrow32 = std::uint32_t(raw);
        std::memcpy(out.data() + at,
                    picture.bits == 16 ? static_cast<const void*>(&narrow16) : &narrow32,
                    picture.bits / 8u);
        bitPos += picture.bits;
        return;
    }
    for (int bit = picture.bits - 1; bit >= 0; --bit, ++bitPos) {
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
inline std::vector<std::uint8_t> packArea(const TiffPicture& picture, std::uint32_t x0,
                                          std::uint32_t y0, std::uint32_t w, std::uint32_t h,
                                          int plane) {
    std::vector<std::uint8_t> out;
    std::size_t bitPos = 0;
    for (std::uint32_t y = y0; y < y0 + h; ++y) {
        for (std::uint32_t x = x0; x < x0 + w; ++x) {
            for (int s = 0; s < picture.samples; ++s) {
                if (plane >= 0 && s != plane) {
                    continue;
                }
                const bool inside = x < picture.width && y < picture.height;
                const std::size_t at = (std::size_t(y) * picture.width + x) * picture.samples + s;
                packSample(out, bitPos, inside ? picture.values.at(at) : 0.0, picture);
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
inline bool writeTiff(const char* path, TiffPicture picture) {
    if (picture.width == 0) {
        picture.width = std::uint32_t(picture.values.size() / picture.samples);
    }
    const std::unique_ptr<TIFF, detail::TiffCloser> tiff(TIFFOpen(path, "w"));
    if (!tiff) {
        return false;
    }
    TIFF* t = tiff.get();
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, picture.width) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, picture.height) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, picture.bits) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, picture.photometric) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, picture.planar) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, picture.compression);
    if (picture.writeSamplesTag) {
        ok &= TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, picture.samples) == 1;
    }
    if (picture.sampleFormat != SAMPLEFORMAT_UINT) {
        ok &= TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, picture.sampleFormat) == 1;
    }
    if (!picture.extraSamples.empty()) {
        ok &= TIFFSetField(t, TIFFTAG_EXTRASAMPLES, std::uint16_t(picture.extraSamples.size()),
                           picture.extraSamples.data()) == 1;
    }
    if (picture.maxSampleValue != 0) {
        ok &= TIFFSetField(t, TIFFTAG_MAXSAMPLEVALUE, picture.maxSampleValue) == 1;
    }
    if (picture.orientation != 0) {
        ok &= TIFFSetField(t, TIFFTAG_ORIENTATION, picture.orientation) == 1;
    }
    if (!picture.colourMap.empty()) {
        const std::size_t n = picture.colourMap.size() / 3;
        ok &= TIFFSetField(t, TIFFTAG_COLORMAP, picture.colourMap.data(),
                           picture.colourMap.data() + n, picture.colourMap.data() + 2 * n) == 1;
    }
    if (!picture.iccProfile.empty()) {
        ok &= TIFFSetField(t, TIFFTAG_ICCPROFILE, std::uint32_t(picture.iccProfile.size()),
                           picture.iccProfile.data()) == 1;
    }
    if (picture.compression == COMPRESSION_JPEG) {
        ok &= TIFFSetField(t, TIFFTAG_JPEGQUALITY, 100) == 1;
        if (picture.jpegFromRgb) {
            ok &= TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) == 1;
        }
    }
    // Tiles, or strips of 16 rows (JPEG needs a multiple of 8 or 16).
    const std::uint32_t blockWidth = picture.tile != 0 ? picture.tile : picture.width;
    const std::uint32_t blockHeight =
        picture.tile != 0 ? picture.tile : std::min(16u, picture.height);
    ok &= picture.tile != 0 ? TIFFSetField(t, TIFFTAG_TILEWIDTH, picture.tile) &&
                                  TIFFSetField(t, TIFFTAG_TILELENGTH, picture.tile)
                            : TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, blockHeight) == 1;
    const int planes = picture.planar == PLANARCONFIG_SEPARATE ? picture.samples : 1;
    for (int p = 0; ok && p < planes; ++p) {
        for (std::uint32_t y = 0; ok && y < picture.height; y += blockHeight) {
            for (std::uint32_t x = 0; ok && x < picture.width; x += blockWidth) {
                const std::uint32_t h =
                    picture.tile != 0 ? blockHeight : std::min(blockHeight, picture.height - y);
                std::vector<std::uint8_t> area =
                    detail::packArea(picture, x, y, blockWidth, h, planes > 1 ? p : -1);
                const auto plane = std::uint16_t(p);
                ok = (picture.tile != 0
                          ? TIFFWriteEncodedTile(t, TIFFComputeTile(t, x, y, 0, plane), area.data(),
                                                 tmsize_t(area.size()))
                          : TIFFWriteEncodedStrip(t, TIFFComputeStrip(t, y, plane), area.data(),
                                                  tmsize_t(area.size()))) >= 0;
            }
        }
    }
    return ok && TIFFWriteDirectory(t);
}

} // namespace quill::test::tiffs
