#pragma once
// Small pictures of the newer formats, made with the formats' own encoders: HEIF and AVIF
// (libheif), WebP (libwebp), JPEG XL (libjxl), a GIF and a CFA DNG written by hand and with
// libtiff.

#include <QByteArray>
#include <QFile>
#include <QImage>

#include <jxl/encode.h>
#include <libheif/heif.h>
#include <libheif/heif_properties.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace quill::test::modern {

// A grey picture with a red block in its top left corner, which shows where that corner went.
inline QImage marked(int width = 32, int height = 24, QColor base = QColor(128, 128, 128, 255)) {
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(base);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            image.setPixelColor(x, y, QColor(220, 30, 30));
        }
    }
    return image;
}

struct HeifOptions {
    heif_compression_format codec = heif_compression_HEVC;
    int orientation = 1;     // written as irot/imir
    int exifOrientation = 0; // an EXIF block with this orientation, as phones add
    int bits = 8;
    bool displayP3 = false;       // an nclx colour description of Display P3
    const char* preset = nullptr; // x265's, for large pictures
    int tile = 0;                 // a grid of tiles this size, as phones write their photos
    int quality = 95;
};

inline QByteArray heif(const QImage& picture, const HeifOptions& o) {
    const bool alpha = picture.pixelColor(picture.width() - 1, picture.height() - 1).alpha() < 255;
    const std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(),
                                                                         heif_context_free);
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context.get(), o.codec, &encoder);
    heif_encoder_set_lossy_quality(encoder, o.quality);
    heif_encoder_set_parameter_integer(encoder, "speed", 8); // AV1's fastest that is still usual
    if (o.preset) {
        heif_encoder_set_parameter_string(encoder, "preset", o.preset);
    }
    const heif_chroma chroma = o.bits > 8 ? heif_chroma_interleaved_RRGGBB_LE
                               : alpha    ? heif_chroma_interleaved_RGBA
                                          : heif_chroma_interleaved_RGB;
    const auto part = [&](const QImage& piece) {
        heif_image* made = nullptr;
        heif_image_create(piece.width(), piece.height(), heif_colorspace_RGB, chroma, &made);
        heif_image_add_plane(made, heif_channel_interleaved, piece.width(), piece.height(), o.bits);
        int stride = 0;
        std::uint8_t* rows = heif_image_get_plane(made, heif_channel_interleaved, &stride);
        const int count = alpha ? 4 : 3;
        for (int y = 0; y < piece.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(piece.constScanLine(y));
            for (int x = 0; x < piece.width(); ++x) {
                const int channels[4] = {qRed(line[x]), qGreen(line[x]), qBlue(line[x]),
                                         qAlpha(line[x])};
                for (int i = 0; i < count; ++i) {
                    if (o.bits > 8) {
                        const int v = channels[i] * ((1 << o.bits) - 1) / 255;
                        rows[y * stride + (x * count + i) * 2] = std::uint8_t(v & 0xff);
                        rows[y * stride + (x * count + i) * 2 + 1] = std::uint8_t(v >> 8);
                    } else {
                        rows[y * stride + x * count + i] = std::uint8_t(channels[i]);
                    }
                }
            }
        }
        return made;
    };
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    heif_image* image = part(argb);
    if (o.displayP3) {
        heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
        heif_nclx_color_profile_set_color_primaries(nclx, 12);
        heif_nclx_color_profile_set_transfer_characteristics(nclx, 13);
        heif_nclx_color_profile_set_matrix_coefficients(nclx, 6);
        nclx->full_range_flag = 1;
        heif_image_set_nclx_color_profile(image, nclx);
        heif_nclx_color_profile_free(nclx);
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = heif_orientation(o.orientation);
    heif_image_handle* handle = nullptr;
    if (o.tile > 0) {
        const int columns = (picture.width() + o.tile - 1) / o.tile;
        const int rowsOfTiles = (picture.height() + o.tile - 1) / o.tile;
        // The turn belongs to the grid, as phones write it (libheif's encoder turns each tile
        // instead): an irot box of its own, anticlockwise quarter turns (orientations 1, 3, 6, 8).
        options->image_orientation = heif_orientation_normal;
        heif_context_add_grid_image(context.get(), std::uint32_t(picture.width()),
                                    std::uint32_t(picture.height()), std::uint32_t(columns),
                                    std::uint32_t(rowsOfTiles), options, &handle);
        const std::uint8_t quarters = o.orientation == 3   ? 2
                                      : o.orientation == 6 ? 3
                                      : o.orientation == 8 ? 1
                                                           : 0;
        heif_item_add_raw_property(context.get(), heif_image_handle_get_item_id(handle),
                                   heif_fourcc('i', 'r', 'o', 't'), nullptr, &quarters, 1, 1,
                                   nullptr);
        for (int y = 0; y < rowsOfTiles; ++y) {
            for (int x = 0; x < columns; ++x) {
                heif_image* tile = part(argb.copy(x * o.tile, y * o.tile, o.tile, o.tile));
                heif_context_add_image_tile(context.get(), handle, std::uint32_t(x),
                                            std::uint32_t(y), tile, encoder);
                heif_image_release(tile);
            }
        }
        heif_context_set_primary_image(context.get(), handle);
    } else {
        heif_context_encode_image(context.get(), image, encoder, options, &handle);
    }
    if (o.exifOrientation > 0 && handle) {
        const char exif[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0,
                             0,   0,   1, 0,  0, 0, 0, 0, 0, 0, 0,    0,    0, 0, 0};
        QByteArray block(exif, sizeof exif);
        block[17] = 1;
        block[19] = char(o.exifOrientation);
        heif_context_add_exif_metadata(context.get(), handle, block.constData(), int(block.size()));
    }
    heif_image_handle_release(handle);
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    QByteArray out;
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* target) {
                           static_cast<QByteArray*>(target)->append(static_cast<const char*>(data),
                                                                    qsizetype(size));
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    heif_context_write(context.get(), &writer, &out);
    return out;
}

