#pragma once
// The program's own push button: a horizontal gradient face that follows the pointer (normal,
// mouse over, pressed), with a caption drawn twice (a shifted shade text and the top text).
// Every look is pre-rendered at a style rebuild; a paint only composes the face in an
// off-screen buffer and copies it in one step, so the button never flickers.
//
// The header also holds what the three custom controls share: the brush, pen and font value
// objects with their change notification, the pointer-position source used to decide whether a
// release happened inside a control, and the multi-line caption routine.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>

class QPainter;

namespace quill {

// A colour value as the layout stores it: red in the low byte, green in the next, blue in the
// third.
QColor colorFromValue(std::uint32_t value);

// Brush, pen and font of a control. Copying a value object copies its attributes only; the
// control's own objects carry a change callback, and every attribute set on them (also an
// assignment from another object) runs it, equal values included.
class TBrush {
public:
    TBrush() = default;
    explicit TBrush(QColor color, Qt::BrushStyle style = Qt::SolidPattern)
        : color_(color), style_(style) {}
    TBrush(const TBrush& other) : color_(other.color_), style_(other.style_) {}
    TBrush& operator=(const TBrush& other) {
        Assign(other);
        return *this;
    }

    QColor Color() const { return color_; }
    void SetColor(QColor color);
    // Qt::NoBrush is the clear style.
    Qt::BrushStyle Style() const { return style_; }
    void SetStyle(Qt::BrushStyle style);
    void Assign(const TBrush& other);
    void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

private:
    void changed();

    QColor color_ = Qt::white;
    Qt::BrushStyle style_ = Qt::SolidPattern;
    std::function<void()> onChange_;
};

class TPen {
public:
    TPen() = default;
    explicit TPen(QColor color, Qt::PenStyle style = Qt::SolidLine, int width = 1)
        : color_(color), style_(style), width_(width) {}
    TPen(const TPen& other) : color_(other.color_), style_(other.style_), width_(other.width_) {}
    TPen& operator=(const TPen& other) {
        Assign(other);
        return *this;
    }

    QColor Color() const { return color_; }
    void SetColor(QColor color);
    // Qt::NoPen is the clear style.
    Qt::PenStyle Style() const { return style_; }
    void SetStyle(Qt::PenStyle style);
    int Width() const { return width_; }
    void SetWidth(int width);
    void Assign(const TPen& other);
    void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

private:
    void changed();

    QColor color_ = Qt::black;
    Qt::PenStyle style_ = Qt::SolidLine;
    int width_ = 1;
    std::function<void()> onChange_;
};

// A face with its size, weight and style (QFont) and the colour text is drawn in.
class TFont {
public:
    TFont(); // the toolkit default: the UI face at 11 pixels, black
    explicit TFont(const QFont& font, QColor color = Qt::black) : font_(font), color_(color) {}
    TFont(const TFont& other) : font_(other.font_), color_(other.color_) {}
    TFont& operator=(const TFont& other) {
        Assign(other);
        return *this;
    }

    const QFont& Font() const { return font_; }
    void SetFont(const QFont& font);
    QColor Color() const { return color_; }
    void SetColor(QColor color);
    void Assign(const TFont& other);
    void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

private:
    void changed();

    QFont font_;
    QColor color_ = Qt::black;
    std::function<void()> onChange_;
};

// Where the pointer is on the screen. The buttons ask it at a release whether the pointer is
// still over them; tests replace it because the offscreen platform has no real pointer.
using PointerSource = std::function<QPoint()>;
QPoint pointerPosition();
// Replaces the source (an empty function restores QCursor::pos()); returns the previous one.
PointerSource setPointerSource(PointerSource source);

// Text format of a multi-line caption, derived from a TextAlign value (1 left, 2 centred,
// 3 right, anything else left).
enum class TextFormat : std::int32_t { Left = 0, Centred = 1, Right = 2 };
TextFormat textFormatFromAlign(int textAlign);

// Draws text line by line from the top of rect, breaking only at the line breaks it contains,
// each line aligned by format, not clipped to rect. With a cell colour every line's text cell is
// filled with it first.
void drawMultiLineText(QPainter& painter, const QRect& rect, const QString& text, TextFormat format,
                       const TFont& font, const QColor* cellColor = nullptr);

// The background colour a lightweight control is drawn on: its parent's window colour.
QColor parentBackgroundColor(const QWidget& control);

// The caption's face as the buttons draw it: without anti-aliasing, so the one-pixel shade text
// stays a crisp copy of the top text instead of a blur beside it.
QFont captionFont(const QFont& font);

class TXAquaButton : public QWidget {
    Q_OBJECT

public:
    enum ButtonState : std::uint8_t { Normal = 1, MouseOver = 2, Pressed = 3, ReleasedOver = 4 };

    explicit TXAquaButton(QWidget* parent = nullptr);
    ~TXAquaButton() override;

    // The control's own objects. Setting an attribute of Brush or Pen directly runs
    // StyleChanged; of Font repaints; of the other four changes nothing until the next rebuild
    // or state change.
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

