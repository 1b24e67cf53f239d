#include "imaging/JpegImage.h"

#include "imaging/ColourProfile.h"
#include "imaging/JpegLimits.h"
#include "imaging/Orientation.h"
#include "imaging/PixelLimit.h"
#include "platform/Logging.h"
#include "platform/RegularFile.h"
#include "platform/SafeReplace.h"

#include <QGuiApplication>
#include <QList>
#include <QScreen>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace quill {

namespace {

// Decoding memory beyond the picture itself: the coefficients of a progressive file of about
// 110 megapixels at full colour resolution, or 220 with the usual halved chroma, fit. A file
// whose header asks for more fails at once instead of exhausting memory, so that the
// coefficients and the picture together stay well below 2 GiB.
constexpr long kMaxDecoderMemory = 640L << 20;
// Real progressive files have about ten scans; thousands of empty ones only burn time.
constexpr int kMaxScans = 1000;
constexpr int kPaletteColours = 236;
constexpr std::size_t kOutputBlock = 4096;

// libjpeg reports errors through error_exit, which must not return. It jumps back to the
// guarded() frame; everything between has trivially destructible locals only.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
    // Missing data is only a warning to libjpeg, which goes on with grey in its place: a scan's
    // data broke off, or the file ended without its end marker.
    bool brokeOff;
    bool ended;
    // Scans (in order) whose data was left out on purpose: libjpeg finds them empty, which is no
    // damage.
    const std::vector<bool>* emptiedScans;
};

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    errors->code = cinfo->err->msg_code;
    std::longjmp(errors->jump, 1);
}

[[noreturn]] void fail(j_common_ptr cinfo, int code) {
    cinfo->err->msg_code = code;
    errorExit(cinfo);
}

// Warnings do not stop decoding; only the two that mean missing data are noted.
void noteWarning(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return; // trace messages
    }
    auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
    const int code = cinfo->err->msg_code;
    if (code == JWRN_HIT_MARKER) {
        const int scan = cinfo->is_decompressor
                             ? reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number
                             : 0;
        const bool emptied = errors->emptiedScans && scan >= 1 &&
                             std::size_t(scan) <= errors->emptiedScans->size() &&
                             (*errors->emptiedScans)[std::size_t(scan) - 1];
        errors->brokeOff = errors->brokeOff || !emptied;
    } else if (code == JWRN_JPEG_EOF) {
        errors->ended = true;
    }
}
void ignoreOutput(j_common_ptr) {}

void setUpErrors(ErrorManager& errors) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.emit_message = noteWarning;
    errors.pub.output_message = ignoreOutput;
    errors.code = 0;
    errors.brokeOff = false;
    errors.ended = false;
    errors.emptiedScans = nullptr;
}

template <typename Body> bool guarded(ErrorManager& errors, Body&& body) {
    if (setjmp(errors.jump) != 0) {
        return false;
    }
    body();
    return true;
}

void limitScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) {
        return;
    }
    const auto* info = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (info->input_scan_number > kMaxScans ||
        jpeg_limits::exceedsScanBudget(info->image_width, info->image_height,
                                       std::uint64_t(std::max(info->input_scan_number, 0)))) {
        fail(cinfo, JERR_BAD_PROGRESSION);
    }
}

// The scans a file holds are counted before any is decoded, so that a file beyond the budget
// costs nothing; the progress monitor above stays as the bound while decoding.
bool scansWithinBudget(const jpeg_decompress_struct& info, const QByteArray& data) {
    const int scans = jpeg_limits::countScans(data);
    return scans <= kMaxScans && !jpeg_limits::exceedsScanBudget(
                                     info.image_width, info.image_height, std::uint64_t(scans));
}

// A progressive file whose data ran out before every coefficient was sent in full.
bool refinementMissing(const jpeg_decompress_struct& info) {
    if (!info.progressive_mode || !info.coef_bits) {
        return false;
    }
    for (int c = 0; c < info.num_components; ++c) {
        for (int k = 0; k < DCTSIZE2; ++k) {
            if (info.coef_bits[c][k] != 0) {
                return true;
            }
        }
    }
    return false;
}

