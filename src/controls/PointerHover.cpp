#include "controls/PointerHover.h"

#include "platform/GuardedSlot.h"

#include <QApplication>
#include <QCursor>
#include <QWidget>

namespace quill {

PointerHover::PointerHover(QWidget* watched, QObject* parent)
    : QObject(parent), watched_(watched), pointer_([] { return QCursor::pos(); }) {
    timer_.setInterval(PollMilliseconds);
    connectGuarded(&timer_, &QTimer::timeout, this, &PointerHover::checkPointer);
}

// The owner is being torn down: the end reaction would reach into half-destroyed widgets.
PointerHover::~PointerHover() {
    timer_.stop();
}

void PointerHover::pointerMoved() {
    if (running_) {
        return;
    }
    // Set first: the start reaction may dispatch events that move the pointer again.
    running_ = true;
    if (onStart_) {
        onStart_();
    }
    timer_.start();
}

bool PointerHover::pointerOverWatched(QPoint global) const {
    if (inside_) {
        return inside_(global);
    }
    if (!watched_) {
        return false;
    }
    QWidget* under = QApplication::widgetAt(global);
    return under && (under == watched_ || watched_->isAncestorOf(under));
}

void PointerHover::checkPointer() {
    if (!running_) {
        return;
    }
    if (pointerOverWatched(pointer_())) {
        return;
    }
    stop();
}

void PointerHover::stop() {
    if (!running_) {
        return;
    }
    timer_.stop();
    running_ = false;
    if (onEnd_) {
        onEnd_();
    }
}

} // namespace quill
