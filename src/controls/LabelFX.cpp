#include "controls/LabelFX.h"

#include "controls/Drawing.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>

namespace quill {

TLabelFX::TLabelFX(QWidget* parent) : QLabel(parent) {}

TLabelFX::TLabelFX(const QString& text, QWidget* parent) : QLabel(text, parent) {}

void TLabelFX::enterEvent(QEnterEvent* event) {
    emit mouseEnter();
    QLabel::enterEvent(event);
}

void TLabelFX::leaveEvent(QEvent* event) {
    emit mouseLeave();
    QLabel::leaveEvent(event);
}

void TLabelFX::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    clickArmed_ = false;
    if (event->button() == Qt::LeftButton &&
        isSignalConnected(QMetaMethod::fromSignal(&TLabelFX::clicked))) {
        clickArmed_ = true;
        event->accept();
    }
}

void TLabelFX::keyPressEvent(QKeyEvent* event) {
    if (isClickKey(*event)) {
        event->accept();
        if (!event->isAutoRepeat()) {
            emit clicked();
        }
        return;
    }
    QLabel::keyPressEvent(event);
}

void TLabelFX::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        drawFocusFrame(painter, rect(), palette().color(foregroundRole()));
    }
}

void TLabelFX::focusInEvent(QFocusEvent* event) {
    QLabel::focusInEvent(event);
    update();
}

void TLabelFX::focusOutEvent(QFocusEvent* event) {
    QLabel::focusOutEvent(event);
    update();
}

void TLabelFX::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !clickArmed_) {
        return;
    }
    clickArmed_ = false;
    event->accept();
    if (rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

} // namespace quill