struct Decompressor {
    Decompressor() {
        setUpErrors(errors);
        info.err = &errors.pub;
        progress.progress_monitor = limitScans;
    }
    ~Decompressor() {
        if (created) {
            jpeg_destroy_decompress(&info);
        }
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    // Inside guarded() only.
    void create(const QByteArray& bytes) {
        jpeg_create_decompress(&info);
        created = true;
        info.mem->max_memory_to_use = kMaxDecoderMemory;
        info.progress = &progress;
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                     static_cast<unsigned long>(bytes.size()));
        // EXIF (orientation) and ICC profile blocks; libjpeg skips them otherwise.
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(&info, TRUE);
    }

    jpeg_decompress_struct info{};
    ErrorManager errors{};
    jpeg_progress_mgr progress{};
    bool created = false;
};

// The encoder's destination: the whole file in memory, filled in blocks.
struct Destination {
    jpeg_destination_mgr pub;
    std::array<JOCTET, kOutputBlock> block;
    QByteArray* bytes;
};

bool appendBlock(Destination& destination, std::size_t count) {
    try {
        destination.bytes->append(reinterpret_cast<const char*>(destination.block.data()),
                                  qsizetype(count));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void startDestination(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<Destination*>(cinfo->dest);
    destination->pub.next_output_byte = destination->block.data();
    destination->pub.free_in_buffer = destination->block.size();
}

boolean flushDestination(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<Destination*>(cinfo->dest);
    if (!appendBlock(*destination, destination->block.size())) {
        fail(reinterpret_cast<j_common_ptr>(cinfo), JERR_OUT_OF_MEMORY);
    }
    startDestination(cinfo);
    return TRUE;
}

void finishDestination(j_compress_ptr cinfo) {
    auto* destination = reinterpret_cast<Destination*>(cinfo->dest);
    if (!appendBlock(*destination, destination->block.size() - destination->pub.free_in_buffer)) {
        fail(reinterpret_cast<j_common_ptr>(cinfo), JERR_OUT_OF_MEMORY);
    }
}

struct Compressor {
    Compressor() {
        setUpErrors(errors);
        info.err = &errors.pub;
        destination.pub.init_destination = startDestination;
        destination.pub.empty_output_buffer = flushDestination;
        destination.pub.term_destination = finishDestination;
    }
    ~Compressor() {
        if (created) {
            jpeg_destroy_compress(&info);
        }
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    jpeg_compress_struct info{};
    ErrorManager errors{};
    Destination destination{};
    bool created = false;
};

// Adobe's CMYK files store inverted ink values; others store the plain ones.
void cmykToRgb(const JSAMPLE* cmyk, uchar* rgb, unsigned width, bool inverted) {
    for (unsigned x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = uchar((ink * k + 127) / 255);
        }
    }
}

// The Orientation of the first EXIF block; upright without one.
int exifOrientation(const jpeg_decompress_struct& info) {
    static constexpr char kExifHeader[] = "Exif\0";
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= sizeof kExifHeader &&
            std::memcmp(marker->data, kExifHeader, sizeof kExifHeader) == 0) {
            return orientationFromExif(marker->data, marker->data_length);
        }
    }
    return kUpright;
}

// The identifiers of the components of a progressive file that an eighth-size decode draws from
// their DC coefficients alone (an inverse DCT of one point), as libjpeg sizes them; none for any
// other file or one whose header does not read.
std::vector<int> componentsDrawnFromDc(const QByteArray& bytes) {
    Decompressor jpeg;
    std::vector<int> components;
    guarded(jpeg.errors, [&] {
        jpeg.create(bytes);
        j_decompress_ptr info = &jpeg.info;
        if (!info->progressive_mode || info->arith_code) {
            return;
        }
        info->scale_num = 1;
        info->scale_denom = 8;
        jpeg_calc_output_dimensions(info);
        for (int c = 0; c < info->num_components; ++c) {
            if (info->comp_info[c].DCT_scaled_size == 1) {
                components.push_back(info->comp_info[c].component_id);
            }
        }
    });
    return components;
}

