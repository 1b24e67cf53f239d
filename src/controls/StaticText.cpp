#include "controls/StaticText.h"

#include <QMouseEvent>

namespace quill {

TStaticText::TStaticText(const QString& text, QWidget* parent) : KeyClickLabel(text, parent) {
    setMouseTracking(true);
}

void TStaticText::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TStaticText::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) {
        emit clicked();
    }
}

void TStaticText::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    emit mouseMoved(event->modifiers(), event->position().toPoint());
}

} // namespace quill
