#include "controls/TXGButton.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace quill {

TXGButton::TXGButton(QWidget* parent) : QWidget(parent) {
    font_.SetColor(QColor(68, 68, 68));
    mOverFont_.SetColor(QColor(68, 68, 68));
    mDownFont_.SetColor(QColor(68, 68, 68));
    resize(80, 24);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    brush_.SetOnChange([this] { StyleChanged(); });
    pen_.SetOnChange([this] { StyleChanged(); });
    font_.SetOnChange([this] { update(); });
}

TXGButton::~TXGButton() {
    brush_.SetOnChange({});
    pen_.SetOnChange({});
    font_.SetOnChange({});
}

void TXGButton::SetShape(TXGButtonType value) {
    if (value == shape_) {
        return;
    }
    shape_ = value;
    myUpdate();
}

void TXGButton::SetTopTextColor(QColor value) {
    topTextColor_ = value;
    StyleChanged();
}

void TXGButton::SetTShadeDimension(int value) {
    shadeDimension_ = value;
    StyleChanged();
}

void TXGButton::SetText(const QString& value) {
    text_ = value;
    myUpdate();
}

void TXGButton::SetWordWrap(bool value) {
    wordWrap_ = value;
    myUpdate();
}

void TXGButton::SetTextBorderWidth(int value) {
    textBorderWidth_ = value;
    myUpdate();
}

void TXGButton::SetTextAlign(int value) {
    textAlign_ = value;
    textFormat_ = textFormatFromAlign(value);
    myUpdate();
}

void TXGButton::StyleChanged() {
    myUpdate();
}

void TXGButton::myUpdate() {
    setAttribute(Qt::WA_OpaquePaintEvent);
    repaint();
}

QRect TXGButton::figureBox(TXGButtonType shape, QSize control) {
    const int w = control.width();
    const int h = control.height();
    switch (shape) {
    case gbtSquare:
    case gbtRoundSquare:
    case gbtCircle: {
        const int m = std::min(w, h);
        return QRect((w - m) / 2, (h - m) / 2, m, m);
    }
    case gbtRectangle:
    case gbtRoundRect:
    case gbtEllipse:
        break;
    }
    return QRect(0, 0, w, h);
}

int TXGButton::cornerSize(QSize control) {
    return std::min(control.width(), control.height()) / 4;
}

void TXGButton::paintEvent(QPaintEvent*) {
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        return;
    }
    if (paintBuffer_.size() != size()) {
        paintBuffer_ = QImage(w, h, QImage::Format_RGB32);
    }
    paintBuffer_.fill(parentBackgroundColor(*this));
    {
        QPainter painter(&paintBuffer_);
        const TPen pen(pen_);
        const TBrush brush(brush_);
        TFont textFont(font_);
        if (pen.Style() == Qt::NoPen) {
            painter.setPen(Qt::NoPen);
        } else {
            painter.setPen(QPen(pen.Color(), pen.Width(), pen.Style()));
        }
        painter.setBrush(QBrush(brush.Color(), brush.Style()));

        // The box's right and bottom edges are exclusive: an outline of one pixel lies on the
        // last column and row inside it, a figure without outline fills the box exactly.
        const QRect box = figureBox(shape_, size());
        const QRect figure = pen.Style() == Qt::NoPen
                                 ? box
                                 : QRect(box.left(), box.top(), box.width() - 1, box.height() - 1);
        const qreal corner = cornerSize(size()) / 2.0;
        switch (shape_) {
        case gbtRectangle:
        case gbtSquare:
            painter.drawRect(figure);
            break;
        case gbtRoundRect:
        case gbtRoundSquare:
            painter.drawRoundedRect(figure, corner, corner, Qt::AbsoluteSize);
            break;
        case gbtEllipse:
        case gbtCircle:
            painter.drawEllipse(figure);
            break;
        }

        if (!wordWrap_) {
            painter.setBackgroundMode(Qt::TransparentMode);
            const QFont font = captionFont(textFont.Font());
            const QFontMetrics metrics(font);
            const int tw = metrics.horizontalAdvance(text_);
            const int th = metrics.height();
            const int x = w / 2 - tw / 2;
            const int y = h / 2 - th / 2 - 1;
            painter.setFont(font);
            painter.setPen(textFont.Color());
            painter.drawText(x + shadeDimension_, y + shadeDimension_ + metrics.ascent(), text_);
            textFont.SetColor(topTextColor_);
            painter.setPen(textFont.Color());
            painter.drawText(x, y + metrics.ascent(), text_);
        } else {
            // The text cells take the brush colour when the brush is solid, as text drawn
            // without a transparent background does.
            const QColor cell = brush.Color();
            const QRect textBox(QPoint(textBorderWidth_, textBorderWidth_),
                                QPoint(w - textBorderWidth_ - 1, h - textBorderWidth_ - 1));
            drawMultiLineText(painter, textBox, text_, textFormat_, textFont,
                              brush.Style() == Qt::SolidPattern ? &cell : nullptr);
        }
    }
    QPainter screen(this);
    screen.drawImage(0, 0, paintBuffer_);
}

void TXGButton::pointerEntered(QEnterEvent* event) {
    pointerOver_ = true;
    emit mouseEnter();
    if (event != nullptr) {
        QWidget::enterEvent(event);
    }
    savedBrush_.Assign(brush_);
    brush_.Assign(mOverBrush_);
    savedPen_.Assign(pen_);
    pen_.Assign(mOverPen_);
    savedFont_.Assign(font_);
    font_.Assign(mOverFont_);
}

void TXGButton::pointerLeft(QEvent* event) {
    pointerOver_ = false;
    emit mouseLeave();
    if (event != nullptr) {
        QWidget::leaveEvent(event);
    }
    brush_.Assign(savedBrush_);
    pen_.Assign(savedPen_);
    font_.Assign(savedFont_);
}

void TXGButton::enterEvent(QEnterEvent* event) {
    if (pointerOver_) {
        QWidget::enterEvent(event);
        return;
    }
    pointerEntered(event);
}

void TXGButton::leaveEvent(QEvent* event) {
    if (!pointerOver_) {
        QWidget::leaveEvent(event);
        return;
    }
    pointerLeft(event);
}

void TXGButton::press(QMouseEvent* event, bool armClick) {
    clickArmed_ = armClick && event->button() == Qt::LeftButton;
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
    brush_.Assign(mDownBrush_);
    pen_.Assign(mDownPen_);
    font_.Assign(mDownFont_);
    myUpdate();
}

void TXGButton::mousePressEvent(QMouseEvent* event) {
    press(event, true);
}

void TXGButton::mouseDoubleClickEvent(QMouseEvent* event) {
    press(event, false);
}

bool TXGButton::pointerInside() const {
    const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
    return onScreen.contains(pointerPosition());
}

void TXGButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && clickArmed_) {
        clickArmed_ = false;
        if (rect().contains(pos)) {
            emit clicked();
        }
    }
    emit mouseUp(event->button(), event->modifiers(), pos);
    if (!pointerInside()) {
        return;
    }
    brush_.Assign(mOverBrush_);
    pen_.Assign(mOverPen_);
    font_.Assign(mOverFont_);
    myUpdate();
}

void TXGButton::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMove(event->modifiers(), event->position().toPoint());
    if (event->buttons() == Qt::NoButton) {
        return;
    }
    const bool inside = rect().contains(event->position().toPoint());
    if (inside && !pointerOver_) {
        pointerEntered(nullptr);
    } else if (!inside && pointerOver_) {
        pointerLeft(nullptr);
    }
}

} // namespace quill
