#pragma once
// Converting pixels described by an embedded ICC profile into sRGB with Little CMS, so that the
// written JPEG (which carries no profile) shows the colours a colour-managed viewer shows for the
// original. No Qt here: the decoder process uses it too.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quill::colour {

// How the pixels handed to a conversion are laid out (8 bits per channel).
enum class Pixels {
    Rgb,          // R, G, B
    Grey,         // one grey byte
    GreyInRgb,    // three equal bytes of a grey picture; the first is read
    Cmyk,         // C, M, Y, K ink amounts (0 = no ink)
    CmykInverted, // C, M, Y, K as Adobe writes them (255 = no ink)
};

// A transform from one profile to sRGB, perceptual intent, always writing R, G, B.
class SrgbConversion {
public:
    SrgbConversion() = default;

    // Empty (convert nothing) when the profile cannot be read, describes another colour space
    // than the pixels, is no device profile, or gives the same values as sRGB within one level:
    // such pictures keep exactly their decoded bytes.
    static SrgbConversion fromProfile(const std::uint8_t* profile, std::size_t size, Pixels pixels);

    explicit operator bool() const noexcept { return transform_ != nullptr; }

    // Converts count pixels (a row or a colour table, below 2^32) from in to out (three bytes
    // each). in and out may be the same buffer when the input pixels are three bytes wide.
    void convert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const;

    // Converts rows of three-byte pixels in place.
    void convertRows(std::uint8_t* pixels, std::size_t stride, std::uint32_t width,
                     std::uint32_t height) const;

private:
    struct TransformDeleter {
        void operator()(void* transform) const;
    };
    std::unique_ptr<void, TransformDeleter> transform_;
};

} // namespace quill::colour