struct MallocFree {
    void operator()(JOCTET* data) const { std::free(data); }
};

// The colours of a palette picture are converted through its table.
void convertPalette(std::array<QRgb, 256>& palette, int colours,
                    const colour::SrgbConversion& toSrgb, bool grey) {
    std::array<uchar, 256 * 3> in{};
    std::array<uchar, 256 * 3> out{};
    for (int i = 0; i < colours; ++i) {
        const QRgb colour = palette[std::size_t(i)];
        if (grey) {
            in[std::size_t(i)] = uchar(qRed(colour));
        } else {
            in[std::size_t(i) * 3] = uchar(qRed(colour));
            in[std::size_t(i) * 3 + 1] = uchar(qGreen(colour));
            in[std::size_t(i) * 3 + 2] = uchar(qBlue(colour));
        }
    }
    toSrgb.convert(in.data(), out.data(), std::size_t(colours));
    for (int i = 0; i < colours; ++i) {
        const uchar* rgb = out.data() + std::size_t(i) * 3;
        palette[std::size_t(i)] = qRgb(rgb[0], rgb[1], rgb[2]);
    }
}

} // namespace

EJPEG::EJPEG(int messageCode)
    : Failure(QStringLiteral("JPEG-Fehler #%1").arg(messageCode)), messageCode_(messageCode) {}

EFOpenError::EFOpenError(const QString& path)
    : Failure(QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(path)) {}

EFCreateError::EFCreateError(const QString& path)
    : Failure(QStringLiteral("Datei %1 kann nicht erstellt werden").arg(path)) {}

TJPEGDefaults& JPEGDefaults() {
    static TJPEGDefaults defaults = [] {
        TJPEGDefaults table;
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            if (const QScreen* screen = QGuiApplication::primaryScreen();
                screen && screen->depth() <= 8) {
                table.PixelFormat = jf8Bit;
            }
        }
        return table;
    }();
    return defaults;
}

TJPEGImage::TJPEGImage() : TJPEGImage(JPEGDefaults()) {}

TJPEGImage::TJPEGImage(const TJPEGDefaults& defaults) {
    quality_ = defaults.CompressionQuality;
    progressive_ = defaults.ProgressiveEncoding;
    grayscale_ = defaults.Grayscale;
    smoothing_ = defaults.Smoothing;
    performance_ = defaults.Performance;
    pixelFormat_ = defaults.PixelFormat;
    scale_ = defaults.Scale;
    progressiveDisplay_ = defaults.ProgressiveDisplay;
}

void TJPEGImage::SetCompressionQuality(int quality) {
    quality_ = std::clamp(quality, 1, 100);
}

int TJPEGImage::Width() const {
    return bitmap_.isNull() ? data_.Width : bitmap_.width();
}

int TJPEGImage::Height() const {
    return bitmap_.isNull() ? data_.Height : bitmap_.height();
}

bool TJPEGImage::Empty() const {
    return bitmap_.isNull() && data_.Data.isEmpty();
}

void TJPEGImage::SetWidth(int) {
    throw EJPEG(QStringLiteral("Die Größe einer JPEG-Grafik kann nicht verändert werden"));
}

void TJPEGImage::SetHeight(int) {
    throw EJPEG(QStringLiteral("Die Größe einer JPEG-Grafik kann nicht verändert werden"));
}

void TJPEGImage::LoadFromFile(const QString& path) {
    QByteArray bytes;
    switch (readRegularFile(path, bytes, jpeg_limits::kMaxFileBytes)) {
    case RegularFileRead::Read:
        break;
    case RegularFileRead::CannotOpen:
        throw EFOpenError(path);
    case RegularFileRead::TooLarge:
        throw EJPEG(JERR_IMAGE_TOO_BIG);
    }
    LoadFromBytes(bytes);
}

