#include "controls/LabelFX.h"

#include <QEnterEvent>
#include <QMetaMethod>
#include <QMouseEvent>

namespace quill {

TLabelFX::TLabelFX(QWidget* parent) : KeyClickLabel(parent) {}

TLabelFX::TLabelFX(const QString& text, QWidget* parent) : KeyClickLabel(text, parent) {}

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
