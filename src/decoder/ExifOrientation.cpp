#include "decoder/ExifOrientation.h"

#include <libexif/exif-data.h>

#include <memory>

namespace quill::decode {

namespace {

constexpr int kUpright = 1;

struct ExifDataReleaser {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

} // namespace

int orientationFromExif(const std::uint8_t* data, std::size_t size) {
    if (!data || size < 6 || size > 0xFFFFFFFFu) {
        return kUpright;
    }
    std::unique_ptr<ExifData, ExifDataReleaser> exif(exif_data_new());
    if (!exif) {
        return kUpright;
    }
    // Read the block as it is: following the standard would "repair" it, adding default tags.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif.get(), data, unsigned(size));
    const ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || !entry->data ||
        entry->size < 2) {
        return kUpright;
    }
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
    return value >= 1 && value <= 8 ? value : kUpright;
}

} // namespace quill::decode
