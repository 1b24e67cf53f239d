#pragma once
// A standard text label that also tells when the pointer moves onto or off it, so a window can
// give a piece of text a hover look (the label itself never changes its look).

#include "controls/KeyClickLabel.h"

namespace quill {

class TLabelFX : public KeyClickLabel {
    Q_OBJECT

public:
    explicit TLabelFX(QWidget* parent = nullptr);
    explicit TLabelFX(const QString& text, QWidget* parent = nullptr);

signals:
    // Raised before the label's standard handling of the pointer entering or leaving; over the
    // whole rectangle of the label, also where it is transparent and no letter is drawn.
    void mouseEnter();
    void mouseLeave();
    // clicked(): a left press and release inside the label. Only while something is connected
    // does the label take mouse presses; otherwise they pass on to its parent as with any label.

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool clickArmed_ = false;
};

} // namespace quill