// A still (lossless unless a quality is given), or an animation whose first frame covers only part
// of its canvas at (x, y).
inline QByteArray webp(const QImage& picture, bool animated = false, int x = 8, int y = 6,
                       int quality = 0) {
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    std::uint8_t* encoded = nullptr;
    const size_t size = quality > 0
                            ? WebPEncodeRGBA(rgba.constBits(), rgba.width(), rgba.height(),
                                             int(rgba.bytesPerLine()), float(quality), &encoded)
                            : WebPEncodeLosslessRGBA(rgba.constBits(), rgba.width(), rgba.height(),
                                                     int(rgba.bytesPerLine()), &encoded);
    QByteArray still(reinterpret_cast<const char*>(encoded), qsizetype(size));
    WebPFree(encoded);
    if (!animated) {
        return still;
    }
    WebPMux* mux = WebPMuxNew();
    WebPMuxSetCanvasSize(mux, rgba.width() + x + 4, rgba.height() + y + 4);
    WebPMuxAnimParams params{0, 0};
    WebPMuxSetAnimationParams(mux, &params);
    for (int frame = 0; frame < 2; ++frame) {
        WebPMuxFrameInfo info{};
        info.bitstream = {reinterpret_cast<const std::uint8_t*>(still.constData()),
                          size_t(still.size())};
        info.x_offset = frame == 0 ? x : 0;
        info.y_offset = frame == 0 ? y : 0;
        info.duration = 100;
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = WEBP_MUX_DISPOSE_NONE;
        info.blend_method = WEBP_MUX_NO_BLEND;
        WebPMuxPushFrame(mux, &info, 1);
    }
    WebPData assembled{};
    WebPMuxAssemble(mux, &assembled);
    QByteArray out(reinterpret_cast<const char*>(assembled.bytes), qsizetype(assembled.size));
    WebPDataClear(&assembled);
    WebPMuxDelete(mux);
    return out;
}

// JPEG XL with the given orientation, lossless or at a visually lossless distance.
inline QByteArray jxl(const QImage& picture, int orientation = 1, bool lossless = true) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < rgb.height(); ++y) {
        pixels.insert(pixels.end(), rgb.constScanLine(y), rgb.constScanLine(y) + rgb.width() * 3);
    }
    const std::unique_ptr<JxlEncoder, void (*)(JxlEncoder*)> encoder(JxlEncoderCreate(nullptr),
                                                                     JxlEncoderDestroy);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = std::uint32_t(rgb.width());
    info.ysize = std::uint32_t(rgb.height());
    info.bits_per_sample = 8;
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    info.orientation = JxlOrientation(orientation);
    JxlEncoderSetBasicInfo(encoder.get(), &info);
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
    JxlEncoderSetColorEncoding(encoder.get(), &colour);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    if (lossless) {
        JxlEncoderSetFrameLossless(settings, JXL_TRUE);
    } else {
        JxlEncoderSetFrameDistance(settings, 1.0f);
        JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, 3);
    }
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size());
    JxlEncoderCloseInput(encoder.get());
    QByteArray out(4096, 0);
    std::uint8_t* next = reinterpret_cast<std::uint8_t*>(out.data());
    size_t room = size_t(out.size());
    while (JxlEncoderProcessOutput(encoder.get(), &next, &room) == JXL_ENC_NEED_MORE_OUTPUT) {
        const qsizetype used = next - reinterpret_cast<std::uint8_t*>(out.data());
        out.resize(out.size() * 2);
        next = reinterpret_cast<std::uint8_t*>(out.data()) + used;
        room = size_t(out.size() - used);
    }
    out.resize(next - reinterpret_cast<std::uint8_t*>(out.data()));
    return out;
}

