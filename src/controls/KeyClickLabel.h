#pragma once
// A text label that can be clicked from the keyboard: with the focus (given by the window), Space
// and Enter click it, and the focus shows as a dotted frame in the label's text colour.

#include <QLabel>

namespace quill {

class KeyClickLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

} // namespace quill
