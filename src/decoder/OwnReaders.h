#pragma once
// Readers of their own for the kinds of Targa, PCX and ILBM pictures that the decoder library
// refuses or reads wrong, each over a whole file's bytes and giving the bitmap the library would
// give for a right reading (bottom row first). Every other file of these formats is left to the
// library, so what becomes of it stays as it is. Decoder side: no Qt here.

#include "decoder/FreeImageDecode.h"

#include <cstddef>
#include <cstdint>

namespace quill::decode {

// Targa: colour-mapped pictures whose map starts past index 0 or holds 15- or 16-bit entries, and
// grey pictures with an 8-bit alpha channel (16 bits per pixel); raw or run-length coded, in any
// of the four storage orders. Null for other files and for data that does not hold the picture.
bool isOwnTarga(const std::uint8_t* data, std::size_t size);
DibPtr readTarga(const std::uint8_t* data, std::size_t size);

// PCX: palette pictures of bit planes (1 bit in 2 to 4 planes, 2 or 4 bits in 1 or 2 planes),
// coloured by the header's 16-colour palette, or by the palette after the pixels where 8 bits
// make up a pixel.
bool isOwnPcx(const std::uint8_t* data, std::size_t size);
// An 8-bit PCX of one plane whose 256 colours do not end the file (bytes follow them), where
// FreeImage alone looks: read here, with the colours found right after the picture data.
bool isPcxWithColoursInside(const std::uint8_t* data, std::size_t size);
DibPtr readPcx(const std::uint8_t* data, std::size_t size);

// Photo CD: the picture of the loader flags (see photoCdRequiredSize), its rows top first, its
// PhotoYCC levels made RGB as Kodak defines them.
DibPtr readPhotoCd(const std::uint8_t* data, std::size_t size, int flags);

// ILBM and ACBM: what the library reads as it should, what is read here (hold-and-modify,
// extra half-brite, 32 bit planes, ACBM), and what nobody reads right without per-line palettes
// (palette changes, CMYK palettes).
enum class IlbmReading { Library, Own, Refuse };
IlbmReading ilbmReading(const std::uint8_t* data, std::size_t size);
DibPtr readIlbm(const std::uint8_t* data, std::size_t size);

} // namespace quill::decode
