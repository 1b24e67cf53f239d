#include "imaging_ui/Unit4.h"

#include "controls/LayoutPalette.h"
#include "imaging/Rotate.h"
#include "platform/Fonts.h"

#include <QPainter>
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

// The window draws its own tool frame: stacking window managers (openbox among them) give every
// managed window their system buttons whatever the window asks for, and cut the title to make
// room for them.
TForm4::TForm4(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("drehen & spiegeln"));
    setFont(uiFont(11));
    setFixedSize(168 + 2 * FrameWidth, 215 + CaptionHeight + 2 * FrameWidth);
    useLayoutPalette(*this);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);
    setAutoFillBackground(true);
    Client = new QWidget(this);
    Client->setGeometry(FrameWidth, FrameWidth + CaptionHeight, 168, 215);

    // Each panel is its own parent, so the two groups of radio buttons are independent.
    const QColor light = palette.color(QPalette::Midlight);
    Panel1 = panel(Client, QRect(8, 8, 153, 105), light);
    RadioButton1 = radioButton(Panel1, QStringLiteral("nicht drehen"), 8);
    RadioButton2 = radioButton(Panel1, QStringLiteral("90° nach links"), 32);
    RadioButton3 = radioButton(Panel1, QStringLiteral("90° nach rechts"), 56);
    RadioButton4 = radioButton(Panel1, QStringLiteral("180°"), 80);
    Panel2 = panel(Client, QRect(8, 120, 153, 89), light);
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

QRect TForm4::captionRect() const {
    return QRect(FrameWidth, FrameWidth, width() - 2 * FrameWidth, CaptionHeight);
}

QFont TForm4::captionFont() const {
    QFont bold = font();
    bold.setBold(true);
    return bold;
}

void TForm4::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Shadow));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const QRect caption = captionRect();
    painter.fillRect(caption, QColor(36, 72, 128));
    painter.setPen(Qt::white);
    painter.setFont(captionFont());
    painter.drawText(caption.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     windowTitle());
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