void TJPEGImage::LoadFromBytes(const QByteArray& bytes) {
    data_ = TJPEGData{bytes, 0, 0, false};
    bitmap_ = QImage();
    incomplete_ = false;
    readHeader();
}

void TJPEGImage::readHeader() {
    Decompressor jpeg;
    int width = 0;
    int height = 0;
    bool grey = false;
    bool multiScan = false;
    if (!guarded(jpeg.errors, [&] {
            jpeg.create(data_.Data);
            width = int(jpeg.info.image_width);
            height = int(jpeg.info.image_height);
            grey = jpeg.info.jpeg_color_space == JCS_GRAYSCALE;
            multiScan = jpeg_has_multiple_scans(&jpeg.info);
        })) {
        throw EJPEG(jpeg.errors.code);
    }
    data_.Width = width;
    data_.Height = height;
    data_.Grayscale = grey;
    data_.Orientation = exifOrientation(jpeg.info);
    progressive_ = multiScan;
}

void TJPEGImage::Assign(const QImage& bitmap) {
    data_ = TJPEGData{};
    bitmap_ = bitmap;
    incomplete_ = false;
}

void TJPEGImage::AssignTo(QImage& target) {
    DIBNeeded();
    target = bitmap_;
}

void TJPEGImage::DIBNeeded() {
    if (bitmap_.isNull()) {
        decompress();
    }
}

void TJPEGImage::JPEGNeeded() {
    if (data_.Data.isEmpty()) {
        compress();
    }
}

void TJPEGImage::decompress() {
    bool incomplete = false;
    bitmap_ = decode(8, incomplete, data_.Data);
    incomplete_ = incomplete;
}

QImage TJPEGImage::DecodeReduced(QSize atLeast, bool* incomplete, ScanUse scans) const {
    // libjpeg rounds a scaled side up: ceil(side * eighths / 8).
    const auto reaches = [](int side, unsigned eighths, int wanted) {
        return (std::int64_t(side) * eighths + 7) / 8 >= wanted;
    };
    unsigned eighths = 1;
    while (eighths < 8 && !(reaches(data_.Width, eighths, atLeast.width()) &&
                            reaches(data_.Height, eighths, atLeast.height()))) {
        ++eighths;
    }
    bool brokeOff = false;
    // At an eighth each block of a full-resolution component is drawn from its DC coefficient
    // alone, so the AC scans of those components need not be decoded: the picture is exactly
    // the one all scans give.
    std::optional<jpeg_limits::DcScansOnly> dcOnly;
    if (eighths == 1 && scans == ScanUse::Needed) {
        const std::vector<int> components = componentsDrawnFromDc(data_.Data);
        if (!components.empty()) {
            dcOnly = jpeg_limits::leaveOutAcData(data_.Data, components);
        }
    }
    QImage picture = dcOnly ? decode(eighths, brokeOff, dcOnly->stream, &dcOnly->emptied)
                            : decode(eighths, brokeOff, data_.Data);
    if (incomplete) {
        *incomplete = brokeOff;
    }
    return picture;
}

void TJPEGImage::TakeLoaded(TJPEGImage&& other) {
    data_ = std::move(other.data_);
    bitmap_ = std::move(other.bitmap_);
    progressive_ = other.progressive_;
    incomplete_ = other.incomplete_;
}

