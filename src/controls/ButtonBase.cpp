#include "controls/ButtonBase.h"

#include <QCursor>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QPointer>
#include <QtMath>

#include <utility>

namespace quill {

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

ButtonBase::ButtonBase(QWidget* parent, const TBrush& brush, const TPen& pen, int textBorderWidth)
    : QWidget(parent), pen_(pen), brush_(brush), textBorderWidth_(textBorderWidth) {
    font_.SetColor(QColor(68, 68, 68));
    mOverFont_.SetColor(QColor(68, 68, 68));
    mDownFont_.SetColor(QColor(68, 68, 68));
    resize(80, 24);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // StyleChanged is virtual: these run only once the button is whole.
    brush_.SetOnChange([this] { StyleChanged(); });
    pen_.SetOnChange([this] { StyleChanged(); });
    font_.SetOnChange([this] { update(); });
}

ButtonBase::~ButtonBase() {
    // The callbacks point back at this control; nothing may run them while it is torn down.
    brush_.SetOnChange({});
    pen_.SetOnChange({});
    font_.SetOnChange({});
}

void ButtonBase::SetTopTextColor(QColor value) {
    topTextColor_ = value;
    topTextInUse_ = value;
    StyleChanged();
}

void ButtonBase::SetTShadeDimension(int value) {
    shadeDimension_ = value;
    StyleChanged();
}

void ButtonBase::SetText(const QString& value) {
    text_ = value;
    myUpdate();
}

void ButtonBase::SetWordWrap(bool value) {
    wordWrap_ = value;
    myUpdate();
}

void ButtonBase::SetTextBorderWidth(int value) {
    textBorderWidth_ = value;
    myUpdate();
}

void ButtonBase::SetTextAlign(int value) {
    textAlign_ = value;
    textFormat_ = textFormatFromAlign(value);
    myUpdate();
}

void ButtonBase::StyleChanged() {
    myUpdate();
}

void ButtonBase::myUpdate() {
    setAttribute(Qt::WA_OpaquePaintEvent);
    repaint();
}

void ButtonBase::drawCaption(QPainter& painter, const TFont& font, const QRect& wrapBox,
                             const QColor* cellColor) const {
    painter.setBackgroundMode(Qt::TransparentMode);
    if (wordWrap_) {
        drawMultiLineText(painter, wrapBox, text_, textFormat_, font, cellColor);
        return;
    }
    const QFont face = captionFont(font.Font());
    const QFontMetrics metrics(face);
    const int x = width() / 2 - metrics.horizontalAdvance(text_) / 2;
    const int y = height() / 2 - metrics.height() / 2 - 1;
    painter.setFont(face);
    painter.setPen(font.Color());
    painter.drawText(x + shadeDimension_, y + shadeDimension_ + metrics.ascent(), text_);
    painter.setPen(topTextInUse_);
    painter.drawText(x, y + metrics.ascent(), text_);
}

void ButtonBase::paintEvent(QPaintEvent*) {
    if (width() <= 0 || height() <= 0) {
        return;
    }
    QPainter screen(this);
    // The buffer has the pixels of the device painted on (a screen at 1.5 or 2, or a picture
    // rendered at its own ratio), so the face is drawn there rather than enlarged.
    const QPaintDevice* device =
        screen.paintEngine() != nullptr ? screen.paintEngine()->paintDevice() : nullptr;
    const qreal ratio = device != nullptr ? device->devicePixelRatio() : devicePixelRatioF();
    const QSize pixels(qCeil(width() * ratio), qCeil(height() * ratio));
    if (paintBuffer_.size() != pixels) {
        paintBuffer_ = QImage(pixels, QImage::Format_RGB32);
    }
    paintBuffer_.setDevicePixelRatio(ratio);
    paintBuffer_.fill(parentBackgroundColor(*this));
    {
        QPainter painter(&paintBuffer_);
        paintFace(painter);
        if (hasFocus()) {
            drawFocusFrame(painter, rect(), topTextInUse_);
        }
    }
    screen.drawImage(0, 0, paintBuffer_);
}

void ButtonBase::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled() && inClickHandler_) {
        disabledInClick_ = true;
    }
}

