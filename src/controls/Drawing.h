#pragma once
// What the custom controls share for drawing: the brush, pen and font value objects with their
// change notification, the colour values of the layout, and the multi-line caption routine.

#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <functional>

class QKeyEvent;
class QPainter;
class QRect;
class QWidget;

namespace quill {

// A colour value as the layout stores it: red in the low byte, green in the next, blue in the
// third.
QColor colorFromValue(std::uint32_t value);

// The change callback of a control's own value object. Copies never carry it: a copy is a plain
// value, and only the control's own objects report to the control.
class ChangeNotice {
public:
    ChangeNotice() = default;
    ChangeNotice(const ChangeNotice&) {}
    ChangeNotice& operator=(const ChangeNotice&) { return *this; }
    void SetOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

protected:
    ~ChangeNotice() = default;
    void changed() const {
        if (onChange_) {
            onChange_();
        }
    }

private:
    std::function<void()> onChange_;
};

// Brush, pen and font of a control. Copying a value object copies its attributes only; the
// control's own objects carry a change callback, and every attribute set on them (also an
// assignment from another object) runs it, equal values included.
class TBrush : public ChangeNotice {
public:
    TBrush() = default;
    explicit TBrush(QColor color, Qt::BrushStyle style = Qt::SolidPattern)
        : color_(color), style_(style) {}
    TBrush(const TBrush& other) : ChangeNotice(), color_(other.color_), style_(other.style_) {}
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

private:
    QColor color_ = Qt::white;
    Qt::BrushStyle style_ = Qt::SolidPattern;
};

class TPen : public ChangeNotice {
public:
    TPen() = default;
    explicit TPen(QColor color, Qt::PenStyle style = Qt::SolidLine, int width = 1)
        : color_(color), style_(style), width_(width) {}
    TPen(const TPen& other)
        : ChangeNotice(), color_(other.color_), style_(other.style_), width_(other.width_) {}
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

private:
    QColor color_ = Qt::black;
    Qt::PenStyle style_ = Qt::SolidLine;
    int width_ = 1;
};

// A face with its size, weight and style (QFont) and the colour text is drawn in.
class TFont : public ChangeNotice {
public:
    TFont(); // the toolkit default: the UI face at 11 pixels, black
    explicit TFont(const QFont& font, QColor color = Qt::black) : font_(font), color_(color) {}
    TFont(const TFont& other) : ChangeNotice(), font_(other.font_), color_(other.color_) {}
    TFont& operator=(const TFont& other) {
        Assign(other);
        return *this;
    }

    const QFont& Font() const { return font_; }
    void SetFont(const QFont& font);
    QColor Color() const { return color_; }
    void SetColor(QColor color);
    void Assign(const TFont& other);

private:
    QFont font_;
    QColor color_ = Qt::black;
};

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

// Space, Enter or Return without modifiers: the keys that click a focused control.
bool isClickKey(const QKeyEvent& event);

// The keyboard focus on a control of the program: a dotted frame two pixels inside its edges, in
// the colour of its caption.
void drawFocusFrame(QPainter& painter, const QRect& controlRect, const QColor& colour);

// The caption's face as the buttons draw it: without anti-aliasing, so the one-pixel shade text
// stays a crisp copy of the top text instead of a blur beside it.
QFont captionFont(const QFont& font);

} // namespace quill
