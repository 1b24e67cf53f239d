#include "platform/Fonts.h"

namespace quill {

QString uiFontFamily() {
    return QStringLiteral("Liberation Sans");
}

QFont uiFont(int pixelSize) {
    QFont font(uiFontFamily());
    font.setPixelSize(pixelSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace quill
