#include "controls/XAquaButton.h"

#include "platform/Fonts.h"

#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace quill {

QColor colorFromValue(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                  static_cast<int>((value >> 16) & 0xFFu));
}

// --- value objects -------------------------------------------------------------------------

void TBrush::changed() {
    if (onChange_) {
        onChange_();
    }
}

void TBrush::SetColor(QColor color) {
    color_ = color;
    changed();
}

void TBrush::SetStyle(Qt::BrushStyle style) {
    style_ = style;
    changed();
}

void TBrush::Assign(const TBrush& other) {
    if (&other == this) {
        return;
    }
    color_ = other.color_;
    style_ = other.style_;
    changed();
}

void TPen::changed() {
    if (onChange_) {
        onChange_();
    }
}

void TPen::SetColor(QColor color) {
    color_ = color;
    changed();
}

void TPen::SetStyle(Qt::PenStyle style) {
    style_ = style;
    changed();
}

void TPen::SetWidth(int width) {
    width_ = width;
    changed();
}

void TPen::Assign(const TPen& other) {
    if (&other == this) {
        return;
    }
    color_ = other.color_;
    style_ = other.style_;
    width_ = other.width_;
    changed();
}

TFont::TFont() : font_(uiFont(11)) {}

void TFont::changed() {
    if (onChange_) {
        onChange_();
    }
}

void TFont::SetFont(const QFont& font) {
    font_ = font;
    changed();
}

void TFont::SetColor(QColor color) {
    color_ = color;
    changed();
}

void TFont::Assign(const TFont& other) {
    if (&other == this) {
        return;
    }
    font_ = other.font_;
    color_ = other.color_;
    changed();
}

// --- shared helpers ------------------------------------------------------------------------

namespace {

PointerSource& currentPointerSource() {
    static PointerSource source;
    return source;
}

} // namespace

QPoint pointerPosition() {
    const PointerSource& source = currentPointerSource();
    return source ? source() : QCursor::pos();
}

PointerSource setPointerSource(PointerSource source) {
    return std::exchange(currentPointerSource(), std::move(source));
}

TextFormat textFormatFromAlign(int textAlign) {
    switch (textAlign) {
    case 2:
        return TextFormat::Centred;
    case 3:
        return TextFormat::Right;
    default:
        return TextFormat::Left;
    }
}

void drawMultiLineText(QPainter& painter, const QRect& rect, const QString& text, TextFormat format,
                       const TFont& font, const QColor* cellColor) {
    painter.setFont(captionFont(font.Font()));
    painter.setPen(font.Color());
    const QFontMetrics metrics(captionFont(font.Font()));
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = normalised.split(QLatin1Char('\n'));
    const int lineHeight = metrics.height();
    // rect may be inverted when the insets exceed the control; the text still starts at its
    // top-left corner like the system routine does.
    const int left = rect.left();
    const int right = rect.left() + rect.width();
    int y = rect.top();
    for (const QString& line : lines) {
        const int width = metrics.horizontalAdvance(line);
        int x = left;
        if (format == TextFormat::Centred) {
            x = left + (right - left - width) / 2;
        } else if (format == TextFormat::Right) {
            x = right - width;
        }
        if (cellColor != nullptr) {
            painter.fillRect(QRect(x, y, width, lineHeight), *cellColor);
        }
        painter.drawText(x, y + metrics.ascent(), line);
        y += lineHeight;
    }
}

QFont captionFont(const QFont& font) {
    QFont crisp = font;
    crisp.setStyleStrategy(QFont::NoAntialias);
    return crisp;
}

QColor parentBackgroundColor(const QWidget& control) {
    const QWidget* parent = control.parentWidget();
    return (parent != nullptr ? parent->palette() : control.palette()).color(QPalette::Window);
}

// --- the button ----------------------------------------------------------------------------

TXAquaButton::TXAquaButton(QWidget* parent) : QWidget(parent) {
    font_.SetColor(QColor(68, 68, 68));
    mOverFont_.SetColor(QColor(68, 68, 68));
    mDownFont_.SetColor(QColor(68, 68, 68));
    resize(80, 24);
    builtSize_ = size();
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    brush_.SetOnChange([this] { StyleChanged(); });
    pen_.SetOnChange([this] { StyleChanged(); });
    font_.SetOnChange([this] { update(); });
}

TXAquaButton::~TXAquaButton() {
    // The callbacks point back at this control; nothing may run them while it is torn down.
    brush_.SetOnChange({});
    pen_.SetOnChange({});
    font_.SetOnChange({});
}

void TXAquaButton::SetFadeOutColor(QColor value) {
    fadeOutColor_ = value;
    StyleChanged();
}

void TXAquaButton::SetTopTextColor(QColor value) {
    topTextColor_ = value;
    topTextInUse_ = value;
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

void TXAquaButton::SetTShadeDimension(int value) {
    shadeDimension_ = value;
    StyleChanged();
}

void TXAquaButton::SetText(const QString& value) {
    text_ = value;
    myUpdate();
}

void TXAquaButton::SetWordWrap(bool value) {
    wordWrap_ = value;
    myUpdate();
}

void TXAquaButton::SetTextBorderWidth(int value) {
    textBorderWidth_ = value;
    myUpdate();
}

void TXAquaButton::SetTextBorderHeight(int value) {
    textBorderHeight_ = value;
    myUpdate();
}

void TXAquaButton::SetTextAlign(int value) {
    textAlign_ = value;
    textFormat_ = textFormatFromAlign(value);
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
        CreateBackground(bgNormal_, brush_.Color(), fadeOutColor_);
        CreateBackground(bgOver_, mOverBrush_.Color(), fadeOutColor_);
        CreateBackground(bgDown_, mDownBrush_.Color(), fadeOutColor_);
    }
    builtSize_ = size();
    paintFont_ = font_;
    myUpdate();
}

