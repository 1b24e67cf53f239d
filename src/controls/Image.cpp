#include "controls/Image.h"

#include "controls/Drawing.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace quill {

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(true);
}

void TImage::setPicture(const QImage& picture) {
    picture_ = picture;
    rebuildShown();
    emit pictureChanged();
}

void TImage::setPicture(QImage&& picture) {
    picture_ = std::move(picture);
    rebuildShown();
    emit pictureChanged();
}

void TImage::setPicture(const QImage& picture, const QRect& place) {
    picture_ = QImage();
    setGeometry(place);
    picture_ = picture;
    rebuildShown();
    emit pictureChanged();
}

void TImage::setStretch(bool stretch) {
    if (stretch_ != stretch) {
        stretch_ = stretch;
        rebuildShown();
    }
}

void TImage::rebuildShown() {
    if (picture_.isNull() || width() <= 0 || height() <= 0) {
        shown_ = QPixmap();
    } else if (stretch_ && picture_.size() != size()) {
        // The same picture shown again at the same size (start-up previews one file up to three
        // times, with an empty preview between) keeps the look made last time.
        if (picture_.cacheKey() != stretchedKey_ || size() != stretched_.size()) {
            // A large picture is first brought near twice the shown size by picking pixels, then
            // filtered down: as smooth to the eye as filtering all of it, at a fraction of the
            // cost. Each side on its own, so a long thin picture is never filtered whole.
            const QSize near = size() * 2;
            const QSize picked(
                picture_.width() > 2 * near.width() ? near.width() : picture_.width(),
                picture_.height() > 2 * near.height() ? near.height() : picture_.height());
            const QImage reduced =
                picked != picture_.size()
                    ? picture_.scaled(picked, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                    : picture_;
            stretched_ = QPixmap::fromImage(
                reduced.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
            stretchedKey_ = picture_.cacheKey();
        }
        shown_ = stretched_;
    } else {
        shown_ = QPixmap::fromImage(picture_);
    }
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (shown_.isNull() && !hasFocus()) {
        return;
    }
    QPainter painter(this);
    if (!shown_.isNull()) {
        painter.drawPixmap(0, 0, shown_);
    }
    if (hasFocus()) {
        // The strips are red and grey with light letters: a white frame shows on both.
        drawFocusFrame(painter, rect(), Qt::white);
    }
}

void TImage::keyPressEvent(QKeyEvent* event) {
    if (isClickKey(*event)) {
        event->accept();
        if (!event->isAutoRepeat()) {
            emit clicked();
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

void TImage::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TImage::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TImage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (stretch_) {
        rebuildShown();
    }
}

void TImage::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click) {
        emit clicked();
    }
}

void TImage::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit doubleClicked();
    }
}

void TImage::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(event->modifiers(), event->position().toPoint());
}

} // namespace quill
