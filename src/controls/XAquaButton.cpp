#include "controls/XAquaButton.h"

#include <QPainter>
#include <QResizeEvent>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace quill {

TXAquaButton::TXAquaButton(QWidget* parent)
    : ButtonBase(parent, TBrush(QColor(128, 128, 128)), TPen(QColor(251, 200, 21), Qt::NoPen), 4) {
    builtSize_ = size();
}

void TXAquaButton::SetFadeOutColor(QColor value) {
    fadeOutColor_ = value;
    StyleChanged();
}

void TXAquaButton::SetTopTextClOver(QColor value) {
    topTextClOver_ = value;
    StyleChanged();
}

void TXAquaButton::SetTopTextClDown(QColor value) {
    topTextClDown_ = value;
    StyleChanged();
}

void TXAquaButton::SetTextBorderHeight(int value) {
    textBorderHeight_ = value;
    myUpdate();
}

namespace {

// Gives a picture the size w x h in 24 bits per pixel. A picture that already has that size is
// left as it is; otherwise what fits is kept and the rest is white.
void sizePicture(QImage& picture, int w, int h) {
    if (picture.width() == w && picture.height() == h &&
        picture.format() == QImage::Format_RGB888) {
        return;
    }
    QImage sized(std::max(w, 0), std::max(h, 0), QImage::Format_RGB888);
    if (sized.isNull()) {
        picture = QImage();
        return;
    }
    sized.fill(Qt::white);
    if (!picture.isNull()) {
        QPainter painter(&sized);
        painter.drawImage(0, 0, picture);
    }
    picture = std::move(sized);
}

void stretchOnto(QImage& target, const QImage& picture) {
    if (target.isNull() || picture.isNull()) {
        return;
    }
    if (target.format() != QImage::Format_RGB888) {
        target = target.convertToFormat(QImage::Format_RGB888);
    }
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(target.rect(), picture);
}

} // namespace

void TXAquaButton::StyleChanged() {
    const int w = width();
    const int h = height();
    sizePicture(bgNormal_, w, h);
    sizePicture(bgOver_, w, h);
    sizePicture(bgDown_, w, h);
    sizePicture(backPicture_, w, h);
    if (!takeImg_) {
        builtStart_[0] = Brush().Color();
        builtStart_[1] = MOverBrush().Color();
        builtStart_[2] = MDownBrush().Color();
        CreateBackground(bgNormal_, builtStart_[0], fadeOutColor_);
        CreateBackground(bgOver_, builtStart_[1], fadeOutColor_);
        CreateBackground(bgDown_, builtStart_[2], fadeOutColor_);
    }
    fineRatio_ = 0;
    builtSize_ = size();
    paintFont_ = Font();
    myUpdate();
}

void TXAquaButton::Init() {
    paintFont_ = Font();
    setTopTextInUse(TopTextColor());
}

void TXAquaButton::CreateBackground(QImage& picture, QColor start, QColor end) {
    const int w = picture.width();
    const int h = picture.height();
    if (w <= 0 || h <= 0) {
        return;
    }
    if (picture.format() != QImage::Format_RGB888) {
        picture = picture.convertToFormat(QImage::Format_RGB888);
    }
    const int startChannel[3] = {start.red(), start.green(), start.blue()};
    const int endChannel[3] = {end.red(), end.green(), end.blue()};
    // The step is kept in single precision on purpose: the column colours depend on its
    // rounding (the last column stays one short of the end colour).
    float step[3];
    for (int c = 0; c < 3; ++c) {
        step[c] = static_cast<float>(static_cast<double>(endChannel[c] - startChannel[c]) / w);
    }
    std::vector<uchar> row(static_cast<std::size_t>(w) * 3);
    int current[3] = {startChannel[0], startChannel[1], startChannel[2]};
    for (int i = 0; i < w; ++i) {
        for (int c = 0; c < 3; ++c) {
            row[static_cast<std::size_t>(i) * 3 + static_cast<std::size_t>(c)] =
                static_cast<uchar>(current[c]);
        }
        for (int c = 0; c < 3; ++c) {
            current[c] = static_cast<int>(std::trunc(
                static_cast<double>(i) * static_cast<double>(step[c]) + startChannel[c]));
        }
    }
    for (int y = 0; y < h; ++y) {
        std::copy(row.begin(), row.end(), picture.scanLine(y));
    }
}

