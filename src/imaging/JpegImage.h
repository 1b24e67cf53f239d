#pragma once
// The shared JPEG object: holds a JPEG input (the open file and what its header says), a picture,
// or encoded data. It encodes every output file over libjpeg's jpeg62 interface; ".jpg" inputs
// are decoded by the decoder process, never here. A setting read from an input (the progressive
// flag) carries over into later outputs.

#include "decoder/DecoderProtocol.h"
#include "platform/Failure.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace quill {

// Any error libjpeg reports: "JPEG-Fehler #%d" with the library's message number.
class EJPEG : public Failure {
public:
    explicit EJPEG(int messageCode);
    explicit EJPEG(const QString& text) : Failure(text) {}
    int messageCode() const noexcept { return messageCode_; }

private:
    int messageCode_ = -1;
};

// "Datei %s kann nicht geöffnet werden"
class EFOpenError : public Failure {
public:
    explicit EFOpenError(const QString& path);
};

// "Datei %s kann nicht erstellt werden"
class EFCreateError : public Failure {
public:
    explicit EFCreateError(const QString& path);
};

enum TJPEGPerformance { jpBestQuality, jpBestSpeed };
enum TJPEGPixelFormat { jf24Bit, jf8Bit };
enum TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };

// The table of JPEG defaults, filled in once per process on first use (the pixel format from the
// screen's depth when there is a screen).
struct TJPEGDefaults {
    int CompressionQuality = 90;
    bool Grayscale = false;
    TJPEGPerformance Performance = jpBestQuality;
    TJPEGPixelFormat PixelFormat = jf24Bit;
    bool ProgressiveDisplay = false;
    bool ProgressiveEncoding = false;
    TJPEGScale Scale = jsFullSize;
    bool Smoothing = true;
};
TJPEGDefaults& JPEGDefaults();

// What a JPEG input's header says, or an encoded output whole in Data (empty for an input: its
// bytes stay in the decoder process).
struct TJPEGData {
    QByteArray Data;
    int Width = 0;
    int Height = 0;
    bool Grayscale = false;
    int Orientation = 1; // the EXIF Orientation tag, 1 (upright) without one
};

// What a decode depends on besides the data: equal data decoded with equal settings gives equal
// pictures.
struct TJPEGDecodeSettings {
    bool Smoothing = true;
    TJPEGPerformance Performance = jpBestQuality;
    TJPEGPixelFormat PixelFormat = jf24Bit;
    TJPEGScale Scale = jsFullSize;
    bool ProgressiveDisplay = false;
    bool operator==(const TJPEGDecodeSettings&) const = default;
};

class OpenedPicture;

// Far above any camera's or phone's file (a 50-megapixel JPEG at the best quality is about
// 40 MB); a larger input is refused unread.
inline constexpr qint64 kMaxJpegFileBytes = qint64{256} << 20;

class TJPEGImage {
public:
    // With the process's defaults (JPEGDefaults()).
    TJPEGImage();
    // With the given defaults, leaving the process's table alone: for a thread that decodes
    // before the application (and with it the screen the table looks at) exists.
    explicit TJPEGImage(const TJPEGDefaults& defaults);

    // Encoder quality, 1 to 100 (the slider gives 10 to 100).
    int CompressionQuality() const { return quality_; }
    void SetCompressionQuality(int quality);

    bool ProgressiveEncoding() const { return progressive_; }
    void SetProgressiveEncoding(bool progressive) { progressive_ = progressive; }
    bool Grayscale() const { return grayscale_; }
    bool Smoothing() const { return smoothing_; }
    TJPEGPerformance Performance() const { return performance_; }
    TJPEGPixelFormat PixelFormat() const { return pixelFormat_; }
    TJPEGScale Scale() const { return scale_; }
    bool ProgressiveDisplay() const { return progressiveDisplay_; }
    TJPEGDecodeSettings DecodeSettings() const {
        return {smoothing_, performance_, pixelFormat_, scale_, progressiveDisplay_};
    }

    int Width() const;
    int Height() const;
    bool Empty() const;
    // The size of a JPEG picture follows from its data only.
    [[noreturn]] void SetWidth(int width);
    [[noreturn]] void SetHeight(int height);