    QColor FadeOutColor() const { return fadeOutColor_; }
    void SetFadeOutColor(QColor value);
    QColor TopTextColor() const { return topTextColor_; }
    void SetTopTextColor(QColor value);
    QColor TopTextClOver() const { return topTextClOver_; }
    void SetTopTextClOver(QColor value);
    QColor TopTextClDown() const { return topTextClDown_; }
    void SetTopTextClDown(QColor value);
    int TShadeDimension() const { return shadeDimension_; }
    void SetTShadeDimension(int value);

    QString Text() const { return text_; }
    void SetText(const QString& value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool value);
    int TextBorderWidth() const { return textBorderWidth_; }
    void SetTextBorderWidth(int value);
    int TextBorderHeight() const { return textBorderHeight_; }
    void SetTextBorderHeight(int value);
    int TextAlign() const { return textAlign_; }
    void SetTextAlign(int value);

    bool TakeImg() const { return takeImg_; }
    void SetTakeImg(bool value) { takeImg_ = value; }
    int Transparency() const { return transparency_; }
    void SetTransparency(int value) { transparency_ = value; }
    bool Fix() const { return fix_; }
    void SetFix(bool value) { fix_ = value; }

    // Rebuilds the three gradients (unless TakeImg), takes a fresh paint font from Font and
    // repaints.
    void StyleChanged();
    // Repaints at once, synchronously.
    void myUpdate();
    void Init();

    // A horizontal gradient over the whole picture, from start towards (never reaching) end.
    static void CreateBackground(QImage& picture, QColor start, QColor end);
    // Blends back over target with back weighted percent per cent (target as 24-bit afterwards).
    static void MergeImages(const QImage& back, QImage& target, int percent);

    void SetBackBmp(const QImage& picture);
    void SetBgBmp(const QImage& picture);
    void SetBgOverBmp(const QImage& picture);
    void SetBgDownBmp(const QImage& picture);

    // What the control is showing, for the window and for tests.
    ButtonState State() const { return state_; }
    bool Latched() const { return fix_ && latch_; }
    const TFont& PaintFont() const { return paintFont_; }
    QColor TopTextColorInUse() const { return topTextInUse_; }
    const QImage& NormalBackground() const { return bgNormal_; }
    const QImage& MouseOverBackground() const { return bgOver_; }
    const QImage& PressedBackground() const { return bgDown_; }
    const QImage& BackPicture() const { return backPicture_; }

signals:
    void clicked();
    void mouseEnter();
    void mouseLeave();
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos);
    void mouseMove(Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
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
    void enterState(ButtonState state, const TFont& paintFont, QColor topText);
    bool pointerInside() const;
    void runClickHandler();
    const QImage& backgroundOfState() const;

    TPen pen_{QColor(251, 200, 21), Qt::NoPen};
    TBrush brush_{QColor(128, 128, 128)};
    TPen mOverPen_;
    TPen mDownPen_{QColor(68, 68, 68)};
    TBrush mOverBrush_{Qt::white};
    TBrush mDownBrush_{Qt::white};
    QColor fadeOutColor_{192, 192, 192};
    TFont font_;
    TFont mOverFont_;
    TFont mDownFont_;
    TFont paintFont_;
    QString text_ = QStringLiteral("OK");
    bool wordWrap_ = false;
    std::int32_t textBorderWidth_ = 4;
    std::int32_t textBorderHeight_ = 4;
    std::int32_t textAlign_ = 1;
    TextFormat textFormat_ = TextFormat::Left;
    QColor topTextColor_{Qt::black};
    QColor topTextClOver_{Qt::black};
    QColor topTextClDown_{Qt::black};
    QColor topTextInUse_{Qt::black};
    std::int32_t shadeDimension_ = 0;
    bool takeImg_ = false;
    std::int32_t transparency_ = 0;
    QImage paintBuffer_;
    QImage bgNormal_;
    QImage bgOver_;
    QImage bgDown_;
    QImage backPicture_;
    ButtonState state_ = Normal;
    bool fix_ = false;
    bool latch_ = false;
    // A left press armed a click that a left release inside the control completes.
    bool clickArmed_ = false;
    // Whether the pointer is over the button as far as its notifications go. While a button is
    // held Qt reports the pointer crossing the edge only at the release; the moves report it
    // at once, and the late notification is then dropped as a repeat.
    bool pointerOver_ = false;
    // Set while the click handler runs (a "Start" run, a modal box).
    bool inClickHandler_ = false;
    // The size the backgrounds were last built for: Qt delivers a hidden widget's resize only
    // when it is shown, and only a real change of size rebuilds the style.
    QSize builtSize_;
};

// Gives one of the main window's four aqua buttons its look, in the order the window applies
// it: the "Start" button (isStart) has the red mouse-over gradient and its own mouse-over
// colours. Font attributes are set on the button's own objects, so the last style rebuild comes
// before the window's Font and the normal caption keeps the construction font's shade colour
// until the pointer has entered and left the button once.
void applyMainWindowLook(TXAquaButton& button, const QString& text, bool isStart);

} // namespace quill