void TXAquaButton::MergeImages(const QImage& back, QImage& target, int percent) {
    const QImage a = back.convertToFormat(QImage::Format_RGB888);
    if (target.format() != QImage::Format_RGB888) {
        target = target.convertToFormat(QImage::Format_RGB888);
    }
    // Only the area both pictures cover is blended; rows or columns of the back picture beyond
    // the target are ignored rather than written past its end.
    const int h = std::min(a.height(), target.height());
    const int bytes = std::min(a.width(), target.width()) * 3;
    const std::int64_t weight = percent;
    const std::int64_t rest = 100 - weight;
    for (int y = 0; y < h; ++y) {
        const uchar* src = a.constScanLine(y);
        uchar* dst = target.scanLine(y);
        for (int i = 0; i < bytes; ++i) {
            // Exact integer form of trunc(a * T / 100) and trunc(t + b * (100 - T) / 100);
            // out-of-range weights are not rejected, their bytes keep the low 8 bits. 64 bits
            // keep any int weight from overflowing.
            const auto t = static_cast<uchar>(std::int64_t{src[i]} * weight / 100);
            dst[i] =
                static_cast<uchar>((std::int64_t{t} * 100 + std::int64_t{dst[i]} * rest) / 100);
        }
    }
}

void TXAquaButton::SetBackBmp(const QImage& picture) {
    stretchOnto(backPicture_, picture);
}

void TXAquaButton::SetBgBmp(const QImage& picture) {
    stretchOnto(bgNormal_, picture);
    MergeImages(backPicture_, bgNormal_, transparency_);
}

void TXAquaButton::SetBgOverBmp(const QImage& picture) {
    stretchOnto(bgOver_, picture);
    MergeImages(backPicture_, bgOver_, transparency_);
}

void TXAquaButton::SetBgDownBmp(const QImage& picture) {
    stretchOnto(bgDown_, picture);
    MergeImages(backPicture_, bgDown_, transparency_);
}

const QImage& TXAquaButton::backgroundOfState() const {
    switch (state_) {
    case MouseOver:
    case ReleasedOver:
        return bgOver_;
    case Pressed:
        return bgDown_;
    case Normal:
        break;
    }
    return bgNormal_;
}

const QImage& TXAquaButton::backgroundForPixels(qreal ratio) {
    // Picture backgrounds, and a screen of the layout's own pixels, use the pictures as they are.
    if (takeImg_ || ratio <= 1 || !builtStart_[0].isValid()) {
        return backgroundOfState();
    }
    const int index = state_ == Pressed                                 ? 2
                      : (state_ == MouseOver || state_ == ReleasedOver) ? 1
                                                                        : 0;
    if (fineRatio_ != ratio) {
        const QSize pixels(qCeil(builtSize_.width() * ratio), qCeil(builtSize_.height() * ratio));
        for (int i = 0; i < 3; ++i) {
            fineBackground_[i] = QImage(pixels, QImage::Format_RGB888);
            CreateBackground(fineBackground_[i], builtStart_[i], fadeOutColor_);
            fineBackground_[i].setDevicePixelRatio(ratio);
        }
        fineRatio_ = ratio;
    }
    return fineBackground_[index];
}

void TXAquaButton::paintFace(QPainter& painter) {
    const QPaintDevice* device = painter.device();
    painter.drawImage(0, 0,
                      backgroundForPixels(device != nullptr ? device->devicePixelRatio() : 1));
    const QRect wrapBox(QPoint(TextBorderWidth(), textBorderHeight_),
                        QPoint(width() - TextBorderWidth() - 1, height() - textBorderHeight_ - 1));
    drawCaption(painter, paintFont_, wrapBox);
}

void TXAquaButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (event->size() != builtSize_) {
        StyleChanged();
    }
}

void TXAquaButton::enterState(ButtonState state, const TFont& paintFont, QColor topText) {
    state_ = state;
    paintFont_ = paintFont;
    setTopTextInUse(topText);
    myUpdate();
}

void TXAquaButton::showLook(Moment moment) {
    // Every press toggles the latch, also the second press of a double click; while latched,
    // the pressed look stays whatever the pointer does.
    if (moment == Moment::Pressed) {
        latch_ = !latch_;
        enterState(Pressed, MDownFont(), topTextClDown_);
        return;
    }
    if (Latched()) {
        return;
    }
    switch (moment) {
    case Moment::PointerOver:
        enterState(MouseOver, MOverFont(), topTextClOver_);
        break;
    case Moment::PointerAway:
        enterState(Normal, Font(), TopTextColor());
        break;
    case Moment::ReleasedOver:
        enterState(ReleasedOver, MOverFont(), topTextClOver_);
        break;
    case Moment::ReleasedAway:
        state_ = Normal;
        break;
    case Moment::Pressed:
        break;
    }
}

} // namespace quill
