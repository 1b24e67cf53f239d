#pragma once
// The program's own push button: a horizontal gradient face that follows the pointer (normal,
// mouse over, pressed), with a caption drawn twice (a shifted shade text and the top text).
// Every look is pre-rendered at a style rebuild; a paint only composes the face in an
// off-screen buffer and copies it in one step, so the button never flickers.

#include "controls/ButtonBase.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <cstdint>

namespace quill {

class TXAquaButton : public ButtonBase {
    Q_OBJECT

public:
    enum ButtonState : std::uint8_t { Normal = 1, MouseOver = 2, Pressed = 3, ReleasedOver = 4 };

    explicit TXAquaButton(QWidget* parent = nullptr);

    QColor FadeOutColor() const { return fadeOutColor_; }
    void SetFadeOutColor(QColor value);
    QColor TopTextClOver() const { return topTextClOver_; }
    void SetTopTextClOver(QColor value);
    QColor TopTextClDown() const { return topTextClDown_; }
    void SetTopTextClDown(QColor value);
    int TextBorderHeight() const { return textBorderHeight_; }
    void SetTextBorderHeight(int value);

    bool TakeImg() const { return takeImg_; }
    void SetTakeImg(bool value) { takeImg_ = value; }
    int Transparency() const { return transparency_; }
    void SetTransparency(int value) { transparency_ = value; }
    bool Fix() const { return fix_; }
    void SetFix(bool value) { fix_ = value; }

    // Rebuilds the three gradients (unless TakeImg), takes a fresh paint font from Font and
    // repaints.
    void StyleChanged() override;
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
    const QImage& NormalBackground() const { return bgNormal_; }
    const QImage& MouseOverBackground() const { return bgOver_; }
    const QImage& PressedBackground() const { return bgDown_; }
    const QImage& BackPicture() const { return backPicture_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showLook(Moment moment) override;
    void paintFace(QPainter& painter) override;

private:
    void enterState(ButtonState state, const TFont& paintFont, QColor topText);
    const QImage& backgroundOfState() const;
    // The state's gradient made for the device's pixels when they are finer than the layout's.
    const QImage& backgroundForPixels(qreal ratio);

    QColor fadeOutColor_{192, 192, 192};
    TFont paintFont_;
    std::int32_t textBorderHeight_ = 4;
    QColor topTextClOver_{Qt::black};
    QColor topTextClDown_{Qt::black};
    bool takeImg_ = false;
    std::int32_t transparency_ = 0;
    QImage bgNormal_;
    QImage bgOver_;
    QImage bgDown_;
    QImage backPicture_;
    ButtonState state_ = Normal;
    bool fix_ = false;
    bool latch_ = false;
    // The size the backgrounds were last built for: Qt delivers a hidden widget's resize only
    // when it is shown, and only a real change of size rebuilds the style.
    QSize builtSize_;
    // The start colours of the three gradients as the last style rebuild took them, and the
    // gradients made from them for a finer screen (cached for one ratio).
    QColor builtStart_[3];
    QImage fineBackground_[3];
    qreal fineRatio_ = 0;
};

} // namespace quill
