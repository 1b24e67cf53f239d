#include "controls/KeyClickLabel.h"

#include "controls/Drawing.h"

#include <QKeyEvent>
#include <QPainter>

namespace quill {

void KeyClickLabel::keyPressEvent(QKeyEvent* event) {
    if (isClickKey(*event)) {
        event->accept();
        if (!event->isAutoRepeat()) {
            emit clicked();
        }
        return;
    }
    QLabel::keyPressEvent(event);
}

void KeyClickLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (hasFocus()) {
        QPainter painter(this);
        drawFocusFrame(painter, rect(), palette().color(foregroundRole()));
    }
}

void KeyClickLabel::focusInEvent(QFocusEvent* event) {
    QLabel::focusInEvent(event);
    update();
}

void KeyClickLabel::focusOutEvent(QFocusEvent* event) {
    QLabel::focusOutEvent(event);
    update();
}

} // namespace quill
