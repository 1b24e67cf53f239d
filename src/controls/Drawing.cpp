#include "controls/Drawing.h"

#include "platform/Fonts.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QStringList>
#include <QWidget>

namespace quill {

QColor colorFromValue(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                  static_cast<int>((value >> 16) & 0xFFu));
}

// --- value objects -------------------------------------------------------------------------

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

// --- captions ------------------------------------------------------------------------------

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

bool isClickKey(const QKeyEvent& event) {
    const int key = event.key();
    const bool plain = event.modifiers() == Qt::NoModifier ||
                       (key == Qt::Key_Enter && event.modifiers() == Qt::KeypadModifier);
    return plain && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter);
}

void drawFocusFrame(QPainter& painter, const QRect& controlRect, const QColor& colour) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(colour, 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(controlRect.adjusted(2, 2, -3, -3));
    painter.restore();
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

} // namespace quill