QImage TJPEGImage::decode(unsigned eighths, bool& incomplete, const QByteArray& bytes,
                          const std::vector<bool>* emptiedScans) const {
    Decompressor jpeg;
    jpeg.errors.emptiedScans = emptiedScans;
    unsigned fullWidth = 0;
    unsigned fullHeight = 0;
    unsigned width = 0;
    unsigned height = 0;
    bool quantise = false;
    bool cmyk = false;
    bool adobe = false;
    if (!guarded(jpeg.errors, [&] {
            jpeg.create(bytes);
            j_decompress_ptr info = &jpeg.info;
            // The object's own scale is always full size; a smaller decode is asked for in eighths.
            if (eighths >= 8) {
                info->scale_num = 1;
                info->scale_denom = 1u << unsigned(scale_);
            } else {
                info->scale_num = eighths;
                info->scale_denom = 8;
            }
            info->do_block_smoothing = smoothing_ ? TRUE : FALSE;
            info->buffered_image = progressiveDisplay_ ? TRUE : FALSE;
            if (performance_ == jpBestSpeed) {
                info->dct_method = JDCT_IFAST;
                info->two_pass_quantize = FALSE;
                info->dither_mode = JDITHER_ORDERED;
            }
            switch (info->jpeg_color_space) {
            case JCS_GRAYSCALE:
                info->out_color_space = JCS_GRAYSCALE;
                quantise = true;
                break;
            case JCS_CMYK:
            case JCS_YCCK:
                // libjpeg cannot make RGB of these itself; the ink values are converted below.
                info->out_color_space = JCS_CMYK;
                cmyk = true;
                break;
            default:
                info->out_color_space = JCS_RGB;
                quantise = pixelFormat_ == jf8Bit;
                break;
            }
            if (quantise) {
                info->quantize_colors = TRUE;
                info->desired_number_of_colors = kPaletteColours;
            }
            adobe = info->saw_Adobe_marker;
            jpeg_calc_output_dimensions(info);
            fullWidth = info->image_width;
            fullHeight = info->image_height;
            width = info->output_width;
            height = info->output_height;
        })) {
        throw EJPEG(jpeg.errors.code);
    }
    // A damaged profile chunk only means no profile.
    JOCTET* iccData = nullptr;
    unsigned iccLength = 0;
    guarded(jpeg.errors, [&] { jpeg_read_icc_profile(&jpeg.info, &iccData, &iccLength); });
    const std::unique_ptr<JOCTET, MallocFree> icc(iccData);
    // Judged by the whole picture, so that a smaller decode refuses exactly what the full one does.
    if (pictures::exceedsPixelLimit(fullWidth, fullHeight)) {
        throw EJPEG(JERR_IMAGE_TOO_BIG);
    }
    if (!scansWithinBudget(jpeg.info, bytes)) {
        throw EJPEG(JERR_BAD_PROGRESSION);
    }
    // Starting reads every scan of a progressive file and allocates the decoder's buffers: a file
    // that asks for too many scans or too much memory fails here, before the picture exists.
    if (!guarded(jpeg.errors, [&] { jpeg_start_decompress(&jpeg.info); })) {
        throw EJPEG(jpeg.errors.code);
    }
    const bool unrefined = refinementMissing(jpeg.info);
    const bool indexed = quantise && !cmyk;
    const bool greyPalette = indexed && jpeg.info.out_color_space == JCS_GRAYSCALE;
    const colour::Pixels layout =
        cmyk          ? (adobe ? colour::Pixels::CmykInverted : colour::Pixels::Cmyk)
        : greyPalette ? colour::Pixels::Grey
                      : colour::Pixels::Rgb;
    // A profile that cannot be used leaves the pixels as decoded.
    std::string profileIgnored;
    const colour::SrgbConversion toSrgb =
        colour::SrgbConversion::fromProfile(icc.get(), iccLength, layout, &profileIgnored);
    if (!profileIgnored.empty()) {
        qCDebug(lcLoad).noquote() << QString::fromStdString(profileIgnored);
    }
    QImage picture(int(width), int(height),
                   indexed ? QImage::Format_Indexed8 : QImage::Format_RGB888);
    if (picture.isNull()) {
        throw EJPEG(JERR_OUT_OF_MEMORY);
    }
    std::vector<JSAMPLE> inkRow(cmyk ? std::size_t(width) * 4 : 0);
    uchar* const bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    std::array<QRgb, 256> palette{};
    int colours = 0;
    std::optional<colour::ConversionBehind> behind; // converts finished rows on a second thread
    if (toSrgb && !indexed) {
        behind.emplace(toSrgb, bits, std::size_t(stride), width, height);
    }
    if (!guarded(jpeg.errors, [&] {
            j_decompress_ptr info = &jpeg.info;
            while (info->output_scanline < info->output_height) {
                const JDIMENSION y = info->output_scanline;
                JSAMPROW row = behind ? behind->rowFor(y)
                               : cmyk ? inkRow.data()
                                      : bits + y * stride;
                if (jpeg_read_scanlines(info, &row, 1) != 1) {
                    fail(reinterpret_cast<j_common_ptr>(info), JERR_INPUT_EOF);
                }
                if (behind) {
                    behind->decoded(y + 1);
                } else if (cmyk) {
                    cmykToRgb(inkRow.data(), bits + y * stride, width, adobe);
                }
            }
            if (indexed) {
                colours = info->actual_number_of_colors;
                for (int i = 0; i < colours && i < 256; ++i) {
                    const int r = info->colormap[0][i];
                    const int g = info->out_color_components > 1 ? info->colormap[1][i] : r;
                    const int b = info->out_color_components > 2 ? info->colormap[2][i] : r;
                    palette[std::size_t(i)] = qRgb(r, g, b);
                }
            }
            jpeg_finish_decompress(info);
        })) {
        throw EJPEG(jpeg.errors.code);
    }
    if (behind) {
        behind->finish();
    }
    if (indexed) {
        if (toSrgb) {
            convertPalette(palette, colours, toSrgb, greyPalette);
        }
        picture.setColorTable(QList<QRgb>(palette.begin(), palette.begin() + colours));
    }
    // Data that breaks off inside a scan leaves the rest of it grey. A file that only lacks its
    // end marker is whole, unless (progressive) it ended between scans before every coefficient
    // had arrived.
    incomplete = jpeg.errors.brokeOff || (jpeg.errors.ended && unrefined);
    return picture;
}

