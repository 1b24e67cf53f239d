#pragma once
// The one place that picks the free sans face standing in for the layout's "MS Sans Serif".

#include <QFont>
#include <QString>

namespace quill {

QString uiFontFamily();

// The face at a character height in pixels (a height of -11, 8 point at 96 dpi, is 11 pixels).
QFont uiFont(int pixelSize);

} // namespace quill
