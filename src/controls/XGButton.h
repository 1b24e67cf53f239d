#pragma once
// A push button whose face is a plain figure (rectangle, square, rounded rectangle or square,
// ellipse, circle) outlined with Pen and filled with Brush, with a shade text and a top text
// like the aqua button. Each look is made by copying the state's brush, pen and font into
// Brush, Pen and Font themselves; the normal look waits in the saved style while the pointer is
// over the button.

#include "controls/ButtonBase.h"

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

class TXGButton : public ButtonBase {
    Q_OBJECT

public:
    explicit TXGButton(QWidget* parent = nullptr);

    TXGButtonType Shape() const { return shape_; }
    void SetShape(TXGButtonType value);

    // The box (left, top, width, height) the figure of the given shape is drawn in on a
    // control of the given size.
    static QRect figureBox(TXGButtonType shape, QSize control);
    // Width and height of the corner ellipse of the rounded figures.
    static int cornerSize(QSize control);

protected:
    void showLook(Moment moment) override;
    void paintFace(QPainter& painter) override;

private:
    TXGButtonType shape_ = gbtRectangle;
    TPen savedPen_;
    TBrush savedBrush_;
    TFont savedFont_;
};

} // namespace quill
