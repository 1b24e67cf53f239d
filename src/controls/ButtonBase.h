#pragma once
// What the program's two push buttons share: the pointer and press state machine with its
// signals, the caption and style properties, and the flicker-free paint through an off-screen
// buffer. A button only says what each moment looks like and how its face is drawn.

#include "controls/Drawing.h"

#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QPainter;

namespace quill {

// Where the pointer is on the screen. The buttons ask it at a release whether the pointer is
// still over them; tests replace it because the offscreen platform has no real pointer.
using PointerSource = std::function<QPoint()>;
QPoint pointerPosition();
// Replaces the source (an empty function restores QCursor::pos()); returns the previous one.
PointerSource setPointerSource(PointerSource source);

class ButtonBase : public QWidget {
    Q_OBJECT

public:
    ~ButtonBase() override;

    // The control's own objects. Setting an attribute of Brush or Pen directly runs
    // StyleChanged; of Font repaints; of the other six changes nothing until the look changes.
    TBrush& Brush() { return brush_; }
    TPen& Pen() { return pen_; }
    TBrush& MOverBrush() { return mOverBrush_; }
    TPen& MOverPen() { return mOverPen_; }
    TBrush& MDownBrush() { return mDownBrush_; }
    TPen& MDownPen() { return mDownPen_; }
    // The caption's font in the normal look (the design's name; Qt's font() is the widget's).
    TFont& Font() { return font_; }
    TFont& MOverFont() { return mOverFont_; }
    TFont& MDownFont() { return mDownFont_; }

    void SetBrush(const TBrush& value) { brush_.Assign(value); }
    void SetPen(const TPen& value) { pen_.Assign(value); }
    void SetMOverBrush(const TBrush& value) { mOverBrush_.Assign(value); }
    void SetMOverPen(const TPen& value) { mOverPen_.Assign(value); }
    void SetMDownBrush(const TBrush& value) { mDownBrush_.Assign(value); }
    void SetMDownPen(const TPen& value) { mDownPen_.Assign(value); }
    void SetFont(const TFont& value) { font_.Assign(value); }
    void SetMOverFont(const TFont& value) { mOverFont_.Assign(value); }
    void SetMDownFont(const TFont& value) { mDownFont_.Assign(value); }

    QColor TopTextColor() const { return topTextColor_; }
    void SetTopTextColor(QColor value);
    int TShadeDimension() const { return shadeDimension_; }
    void SetTShadeDimension(int value);
    QString Text() const { return text_; }
    void SetText(const QString& value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    int TextBorderWidth() const { return textBorderWidth_; }
    void SetTextBorderWidth(int value);
    int TextAlign() const { return textAlign_; }
    void SetTextAlign(int value);

    // The top text's colour of the look shown now.
    QColor TopTextColorInUse() const { return topTextInUse_; }

    // A click as Enter on the focused button makes it: pressed, clicked, released (assistive
    // technology's press action).
    void Click();

    // Takes up a changed style; the plain button just repaints.
    virtual void StyleChanged();
    // Repaints at once, synchronously.
    void myUpdate();

signals:
    void clicked();
    void mouseEnter();
    void mouseLeave();
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseMove(Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    ButtonBase(QWidget* parent, const TBrush& brush, const TPen& pen, int textBorderWidth);

    // The moments of the state machine a button shows. A release is told apart by whether the
    // pointer is still over the button on the screen.
    enum class Moment { PointerOver, PointerAway, Pressed, ReleasedOver, ReleasedAway };
    virtual void showLook(Moment moment) = 0;
    // Draws the face onto the off-screen buffer, already filled with the parent's colour.
    virtual void paintFace(QPainter& painter) = 0;

    // The caption in font: on one line centred, the shade text shifted by TShadeDimension under
    // the top text, or with WordWrap line by line inside wrapBox (cells in cellColor, if given).
    void drawCaption(QPainter& painter, const TFont& font, const QRect& wrapBox,
                     const QColor* cellColor = nullptr) const;
    void setTopTextInUse(QColor value) { topTextInUse_ = value; }

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // With the keyboard focus (given by the window), Space and Enter press the button: the same
    // looks and the same click as a left press and release over it.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void keyPress();
    void keyRelease();
    void press(QMouseEvent* event, bool armClick);
    void pointerEntered(QEnterEvent* event);
    void pointerLeft(QEvent* event);
    bool pointerInside() const;
    // False when the handler destroyed the button.
    bool runClickHandler();

    TPen pen_;
    TBrush brush_;
    TPen mOverPen_;
    TPen mDownPen_{QColor(68, 68, 68)};
    TBrush mOverBrush_{Qt::white};
    TBrush mDownBrush_{Qt::white};
    TFont font_;
    TFont mOverFont_;
    TFont mDownFont_;
    QString text_ = QStringLiteral("OK");
    bool wordWrap_ = false;
    std::int32_t textBorderWidth_;
    std::int32_t textAlign_ = 1;
    TextFormat textFormat_ = TextFormat::Left;
    QColor topTextColor_{Qt::black};
    QColor topTextInUse_{Qt::black};
    std::int32_t shadeDimension_ = 0;
    QImage paintBuffer_;
    // A left press armed a click that a left release inside the control completes.
    bool clickArmed_ = false;
    // Whether the pointer is over the button as far as its notifications go. While a button is
    // held Qt reports the pointer crossing the edge only at the release; the moves report it
    // at once, and the late notification is then dropped as a repeat.
    bool pointerOver_ = false;
    // Set while the click handler runs (a "Start" run, a modal box).
    bool inClickHandler_ = false;
    // Space went down on the focused button; its release clicks.
    bool keyArmed_ = false;
    // The button was disabled while its click handler ran.
    bool disabledInClick_ = false;
};

} // namespace quill
