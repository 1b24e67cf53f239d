#include "imaging_ui/XtraHover.h"

#include "imaging_ui/Unit4.h"

#include <QCursor>
#include <QWidget>

namespace quill {

XtraHover::XtraHover(QWidget* mainWindow, TForm4* form4, QObject* parent)
    : QObject(parent), mainWindow_(mainWindow), form4_(form4),
      pointer_([] { return QCursor::pos(); }) {
    timer_.setInterval(PollMilliseconds);
    connect(&timer_, &QTimer::timeout, this, &XtraHover::checkPointer);
}

void XtraHover::StaticText2MouseMove() {
    if (running_) {
        return;
    }
    // Over the main window's top left corner, where it covers the label under the pointer.
    form4_->move(mainWindow_->frameGeometry().topLeft() + QPoint(0, 8));
    form4_->show();
    form4_->raise();
    running_ = true;
    timer_.start();
}

void XtraHover::checkPointer() {
    if (!running_) {
        return;
    }
    if (form4_->frameGeometry().contains(pointer_())) {
        return;
    }
    timer_.stop();
    running_ = false;
    form4_->hide();
}

void XtraHover::setPointerSource(std::function<QPoint()> source) {
    pointer_ = std::move(source);
}

} // namespace quill