    // Opens the file (a regular one, up to kMaxJpegFileBytes) and has the decoder process read
    // its header (size, greyscale mark, progressive flag, orientation) and decode it with this
    // object's settings. Throws EFOpenError, or EJPEG when the header does not read; a picture
    // that does not decode is reported by AssignTo and DIBNeeded.
    void LoadFromFile(const QString& path);
    // The same for a file's bytes already in memory. Throws EJPEG.
    void LoadFromBytes(const QByteArray& bytes);
    // The same for a file opened already. Throws EJPEG.
    void LoadFromOpened(std::shared_ptr<const OpenedPicture> file);

    // The preview's load: reads the header of file and decodes it only as large as showing the
    // upright picture within limit x limit needs (see DecodeReduced); the object then holds the
    // file without a picture. damaged receives whether the data broke off. Throws EJPEG (the
    // header's facts are held all the same once it was read).
    QImage LoadPreview(std::shared_ptr<const OpenedPicture> file, int limit, bool& damaged);
    // Holds file with a header read before (a preview remembered), as LoadPreview would.
    void TakeHeader(std::shared_ptr<const OpenedPicture> file, const TJPEGData& header,
                    bool progressive);

    // Discards the held JPEG data and holds a copy of the bitmap; the settings stay.
    void Assign(const QImage& bitmap);
    // Decodes the held data if there is no picture yet and makes target a copy of the picture:
    // Format_RGB888, or Format_Indexed8 with at most 236 colours for greyscale files (and for
    // every file when the pixel format is 8 bit). Throws EJPEG; target is untouched then.
    void AssignTo(QImage& target);

    // Which scans of a progressive file a reduced decode reads: at 1/8 only those with DC
    // coefficients are needed (the same picture); All reads every one, for comparison.
    enum class ScanUse { Needed, All };

    // Decodes the held file made smaller by libjpeg's DCT scaling, to the smallest of the scales
    // 1/8 to 8/8 whose picture is still at least atLeast in both directions (full size when none
    // is), for showing the picture small. The held picture and the settings stay as they are; a
    // file the full decode refuses is refused here as well. incomplete, when given, receives
    // whether the data broke off (see Incomplete; at 1/8 the AC data of a whole progressive file
    // is not read, so a marker in the middle of it goes unnoticed there). Throws EJPEG.
    QImage DecodeReduced(QSize atLeast, bool* incomplete = nullptr,
                         ScanUse scans = ScanUse::Needed) const;

    // Takes over what other holds after a load (its file and header, its picture and the
    // header's progressive flag, its damage mark), as if this object had loaded the same file
    // itself; the quality and the other settings stay this object's. Lets a file be decoded ahead
    // by an object of its own on another thread.
    void TakeLoaded(TJPEGImage&& other);

    // Encodes the held bitmap if there is no JPEG data, then writes the data to path, replacing
    // an existing file only once the whole file has been written beside it. Throws EJPEG (also
    // for an empty bitmap: no empty file is written) or EFCreateError; an existing file is
    // untouched then and nothing is left behind.
    void SaveToFile(const QString& path);

    // Encodes the held bitmap into JPEG data if there is none. Throws EJPEG.
    void JPEGNeeded();
    // Has the held file decoded into the picture if there is none. Throws EJPEG.
    void DIBNeeded();

    // True when the held picture was decoded from data that broke off or ended early: what is
    // missing came out grey.
    bool Incomplete() const { return incomplete_; }

    const TJPEGData& Data() const { return data_; }
    const QImage& Bitmap() const { return bitmap_; }

private:
    void compress();
    void decompress();
    void holdInput(std::shared_ptr<const OpenedPicture> file);
    decoder_protocol::JpegAsk ask() const;

    TJPEGData data_;
    QImage bitmap_;
    // The input the header and the picture came from, for decodes of it at other sizes, and why
    // its picture did not decode.
    std::shared_ptr<const OpenedPicture> source_;
    std::optional<EJPEG> failure_;
    int quality_;
    bool progressive_;
    bool grayscale_;
    bool smoothing_;
    TJPEGPerformance performance_;
    TJPEGPixelFormat pixelFormat_;
    TJPEGScale scale_;
    bool progressiveDisplay_;
    bool incomplete_ = false;
};

} // namespace quill
