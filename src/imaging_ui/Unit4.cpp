#include "imaging_ui/Unit4.h"

#include "controls/LayoutPalette.h"
#include "imaging/Rotate.h"
#include "platform/Fonts.h"

#include <QPalette>
#include <QRadioButton>

namespace quill {
namespace {

QRadioButton* radioButton(QWidget* panel, const QString& caption, int top) {
    auto* button = new QRadioButton(caption, panel);
    button->setGeometry(8, top, 113, 17);
    return button;
}

QWidget* panel(QWidget* parent, const QRect& geometry, const QColor& colour) {
    auto* widget = new QWidget(parent);
    widget->setGeometry(geometry);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    return widget;
}

} // namespace

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("drehen & spiegeln"));
    setFont(uiFont(11));
    setFixedSize(168, 215);
    useLayoutPalette(*this);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);
    setAutoFillBackground(true);

    // Each panel is its own parent, so the two groups of radio buttons are independent.
    const QColor light = palette.color(QPalette::Midlight);
    Panel1 = panel(this, QRect(8, 8, 153, 105), light);
    RadioButton1 = radioButton(Panel1, QStringLiteral("nicht drehen"), 8);
    RadioButton2 = radioButton(Panel1, QStringLiteral("90° nach links"), 32);
    RadioButton3 = radioButton(Panel1, QStringLiteral("90° nach rechts"), 56);
    RadioButton4 = radioButton(Panel1, QStringLiteral("180°"), 80);
    Panel2 = panel(this, QRect(8, 120, 153, 89), light);
    RadioButton5 = radioButton(Panel2, QStringLiteral("nicht spiegeln"), 8);
    RadioButton6 = radioButton(Panel2, QStringLiteral("horizontal spiegeln"), 32);
    RadioButton7 = radioButton(Panel2, QStringLiteral("vertikal spiegeln"), 56);
    RadioButton1->setChecked(true);
    RadioButton5->setChecked(true);

    setTabOrder(RadioButton1, RadioButton2);
    setTabOrder(RadioButton2, RadioButton3);
    setTabOrder(RadioButton3, RadioButton4);
    setTabOrder(RadioButton5, RadioButton6);
    setTabOrder(RadioButton6, RadioButton7);
}

int TForm4::transformCode() const {
    int code = 0;
    if (RadioButton2->isChecked()) {
        code |= TurnLeft;
    }
    if (RadioButton3->isChecked()) {
        code |= TurnRight;
    }
    if (RadioButton4->isChecked()) {
        code |= TurnHalf;
    }
    if (RadioButton6->isChecked()) {
        code |= MirrorHorizontal;
    }
    if (RadioButton7->isChecked()) {
        code |= MirrorVertical;
    }
    return code;
}

} // namespace quill
