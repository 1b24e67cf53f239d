#pragma once
// The colour table of a palette picture as 256 entries of three bytes (R, G, B), for copying
// palette pixels into true-colour rows. Entries the picture's table does not hold are black, so a
// stray index never reads outside the table.

#include <QImage>
#include <algorithm>
#include <array>

namespace quill {

using PaletteTable = std::array<uchar, 256 * 3>;

inline PaletteTable paletteTable(const QImage& image) {
    PaletteTable table{};
    const QList<QRgb> colours = image.colorTable();
    const int count = std::min<int>(256, static_cast<int>(colours.size()));
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(3 * i);
        table[at] = static_cast<uchar>(qRed(colours[i]));
        table[at + 1] = static_cast<uchar>(qGreen(colours[i]));
        table[at + 2] = static_cast<uchar>(qBlue(colours[i]));
    }
    return table;
}

} // namespace quill
