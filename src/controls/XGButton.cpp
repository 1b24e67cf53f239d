#include "controls/XGButton.h"

#include <QPainter>

#include <algorithm>

namespace quill {

TXGButton::TXGButton(QWidget* parent)
    : ButtonBase(parent, TBrush(QColor(251, 239, 169)), TPen(QColor(251, 200, 21)), 8) {}

void TXGButton::SetShape(TXGButtonType value) {
    if (value == shape_) {
        return;
    }
    shape_ = value;
    myUpdate();
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

void TXGButton::paintFace(QPainter& painter) {
    const TPen pen(Pen());
    const TBrush brush(Brush());
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

    // The text cells take the brush colour when the brush is solid, as text drawn without a
    // transparent background does.
    const QColor cell = brush.Color();
    const int border = TextBorderWidth();
    const QRect wrapBox(QPoint(border, border),
                        QPoint(width() - border - 1, height() - border - 1));
    drawCaption(painter, Font(), wrapBox, brush.Style() == Qt::SolidPattern ? &cell : nullptr);
}

void TXGButton::showLook(Moment moment) {
    switch (moment) {
    case Moment::PointerOver:
        savedBrush_.Assign(Brush());
        Brush().Assign(MOverBrush());
        savedPen_.Assign(Pen());
        Pen().Assign(MOverPen());
        savedFont_.Assign(Font());
        Font().Assign(MOverFont());
        break;
    case Moment::PointerAway:
        Brush().Assign(savedBrush_);
        Pen().Assign(savedPen_);
        Font().Assign(savedFont_);
        break;
    case Moment::Pressed:
        Brush().Assign(MDownBrush());
        Pen().Assign(MDownPen());
        Font().Assign(MDownFont());
        myUpdate();
        break;
    case Moment::ReleasedOver:
        Brush().Assign(MOverBrush());
        Pen().Assign(MOverPen());
        Font().Assign(MOverFont());
        myUpdate();
        break;
    case Moment::ReleasedAway:
        break;
    }
}

} // namespace quill
