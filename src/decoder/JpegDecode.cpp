#include "decoder/JpegDecode.h"

#include "decoder/ColourProfile.h"
#include "decoder/ExifOrientation.h"
#include "decoder/FreeImageDecode.h"
#include "decoder/JpegLimits.h"
#include "imaging/PixelLimit.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace quill::decode {

namespace {

namespace proto = decoder_protocol;
using Bytes = std::span<const std::uint8_t>;

// Decoding memory beyond the picture itself: the coefficients of a progressive file of about
// 110 megapixels at full colour resolution, or 220 with the usual halved chroma, fit. A file
// whose header asks for more fails at once instead of exhausting memory, so that the
// coefficients and the picture together stay well below 2 GiB.
constexpr long kMaxDecoderMemory = 640L << 20;
// Real progressive files have about ten scans; thousands of empty ones only burn time.
constexpr int kMaxScans = 1000;
constexpr int kPaletteColours = 236;

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

// Arithmetic-coded data that reaches a marker or the file's end is filled with zeros without a
// word from libjpeg, since its coder may legally read a little past its data. Only when more
// than the last row of blocks of a scan was still to come did the data break off.
bool arithmeticDataRanOut(const jpeg_decompress_struct& info) {
    return info.arith_code && info.total_iMCU_rows > 0 &&
           info.input_iMCU_row + 1 < info.total_iMCU_rows;
}

// A sequential arithmetic-coded scan whose data meets a marker (other than a restart marker)
// while rows of blocks are still to be decoded has run out of data: its coder fills the rest with
// zeros and says nothing. Reaching the next marker while decoding the last row is normal.
bool arithmeticScanMetAMarker(const jpeg_decompress_struct& info) {
    const int marker = info.unread_marker;
    const bool restart = marker >= 0xd0 && marker <= 0xd7;
    return info.arith_code && !info.progressive_mode && marker != 0 && !restart &&
           info.input_iMCU_row < info.total_iMCU_rows;
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
        if (cinfo->is_decompressor &&
            arithmeticDataRanOut(*reinterpret_cast<j_decompress_ptr>(cinfo))) {
            errors->brokeOff = true;
        }
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
bool scansWithinBudget(const jpeg_decompress_struct& info, Bytes data) {
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
    void create(Bytes bytes) {
        jpeg_create_decompress(&info);
        created = true;
        info.mem->max_memory_to_use = kMaxDecoderMemory;
        info.progress = &progress;
        jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
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

// Adobe's CMYK files store inverted ink values; others store the plain ones.
void cmykToRgb(const JSAMPLE* cmyk, std::uint8_t* rgb, unsigned width, bool inverted) {
    for (unsigned x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned ink = inverted ? cmyk[c] : 255u - cmyk[c];
            rgb[c] = std::uint8_t((ink * k + 127) / 255);
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
    return 1;
}

// The identifiers of the components of a progressive file that an eighth-size decode draws from
// their DC coefficients alone (an inverse DCT of one point), as libjpeg sizes them; none for any
// other file or one whose header does not read.
std::vector<int> componentsDrawnFromDc(Bytes bytes) {
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

constexpr std::uint32_t opaque(unsigned r, unsigned g, unsigned b) {
    return 0xff000000u | r << 16 | g << 8 | b;
}

// The colours of a palette picture are converted through its table.
void convertPalette(std::uint32_t* palette, std::uint32_t colours,
                    const colour::SrgbConversion& toSrgb, bool grey) {
    std::array<std::uint8_t, 256 * 3> in{};
    std::array<std::uint8_t, 256 * 3> out{};
    for (std::uint32_t i = 0; i < colours; ++i) {
        const std::uint32_t colour = palette[i];
        if (grey) {
            in[i] = std::uint8_t(colour >> 16);
        } else {
            in[i * 3] = std::uint8_t(colour >> 16);
            in[i * 3 + 1] = std::uint8_t(colour >> 8);
            in[i * 3 + 2] = std::uint8_t(colour);
        }
    }
    toSrgb.convert(in.data(), out.data(), std::size_t(colours));
    for (std::uint32_t i = 0; i < colours; ++i) {
        const std::uint8_t* rgb = out.data() + std::size_t(i) * 3;
        palette[i] = opaque(rgb[0], rgb[1], rgb[2]);
    }
}

// The scale in eighths whose picture still covers atLeast: the smallest of 1/8 to 8/8.
unsigned eighthsFor(std::uint32_t width, std::uint32_t height, std::uint32_t atLeastWidth,
                    std::uint32_t atLeastHeight) {
    // libjpeg rounds a scaled side up: ceil(side * eighths / 8).
    const auto reaches = [](std::uint32_t side, unsigned eighths, std::uint32_t wanted) {
        return (std::uint64_t(side) * eighths + 7) / 8 >= wanted;
    };
    unsigned eighths = 1;
    while (eighths < 8 &&
           !(reaches(width, eighths, atLeastWidth) && reaches(height, eighths, atLeastHeight))) {
        ++eighths;
    }
    return eighths;
}

// Decodes bytes at eighths (8: the full decode at the ask's own scale) into the allocated rows.
Status decodeRows(Bytes bytes, const proto::JpegAsk& ask, unsigned eighths,
                  const std::vector<bool>* emptiedScans, const PixelAllocate& allocate,
                  JpegFacts& facts) {
    Decompressor jpeg;
    jpeg.errors.emptiedScans = emptiedScans;
    unsigned fullWidth = 0;
    unsigned fullHeight = 0;
    unsigned width = 0;
    unsigned height = 0;
    bool quantise = false;
    bool cmyk = false;
    bool adobe = false;
    const auto failed = [&facts](int code) {
        facts.error = code;
        return code == JERR_OUT_OF_MEMORY || code == JERR_IMAGE_TOO_BIG ? Status::Refused
                                                                        : Status::NoPicture;
    };
    if (!guarded(jpeg.errors, [&] {
            jpeg.create(bytes);
            j_decompress_ptr info = &jpeg.info;
            if (eighths >= 8) {
                info->scale_num = 1;
                info->scale_denom = 1u << std::min(ask.scaleShift, std::uint8_t{3});
            } else {
                info->scale_num = eighths;
                info->scale_denom = 8;
            }
            info->do_block_smoothing = ask.smoothing ? TRUE : FALSE;
            info->buffered_image = ask.progressiveDisplay ? TRUE : FALSE;
            if (ask.bestSpeed) {
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
                quantise = ask.eightBit != 0;
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
        return failed(jpeg.errors.code);
    }
    // A damaged profile chunk only means no profile.
    JOCTET* iccData = nullptr;
    unsigned iccLength = 0;
    guarded(jpeg.errors, [&] { jpeg_read_icc_profile(&jpeg.info, &iccData, &iccLength); });
    const std::unique_ptr<JOCTET, MallocFree> icc(iccData);
    // Judged by the whole picture, so that a smaller decode refuses exactly what the full one does.
    if (pictures::exceedsPixelLimit(fullWidth, fullHeight)) {
        return failed(JERR_IMAGE_TOO_BIG);
    }
    if (!scansWithinBudget(jpeg.info, bytes)) {
        return failed(JERR_BAD_PROGRESSION);
    }
    claimSize(fullWidth, fullHeight);
    // Starting reads every scan of a progressive file and allocates the decoder's buffers: a file
    // that asks for too many scans or too much memory fails here, before the picture exists.
    if (!guarded(jpeg.errors, [&] { jpeg_start_decompress(&jpeg.info); })) {
        return failed(jpeg.errors.code);
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
        note(profileIgnored.c_str());
    }
    const PixelTarget target = allocate(width, height, indexed ? 1 : 3);
    if (!target.pixels || (indexed && !target.palette)) {
        return failed(JERR_OUT_OF_MEMORY);
    }
    std::vector<JSAMPLE> inkRow(cmyk ? std::size_t(width) * 4 : 0);
    std::uint8_t* const bits = target.pixels;
    const std::size_t stride = target.stride;
    std::uint32_t colours = 0;
    std::optional<colour::ConversionBehind> behind; // converts finished rows on a second thread
    if (toSrgb && !indexed) {
        behind.emplace(toSrgb, bits, stride, width, height);
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
                if (arithmeticScanMetAMarker(*info)) {
                    jpeg.errors.brokeOff = true;
                }
                if (behind) {
                    behind->decoded(y + 1);
                } else if (cmyk) {
                    cmykToRgb(inkRow.data(), bits + y * stride, width, adobe);
                }
            }
            if (indexed) {
                colours = std::uint32_t(std::clamp(info->actual_number_of_colors, 0, 256));
                for (std::uint32_t i = 0; i < colours; ++i) {
                    const unsigned r = info->colormap[0][i];
                    const unsigned g = info->out_color_components > 1 ? info->colormap[1][i] : r;
                    const unsigned b = info->out_color_components > 2 ? info->colormap[2][i] : r;
                    target.palette[i] = opaque(r, g, b);
                }
            }
            jpeg_finish_decompress(info);
        })) {
        if (behind) {
            behind->finish();
        }
        return failed(jpeg.errors.code);
    }
    if (behind) {
        behind->finish();
    }
    if (indexed && toSrgb) {
        convertPalette(target.palette, colours, toSrgb, greyPalette);
    }
    facts.rowsWidth = width;
    facts.rowsHeight = height;
    facts.bytesPerPixel = indexed ? 1 : 3;
    facts.colours = colours;
    // Data that breaks off inside a scan leaves the rest of it grey. A file that only lacks its
    // end marker is whole, unless (progressive) it ended between scans before every coefficient
    // had arrived.
    facts.damaged = jpeg.errors.brokeOff || (jpeg.errors.ended && unrefined);
    return Status::Picture;
}

} // namespace

Status decodeJpeg(Bytes file, const proto::JpegAsk& ask, const PixelAllocate& allocate,
                  JpegFacts& facts) {
    facts = JpegFacts{};
    {
        Decompressor jpeg;
        if (!guarded(jpeg.errors, [&] {
                jpeg.create(file);
                facts.width = jpeg.info.image_width;
                facts.height = jpeg.info.image_height;
                facts.grey = jpeg.info.jpeg_color_space == JCS_GRAYSCALE;
                facts.progressive = jpeg_has_multiple_scans(&jpeg.info);
            })) {
            facts.error = jpeg.errors.code;
            return Status::NoPicture;
        }
        facts.orientation = std::uint32_t(exifOrientation(jpeg.info));
        facts.headerRead = true;
    }
    if (!ask.reduced) {
        return decodeRows(file, ask, 8, nullptr, allocate, facts);
    }
    std::uint32_t atLeastWidth = ask.atLeastWidth;
    std::uint32_t atLeastHeight = ask.atLeastHeight;
    if (ask.fitLimit != 0) {
        // The shown size, in the file's own orientation.
        const bool turned = facts.orientation >= 5 && facts.orientation <= 8;
        const proto::Extent shown =
            turned ? proto::previewExtent(facts.height, facts.width, ask.fitLimit)
                   : proto::previewExtent(facts.width, facts.height, ask.fitLimit);
        atLeastWidth = turned ? shown.height : shown.width;
        atLeastHeight = turned ? shown.width : shown.height;
    }
    const unsigned eighths = eighthsFor(facts.width, facts.height, atLeastWidth, atLeastHeight);
    // At an eighth each block of a full-resolution component is drawn from its DC coefficient
    // alone, so the AC scans of those components need not be decoded: the picture is exactly
    // the one all scans give.
    if (eighths == 1 && !ask.allScans) {
        const std::vector<int> components = componentsDrawnFromDc(file);
        if (!components.empty()) {
            if (const auto dcOnly = jpeg_limits::leaveOutAcData(file, components)) {
                return decodeRows(dcOnly->stream, ask, eighths, &dcOnly->emptied, allocate, facts);
            }
        }
    }
    return decodeRows(file, ask, eighths, nullptr, allocate, facts);
}

} // namespace quill::decode
