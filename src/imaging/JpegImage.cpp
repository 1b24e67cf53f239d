#include "imaging/JpegImage.h"

#include "decoder/DecoderProtocol.h"
#include "imaging/DecoderService.h"
#include "platform/SafeReplace.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace quill {

namespace {

namespace proto = decoder_protocol;

constexpr std::size_t kOutputBlock = 4096;

// libjpeg reports errors through error_exit, which must not return. It jumps back to the
// guarded() frame; everything between has trivially destructible locals only.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
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

void ignoreMessage(j_common_ptr, int) {}
void ignoreOutput(j_common_ptr) {}

void setUpErrors(ErrorManager& errors) {
    jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.emit_message = ignoreMessage;
    errors.pub.output_message = ignoreOutput;
    errors.code = 0;
}

template <typename Body> bool guarded(ErrorManager& errors, Body&& body) {
    if (setjmp(errors.jump) != 0) {
        return false;
    }
    body();
    return true;
}

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

// One decode of file in the decoder process: the picture, or why there is none.
struct Decoded {
    QImage picture;
    proto::Reply reply{};
    std::optional<EJPEG> failure;
};

Decoded decodeInDecoder(const OpenedPicture& file, const proto::JpegAsk& ask) {
    Decoded decoded;
    QString why;
    const DecoderResult result =
        decodeJpegInDecoderProcess(file, ask, decoded.picture, decoded.reply, &why);
    if (result != DecoderResult::Picture) {
        decoded.picture = QImage();
        // libjpeg's own refusal keeps its message number; a decoder that crashed or overran its
        // time says so in words.
        const bool refused = result == DecoderResult::NoPicture || result == DecoderResult::Refused;
        decoded.failure = refused && decoded.reply.jpeg.error != 0
                              ? EJPEG(int(decoded.reply.jpeg.error))
                              : EJPEG(why.isEmpty() ? QStringLiteral("JPEG-Fehler") : why);
    }
    return decoded;
}

TJPEGData headerOf(const proto::Reply& reply) {
    const int orientation =
        reply.orientation >= 1 && reply.orientation <= 8 ? int(reply.orientation) : 1;
    return TJPEGData{QByteArray(), int(reply.jpeg.fileWidth), int(reply.jpeg.fileHeight),
                     reply.jpeg.grey != 0, orientation};
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
    return bitmap_.isNull() && data_.Data.isEmpty() && !source_;
}

void TJPEGImage::SetWidth(int) {
    throw EJPEG(QStringLiteral("Die Größe einer JPEG-Grafik kann nicht verändert werden"));
}

void TJPEGImage::SetHeight(int) {
    throw EJPEG(QStringLiteral("Die Größe einer JPEG-Grafik kann nicht verändert werden"));
}

void TJPEGImage::LoadFromFile(const QString& path) {
    std::shared_ptr<const OpenedPicture> file = OpenedPicture::open(path);
    if (!file) {
        throw EFOpenError(path);
    }
    if (file->identity().size > kMaxJpegFileBytes) {
        throw EJPEG(JERR_IMAGE_TOO_BIG);
    }
    LoadFromOpened(std::move(file));
}

void TJPEGImage::LoadFromBytes(const QByteArray& bytes) {
    std::shared_ptr<const OpenedPicture> file = OpenedPicture::fromBytes(bytes);
    if (!file) {
        throw EJPEG(JERR_OUT_OF_MEMORY);
    }
    LoadFromOpened(std::move(file));
}

proto::JpegAsk TJPEGImage::ask() const {
    proto::JpegAsk ask{};
    ask.smoothing = smoothing_ ? 1 : 0;
    ask.bestSpeed = performance_ == jpBestSpeed ? 1 : 0;
    ask.eightBit = pixelFormat_ == jf8Bit ? 1 : 0;
    ask.scaleShift = std::uint8_t(scale_);
    ask.progressiveDisplay = progressiveDisplay_ ? 1 : 0;
    return ask;
}

void TJPEGImage::holdInput(std::shared_ptr<const OpenedPicture> file) {
    data_ = TJPEGData{};
    bitmap_ = QImage();
    incomplete_ = false;
    failure_.reset();
    source_ = std::move(file);
}

void TJPEGImage::LoadFromOpened(std::shared_ptr<const OpenedPicture> file) {
    holdInput(nullptr);
    // One request reads the header and decodes: the picture is what every caller wants next.
    Decoded decoded = decodeInDecoder(*file, ask());
    if (!decoded.reply.jpeg.headerRead) {
        throw *decoded.failure;
    }
    data_ = headerOf(decoded.reply);
    progressive_ = decoded.reply.jpeg.progressive != 0;
    source_ = std::move(file);
    if (decoded.failure) {
        failure_ = std::move(decoded.failure);
        return;
    }
    bitmap_ = std::move(decoded.picture);
    incomplete_ = decoded.reply.damaged != 0;
}

QImage TJPEGImage::LoadPreview(std::shared_ptr<const OpenedPicture> file, int limit,
                               bool& damaged) {
    holdInput(nullptr);
    proto::JpegAsk reduced = ask();
    reduced.reduced = 1;
    reduced.fitLimit = std::uint32_t(std::max(limit, 1));
    Decoded decoded = decodeInDecoder(*file, reduced);
    if (decoded.reply.jpeg.headerRead) {
        data_ = headerOf(decoded.reply);
        progressive_ = decoded.reply.jpeg.progressive != 0;
        source_ = std::move(file);
    }
    if (decoded.failure) {
        throw *decoded.failure;
    }
    damaged = decoded.reply.damaged != 0;
    return std::move(decoded.picture);
}

void TJPEGImage::TakeHeader(std::shared_ptr<const OpenedPicture> file, const TJPEGData& header,
                            bool progressive) {
    holdInput(std::move(file));
    data_ = header;
    data_.Data = QByteArray();
    progressive_ = progressive;
}

void TJPEGImage::Assign(const QImage& bitmap) {
    data_ = TJPEGData{};
    bitmap_ = bitmap;
    incomplete_ = false;
    source_.reset();
    failure_.reset();
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
    if (failure_) {
        throw *failure_;
    }
    if (!source_) {
        throw EJPEG(JERR_INPUT_EMPTY);
    }
    Decoded decoded = decodeInDecoder(*source_, ask());
    if (decoded.failure) {
        throw *decoded.failure;
    }
    bitmap_ = std::move(decoded.picture);
    incomplete_ = decoded.reply.damaged != 0;
}

QImage TJPEGImage::DecodeReduced(QSize atLeast, bool* incomplete, ScanUse scans) const {
    if (!source_) {
        throw EJPEG(JERR_INPUT_EMPTY);
    }
    proto::JpegAsk reduced = ask();
    reduced.reduced = 1;
    reduced.atLeastWidth = std::uint32_t(std::max(atLeast.width(), 0));
    reduced.atLeastHeight = std::uint32_t(std::max(atLeast.height(), 0));
    reduced.allScans = scans == ScanUse::All ? 1 : 0;
    Decoded decoded = decodeInDecoder(*source_, reduced);
    if (decoded.failure) {
        throw *decoded.failure;
    }
    if (incomplete) {
        *incomplete = decoded.reply.damaged != 0;
    }
    return std::move(decoded.picture);
}

void TJPEGImage::TakeLoaded(TJPEGImage&& other) {
    data_ = std::move(other.data_);
    bitmap_ = std::move(other.bitmap_);
    progressive_ = other.progressive_;
    incomplete_ = other.incomplete_;
    source_ = std::move(other.source_);
    failure_ = std::move(other.failure_);
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