// A GIF of 4 colours whose first frame (index 3 transparent) covers only part of its 12 x 10
// canvas: a red 3 x 2 rectangle at (2, 2) with its right column transparent.
inline QByteArray gif() {
    QByteArray out("GIF89a");
    out += QByteArray("\x0c\x00\x0a\x00\x81\x03\x00", 7); // canvas, global table of 4
    out += QByteArray("\xdc\x1e\x1e\x80\x80\x80\x00\x00\xff\xff\xff\xff", 12);
    out += QByteArray("\x21\xf9\x04\x01\x00\x00\x03\x00", 8); // transparent index 3
    out += QByteArray("\x2c\x02\x00\x02\x00\x03\x00\x02\x00\x00", 10);
    // Each index as a literal code of 3 bits, the table cleared after every two.
    const int indices[6] = {0, 0, 3, 0, 0, 3};
    std::vector<int> codes{4};
    for (int i = 0; i < 6; ++i) {
        codes.push_back(indices[i]);
        if (i % 2 == 1) {
            codes.push_back(4);
        }
    }
    codes.push_back(5);
    QByteArray data;
    unsigned bits = 0;
    int used = 0;
    for (const int code : codes) {
        bits |= unsigned(code) << used;
        for (used += 3; used >= 8; used -= 8, bits >>= 8) {
            data += char(bits & 0xff);
        }
    }
    if (used > 0) {
        data += char(bits & 0xff);
    }
    out += char(2);
    out += char(data.size());
    out += data;
    out += QByteArray("\x00\x3b", 2);
    return out;
}

// A DNG of 16-bit Bayer data (RGGB) from the picture's colours, with an Orientation tag.
inline QByteArray dng(const QImage& picture, int orientation, const QString& path) {
    TIFF* tiff = TIFFOpen(path.toLocal8Bit().constData(), "w");
    const std::uint32_t w = std::uint32_t(picture.width());
    const std::uint32_t h = std::uint32_t(picture.height());
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, 32803); // colour filter array
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(tiff, TIFFTAG_MAKE, "Quillmere");
    TIFFSetField(tiff, TIFFTAG_MODEL, "Bayer");
    TIFFSetField(tiff, TIFFTAG_UNIQUECAMERAMODEL, "Quillmere Bayer");
    const std::uint8_t version[4] = {1, 4, 0, 0};
    TIFFSetField(tiff, TIFFTAG_DNGVERSION, version);
    const std::uint16_t dims[2] = {2, 2};
    TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, dims);
    const std::uint8_t pattern[4] = {0, 1, 1, 2};
    TIFFSetField(tiff, TIFFTAG_CFAPATTERN, 4, pattern);
    // The sensor sees linear sRGB: the matrix from XYZ (D65) to it.
    const float toSensor[9] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f,
                               0.0415f, 0.0557f,  -0.2040f, 1.0570f};
    TIFFSetField(tiff, TIFFTAG_COLORMATRIX1, 9, toSensor);
    TIFFSetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
    const float neutral[3] = {1, 1, 1};
    TIFFSetField(tiff, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, h);
    std::vector<std::uint16_t> row(w);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            const QRgb c = picture.pixel(int(x), int(y));
            const int channel = (y % 2) * 2 + (x % 2); // R, G, G, B
            const int value = channel == 0 ? qRed(c) : channel == 3 ? qBlue(c) : qGreen(c);
            row[x] = std::uint16_t(std::pow(value / 255.0, 2.2) * 65535);
        }
        TIFFWriteScanline(tiff, row.data(), y, 0);
    }
    TIFFClose(tiff);
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace quill::test::modern
