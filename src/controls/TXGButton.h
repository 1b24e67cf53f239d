#pragma once
// A push button whose face is a plain figure (rectangle, square, rounded rectangle or square,
// ellipse, circle) outlined with Pen and filled with Brush, with a shade text and a top text
// like the aqua button. Each look is made by copying the state's brush, pen and font into
// Brush, Pen and Font themselves; the normal look waits in the saved style while the pointer is
// over the button.

#include "controls/XAquaButton.h"

#include <QImage>
#include <QWidget>

#include <cstdint>

namespace quill {

enum TXGButtonType : std::uint8_t {
    gbtRectangle,
    gbtSquare,
    gbtRoundRect,
    gbtRoundSquare,
    gbtEllipse,
    gbtCircle
};

class TXGButton : public QWidget {
    Q_OBJECT

public:
    explicit TXGButton(QWidget* parent = nullptr);
    ~TXGButton() override;

    TXGButtonType Shape() const { return shape_; }
    void SetShape(TXGButtonType value);

    // The control's own objects: Brush and Pen repaint on every change, Font repaints at the
    // next paint cycle, the other six are only copied from when the look changes.
    TBrush& Brush() { return brush_; }
    TPen& Pen() { return pen_; }
    TBrush& MOverBrush() { return mOverBrush_; }
    TPen& MOverPen() { return mOverPen_; }
    TBrush& MDownBrush() { return mDownBrush_; }
    TPen& MDownPen() { return mDownPen_; }
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

    void StyleChanged();
    // Repaints at once, synchronously.
    void myUpdate();

    // The box (left, top, width, height) the figure of the given shape is drawn in on a
    // control of the given size.
    static QRect figureBox(TXGButtonType shape, QSize control);
    // Width and height of the corner ellipse of the rounded figures.
    static int cornerSize(QSize control);

signals:
    void clicked();
    void mouseEnter();
    void mouseLeave();
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseMove(Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void press(QMouseEvent* event, bool armClick);
    void pointerEntered(QEnterEvent* event);
    void pointerLeft(QEvent* event);
    bool pointerInside() const;

    TXGButtonType shape_ = gbtRectangle;
    TPen pen_{QColor(251, 200, 21)};
    TPen savedPen_;
    TBrush brush_{QColor(251, 239, 169)};
    TBrush savedBrush_;
    TPen mOverPen_;
    TPen mDownPen_{QColor(68, 68, 68)};
    TBrush mOverBrush_{Qt::white};
    TBrush mDownBrush_{Qt::white};
    TFont font_;
    TFont mOverFont_;
    TFont mDownFont_;
    TFont savedFont_;
    QString text_ = QStringLiteral("OK");
    bool wordWrap_ = false;
    std::int32_t textBorderWidth_ = 8;
    std::int32_t textAlign_ = 1;
    TextFormat textFormat_ = TextFormat::Left;
    QColor topTextColor_{Qt::black};
    std::int32_t shadeDimension_ = 0;
    QImage paintBuffer_;
    bool clickArmed_ = false;
    // As in the aqua button: crossings while a button is held come from the moves.
    bool pointerOver_ = false;
};

} // namespace quill