void ButtonBase::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void ButtonBase::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (keyArmed_) {
        // The focus moved on with Space held: no click, as when the pointer leaves while held.
        keyArmed_ = false;
        if (!pointerOver_) {
            showLook(Moment::PointerAway);
        }
    }
    update();
}

void ButtonBase::keyPressEvent(QKeyEvent* event) {
    if (!isClickKey(*event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat() || keyArmed_) {
        return;
    }
    keyPress();
    if (event->key() != Qt::Key_Space) {
        keyRelease();
    }
}

void ButtonBase::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    event->accept();
    if (keyArmed_) {
        keyRelease();
    }
}

void ButtonBase::Click() {
    if (keyArmed_ || !isEnabled()) {
        return;
    }
    keyPress();
    keyRelease();
}

// The pointer's road through the button: over it (unless it is there), pressed, released over
// it, and away again. A button that keeps its normal look while the pointer is over it (the
// shape button) gets it back so.
void ButtonBase::keyPress() {
    keyArmed_ = true;
    if (!pointerOver_) {
        showLook(Moment::PointerOver);
    }
    showLook(Moment::Pressed);
}

void ButtonBase::keyRelease() {
    keyArmed_ = false;
    const bool hadFocus = hasFocus();
    disabledInClick_ = false;
    if (!runClickHandler()) {
        return;
    }
    // A button disabled while its click ran ("Start" during a run) lost the focus to the next
    // control; the keyboard user gets it back where it was.
    if (hadFocus && disabledInClick_ && isEnabled() && !hasFocus() && isVisible()) {
        setFocus(Qt::OtherFocusReason);
    }
    showLook(Moment::ReleasedOver);
    if (!pointerOver_) {
        showLook(Moment::PointerAway);
    }
}

void ButtonBase::pointerEntered(QEnterEvent* event) {
    pointerOver_ = true;
    emit mouseEnter();
    if (event != nullptr) {
        QWidget::enterEvent(event);
    }
    showLook(Moment::PointerOver);
}

void ButtonBase::pointerLeft(QEvent* event) {
    pointerOver_ = false;
    emit mouseLeave();
    if (event != nullptr) {
        QWidget::leaveEvent(event);
    }
    showLook(Moment::PointerAway);
}

// While the click handler runs, a modal box opening takes the pointer away from the button
// and gives it back when it closes, without the pointer moving: Qt reports both as crossings.
// Only a crossing the pointer really made counts then, so the button keeps its pressed look.
void ButtonBase::enterEvent(QEnterEvent* event) {
    if (pointerOver_ || (inClickHandler_ && !pointerInside())) {
        QWidget::enterEvent(event);
        return;
    }
    pointerEntered(event);
}

void ButtonBase::leaveEvent(QEvent* event) {
    if (!pointerOver_ || (inClickHandler_ && pointerInside())) {
        QWidget::leaveEvent(event);
        return;
    }
    pointerLeft(event);
}

void ButtonBase::press(QMouseEvent* event, bool armClick) {
    clickArmed_ = armClick && event->button() == Qt::LeftButton;
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
    showLook(Moment::Pressed);
}

void ButtonBase::mousePressEvent(QMouseEvent* event) {
    press(event, true);
}

// The second press of a double click looks like any press but completes no second click.
void ButtonBase::mouseDoubleClickEvent(QMouseEvent* event) {
    press(event, false);
}

bool ButtonBase::pointerInside() const {
    const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
    return onScreen.contains(pointerPosition());
}

void ButtonBase::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && clickArmed_) {
        clickArmed_ = false;
        if (rect().contains(pos) && !runClickHandler()) {
            return;
        }
    }
    emit mouseUp(event->button(), event->modifiers(), pos);
    showLook(pointerInside() ? Moment::ReleasedOver : Moment::ReleasedAway);
}

bool ButtonBase::runClickHandler() {
    const QPointer<ButtonBase> self(this);
    inClickHandler_ = true;
    emit clicked();
    if (!self) {
        return false;
    }
    inClickHandler_ = false;
    // A crossing ignored during the handler (the pointer left while a box was open and Qt will
    // not report it again) is made up for now, as the pointer's next move would have.
    if (pointerOver_ && !pointerInside()) {
        pointerLeft(nullptr);
    }
    return true;
}

void ButtonBase::mouseMoveEvent(QMouseEvent* event) {
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

} // namespace quill
