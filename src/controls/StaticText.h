#pragma once
// The static text (`TStaticText`) of the forms.

#include "controls/KeyClickLabel.h"

namespace quill {

// A one-line text with a background colour of its own that reports clicks and pointer moves.
class TStaticText : public KeyClickLabel {
    Q_OBJECT
public:
    explicit TStaticText(const QString& text, QWidget* parent = nullptr);

signals:
    void mouseMoved(Qt::KeyboardModifiers modifiers, QPoint pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

} // namespace quill
