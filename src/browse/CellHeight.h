#pragma once
// The character-cell height the list entries are measured in. The layout's face was a bitmap
// font whose cell is two pixels taller than its character height (11 -> 13); the stand-in face
// keeps at least that, so entries keep the layout's heights whatever its own metrics say.

#include <QFont>
#include <QFontMetrics>
#include <algorithm>

namespace quill {

inline int fontCellHeight(const QFont& font) {
    const int designed = font.pixelSize() > 0 ? font.pixelSize() + 2 : 0;
    return std::max(QFontMetrics(font).height(), designed);
}

} // namespace quill
