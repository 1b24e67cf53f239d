#pragma once
// Converting pixels described by an embedded ICC profile into sRGB with Little CMS, so that the
// written JPEG (which carries no profile) shows the colours a colour-managed viewer shows for the
// original. Only the decoder process converts pictures; no Qt here.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quill::colour {

// How the pixels handed to a conversion are laid out (8 bits per channel).
enum class Pixels {
    Rgb,          // R, G, B
    Grey,         // one grey byte
    GreyInRgb,    // three equal bytes of a grey picture; the first is read
    Cmyk,         // C, M, Y, K ink amounts (0 = no ink)
    CmykInverted, // C, M, Y, K as Adobe writes them (255 = no ink)
};

// A conversion from one profile to sRGB, perceptual intent, always writing R, G, B. Little CMS's
// per-pixel calls cost more than decoding the picture, so the conversion is worked out once into
// tables: a profile of primaries and curves becomes lookups of linear light and sRGB levels, any
// other profile a grid of colours from Little CMS, interpolated. A conversion never changes after
// it is made, so several threads may use one at the same time.
class SrgbConversion {
public:
    SrgbConversion();
    SrgbConversion(SrgbConversion&&) noexcept;
    SrgbConversion& operator=(SrgbConversion&&) noexcept;
    ~SrgbConversion();

    // Empty (convert nothing) when the profile cannot be read, could cost more to evaluate than
    // any real profile does (see costBeyondBounds), describes another colour space than the
    // pixels, is no device profile, or gives the same values as sRGB within one level: such
    // pictures keep exactly their decoded bytes. ignoredBecause, when given, receives why a
    // profile that was there could not be used (empty when it was used or did not apply).
    static SrgbConversion fromProfile(const std::uint8_t* profile, std::size_t size, Pixels pixels,
                                      std::string* ignoredBecause = nullptr);

    explicit operator bool() const noexcept { return table_ != nullptr; }

    // How many bytes one input pixel takes.
    std::size_t inputWidth() const noexcept;

    // Converts count pixels (a row or a colour table) from in to out (three bytes each). in and
    // out may be the same buffer when the input pixels are three bytes wide.
    void convert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const noexcept;

    // Converts rows of three-byte pixels in place; a large picture is shared with a second thread.
    void convertRows(std::uint8_t* pixels, std::size_t stride, std::uint32_t width,
                     std::uint32_t height) const;

private:
    struct Table;
    std::unique_ptr<const Table> table_;
};

// Why turning the profile into tables could take longer than any real profile takes (its size,
// the stages of a pipeline, the segments of a curve, the inputs or nodes of a grid); empty when
// it is within bounds. Only the structure is read, nothing is evaluated: a hostile profile costs
// no more than its bytes.
std::string costBeyondBounds(const std::uint8_t* profile, std::size_t size);

// Converts the rows of a picture while it is still being decoded: the decoder asks where to put
// each row and reports how many are done; a second thread converts finished bands behind it, so
// that on two cores the conversion costs little more than its last band. Input pixels three bytes
// wide are converted in place; wider ones (CMYK) are decoded into a small ring of rows. A small
// picture, or a machine that gives no thread, is converted on the decoding thread.
class ConversionBehind {
public:
    ConversionBehind(const SrgbConversion& conversion, std::uint8_t* pixels, std::size_t stride,
                     std::uint32_t width, std::uint32_t height);
    ~ConversionBehind(); // stops the thread; the rows then are as far as they got
    ConversionBehind(const ConversionBehind&) = delete;
    ConversionBehind& operator=(const ConversionBehind&) = delete;

    // Where the decoder writes row y (rows in order); may wait until the thread has made room.
    std::uint8_t* rowFor(std::uint32_t y);
    // Rows 0 to rows - 1 are decoded.
    void decoded(std::uint32_t rows);
    // Converts what is left and waits for it: every decoded row is then sRGB.
    void finish();

private:
    void work();
    void convertBand(std::uint32_t from, std::uint32_t to);

    const SrgbConversion& conversion_;
    std::uint8_t* const pixels_;
    const std::size_t stride_;
    const std::uint32_t width_;
    const std::uint32_t height_;
    const std::size_t inputWidth_;
    std::vector<std::uint8_t> ring_; // input rows when they are not converted in place
    std::uint32_t ringRows_ = 0;
    std::uint32_t decodedRows_ = 0; // decoding thread only
    std::uint32_t announced_ = 0;   // rows handed to the thread (decoding thread only)

    std::mutex mutex_;
    std::condition_variable wake_;     // the thread: there is work, or stop
    std::condition_variable advanced_; // the decoder: rows were converted
    std::uint32_t ready_ = 0;          // rows decoded and handed over
    std::uint32_t converted_ = 0;      // rows converted
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace quill::colour