void TJPEGImage::compress() {
    if (bitmap_.isNull() || bitmap_.width() == 0 || bitmap_.height() == 0) {
        throw EJPEG(JERR_EMPTY_IMAGE);
    }
    const QImage rgb = bitmap_.format() == QImage::Format_RGB888
                           ? bitmap_
                           : bitmap_.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) {
        throw EJPEG(JERR_OUT_OF_MEMORY);
    }
    std::vector<JSAMPROW> rows(std::size_t(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y) {
        rows[std::size_t(y)] = const_cast<JSAMPROW>(rgb.constScanLine(y));
    }
    QByteArray bytes;
    Compressor jpeg;
    jpeg.destination.bytes = &bytes;
    if (!guarded(jpeg.errors, [&] {
            j_compress_ptr info = &jpeg.info;
            jpeg_create_compress(info);
            jpeg.created = true;
            info->dest = &jpeg.destination.pub;
            info->image_width = JDIMENSION(rgb.width());
            info->image_height = JDIMENSION(rgb.height());
            info->input_components = 3;
            info->in_color_space = JCS_RGB;
            jpeg_set_defaults(info);
            jpeg_set_quality(info, quality_, TRUE);
            if (grayscale_) {
                jpeg_set_colorspace(info, JCS_GRAYSCALE);
            }
            if (progressive_) {
                jpeg_simple_progression(info);
            }
            jpeg_start_compress(info, TRUE);
            while (info->next_scanline < info->image_height) {
                jpeg_write_scanlines(info, rows.data() + info->next_scanline,
                                     info->image_height - info->next_scanline);
            }
            jpeg_finish_compress(info);
        })) {
        throw EJPEG(jpeg.errors.code);
    }
    data_ = TJPEGData{bytes, rgb.width(), rgb.height(), grayscale_};
}

void TJPEGImage::SaveToFile(const QString& path) {
    JPEGNeeded();
    if (!replaceFileSafely(path, data_.Data)) {
        throw EFCreateError(path);
    }
}

} // namespace quill
