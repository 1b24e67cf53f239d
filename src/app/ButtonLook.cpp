#include "app/ButtonLook.h"

#include "controls/XAquaButton.h"
#include "platform/Fonts.h"

namespace quill {

void applyMainWindowLook(TXAquaButton& button, const QString& text, bool isStart) {
    const QColor face(133, 148, 216);
    const QColor dark(68, 68, 68);
    const QColor red(220, 5, 27);
    button.Brush().SetColor(face);
    button.Pen().SetColor(QColor(251, 200, 21));
    button.Pen().SetStyle(Qt::NoPen);
    if (isStart) {
        button.MOverBrush().SetColor(red);
    }
    button.MDownPen().SetColor(dark);
    button.SetFadeOutColor(QColor(156, 180, 188));
    button.SetTopTextColor(Qt::white);
    button.SetTopTextClOver(isStart ? dark : face);
    button.SetTopTextClDown(red);
    button.SetTShadeDimension(1);
    button.Font().SetFont(uiFont(11));
    button.Font().SetColor(QColor(128, 128, 64));
    button.MOverFont().SetFont(uiFont(11));
    button.MOverFont().SetColor(isStart ? red : QColor(Qt::white));
    button.MDownFont().SetFont(uiFont(11));
    button.MDownFont().SetColor(dark);
    button.SetText(text);
    button.SetTextBorderWidth(4);
    button.SetTextBorderHeight(4);
    button.SetTextAlign(1);
}

} // namespace quill