void TXAquaButton::myUpdate() {
    setAttribute(Qt::WA_OpaquePaintEvent);
    repaint();
}

void TXAquaButton::Init() {
    paintFont_ = font_;
    topTextInUse_ = topTextColor_;
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

void TXAquaButton::paintEvent(QPaintEvent*) {
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
        painter.drawImage(0, 0, backgroundOfState());
        painter.setBackgroundMode(Qt::TransparentMode);
        const TFont textFont(paintFont_);
        if (!wordWrap_) {
            const QFont font = captionFont(textFont.Font());
            const QFontMetrics metrics(font);
            const int tw = metrics.horizontalAdvance(text_);
            const int th = metrics.height();
            const int x = w / 2 - tw / 2;
            const int y = h / 2 - th / 2 - 1;
            painter.setFont(font);
            painter.setPen(textFont.Color());
            painter.drawText(x + shadeDimension_, y + shadeDimension_ + metrics.ascent(), text_);
            painter.setPen(topTextInUse_);
            painter.drawText(x, y + metrics.ascent(), text_);
        } else {
            const QRect box(QPoint(textBorderWidth_, textBorderHeight_),
                            QPoint(w - textBorderWidth_ - 1, h - textBorderHeight_ - 1));
            drawMultiLineText(painter, box, text_, textFormat_, textFont);
        }
    }
    QPainter screen(this);
    screen.drawImage(0, 0, paintBuffer_);
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
    topTextInUse_ = topText;
    myUpdate();
}

void TXAquaButton::pointerEntered(QEnterEvent* event) {
    pointerOver_ = true;
    emit mouseEnter();
    if (event != nullptr) {
        QWidget::enterEvent(event);
    }
    if (Latched()) {
        return;
    }
    enterState(MouseOver, mOverFont_, topTextClOver_);
}

void TXAquaButton::pointerLeft(QEvent* event) {
    pointerOver_ = false;
    emit mouseLeave();
    if (event != nullptr) {
        QWidget::leaveEvent(event);
    }
    if (Latched()) {
        return;
    }
    enterState(Normal, font_, topTextColor_);
}

// While the click handler runs, a modal box opening takes the pointer away from the button
// and gives it back when it closes, without the pointer moving: Qt reports both as crossings.
// Only a crossing the pointer really made counts then, so the button keeps its pressed look.
void TXAquaButton::enterEvent(QEnterEvent* event) {
    if (pointerOver_ || (inClickHandler_ && !pointerInside())) {
        QWidget::enterEvent(event);
        return;
    }
    pointerEntered(event);
}

void TXAquaButton::leaveEvent(QEvent* event) {
    if (!pointerOver_ || (inClickHandler_ && pointerInside())) {
        QWidget::leaveEvent(event);
        return;
    }
    pointerLeft(event);
}

void TXAquaButton::press(QMouseEvent* event, bool armClick) {
    clickArmed_ = armClick && event->button() == Qt::LeftButton;
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
    latch_ = !latch_;
    enterState(Pressed, mDownFont_, topTextClDown_);
}

void TXAquaButton::mousePressEvent(QMouseEvent* event) {
    press(event, true);
}

// The second press of a double click looks and latches like any press but completes no
// second click.
void TXAquaButton::mouseDoubleClickEvent(QMouseEvent* event) {
    press(event, false);
}

bool TXAquaButton::pointerInside() const {
    const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
    return onScreen.contains(pointerPosition());
}

void TXAquaButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && clickArmed_) {
        clickArmed_ = false;
        if (rect().contains(pos)) {
            runClickHandler();
        }
    }
    emit mouseUp(event->button(), event->modifiers(), pos);
    if (Latched()) {
        return;
    }
    if (pointerInside()) {
        enterState(ReleasedOver, mOverFont_, topTextClOver_);
    } else {
        state_ = Normal;
    }
}

void TXAquaButton::runClickHandler() {
    const QPointer<TXAquaButton> self(this);
    inClickHandler_ = true;
    emit clicked();
    if (!self) {
        return;
    }
    inClickHandler_ = false;
    // A crossing ignored during the handler (the pointer left while a box was open and Qt will
    // not report it again) is made up for now, as the pointer's next move would have.
    if (pointerOver_ && !pointerInside()) {
        pointerLeft(nullptr);
    }
}

void TXAquaButton::mouseMoveEvent(QMouseEvent* event) {
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

void applyMainWindowLook(TXAquaButton& button, const QString& text, bool isStart) {
    const QColor face(133, 148, 216);
    const QColor dark(68, 68, 68);
    const QColor red(220, 5, 27);
    button.Brush().SetColor(face);
    button.Pen().SetColor(QColor(251, 200, 21));
    button.Pen().SetStyle(Qt::NoPen);
    if (isStart) {
        button.MOverBrush().SetColor(red);
    }
    button.MDownPen().SetColor(dark);
    button.SetFadeOutColor(QColor(156, 180, 188));
    button.SetTopTextColor(Qt::white);
    button.SetTopTextClOver(isStart ? dark : face);
    button.SetTopTextClDown(red);
    button.SetTShadeDimension(1);
    button.Font().SetFont(uiFont(11));
    button.Font().SetColor(QColor(128, 128, 64));
    button.MOverFont().SetFont(uiFont(11));
    button.MOverFont().SetColor(isStart ? red : QColor(Qt::white));
    button.MDownFont().SetFont(uiFont(11));
    button.MDownFont().SetColor(dark);
    button.SetText(text);
    button.SetTextBorderWidth(4);
    button.SetTextBorderHeight(4);
    button.SetTextAlign(1);
}

} // namespace quill
