#pragma once
// Decoding one picture file with FreeImage into 24-bit RGB rows. Runs inside the decoder process
// (and in-process only in benchmarks on our own pictures): FreeImage's loaders are not safe on
// hostile files. No Qt here.

#include "decoder/DecodeTarget.h"
#include "decoder/DecoderProtocol.h"

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quill::decode {

struct DibDeleter {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using DibPtr = std::unique_ptr<FIBITMAP, DibDeleter>;

// True for the formats of the decoder table.
bool isSupportedFormat(int format);

// FreeImage's messages (prefixed "FreeImage: ") and the decoding's own notes, such as a colour
// profile left unused, go to the sink (none by default): the console never sees them. The decoder
// process hands them to the program, which logs them.
using MessageSink = void (*)(const char* text);
void silenceFreeImage(MessageSink sink = nullptr);

// Told the size a file's header claims as soon as it is read, before any pixel is decoded (none by
// default). The decoder process passes it on: the program's time limit follows the pixels.
using ClaimSink = void (*)(std::uint32_t width, std::uint32_t height);
void setClaimSink(ClaimSink sink);
// Tells the claim sink, and the message sink, from the other readers (JPEG).
void claimSize(std::uint32_t width, std::uint32_t height);
void note(const char* text);

// The bytes of a picture file, read once through a descriptor the decoder was handed: it opens no
// file by name. Read into memory whole up to the size a picture at the pixel limit may take
// uncompressed; a larger file is mapped read-only instead, which only the loaders that read a part
// of a file accept.
class PictureFile {
public:
    // Nothing for anything but a regular file, and for one that cannot be read or grows while
    // it is read. The descriptor's offset is left alone.
    static std::optional<PictureFile> read(int fd);

    PictureFile(PictureFile&& other) noexcept;
    PictureFile& operator=(PictureFile&& other) noexcept;
    PictureFile(const PictureFile&) = delete;
    PictureFile& operator=(const PictureFile&) = delete;
    ~PictureFile();

    std::span<const std::uint8_t> bytes() const;

private:
    PictureFile() = default;
    void release();

    std::unique_ptr<std::uint8_t[]> owned_;
    void* mapped_ = nullptr;
    std::size_t size_ = 0;
};

// Checks the file's bytes against its format, reads its size, decodes it and converts it, into
// sRGB when it embeds a usable colour profile. orientation, when given, receives a TIFF's
// Orientation tag (1 to 8; 1 without one), which the rows do not follow yet. damaged, when given,
// tells whether the picture is incomplete: run-length data that went past it had to be cut.
Status decodeFile(std::span<const std::uint8_t> file, FREE_IMAGE_FORMAT format, int flags,
                  const Allocate& allocate, std::uint32_t& width, std::uint32_t& height,
                  std::uint32_t* orientation = nullptr, bool* damaged = nullptr);

// Whether decodeFile reads the common PNG files itself (see PngDecode.h) before it asks FreeImage;
// on unless turned off. Every file FreeImage reads gives the same picture either way, which the
// tests compare.
void setOwnPngDecoding(bool enabled);

// Converts rows made by convertDibToRgb to sRGB through the picture's embedded ICC profile (the
// one FreeImage read, else profile). Rows stay as they are without a profile, with one that
// amounts to sRGB, with one Little CMS cannot read, or with one of another colour space than the
// picture's.
void convertToSrgb(FIBITMAP* dib, std::uint8_t* rows, std::size_t stride,
                   const std::vector<std::uint8_t>& profile = {});

// True for the pixel types convertDibToRgb handles.
bool canConvert(FIBITMAP* dib);

// True for the formats whose writers often leave the fourth byte of 32-bit pixels at zero (BMP,
// ICO, Targa, Sun raster): there a picture whose alpha is zero everywhere has no alpha at all.
bool zeroAlphaMeansOpaque(FREE_IMAGE_FORMAT format);

// Converts every FreeImage pixel type the loaders return into upright RGB rows; transparent
// pixels are blended onto white, also when every pixel is transparent, unless
// allZeroAlphaIsOpaque is set. False for types without a meaningful RGB form (float, complex).
bool convertDibToRgb(FIBITMAP* dib, std::uint8_t* out, std::size_t stride,
                     bool allZeroAlphaIsOpaque = false);

} // namespace quill::decode
