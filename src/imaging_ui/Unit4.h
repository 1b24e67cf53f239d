#pragma once
// The tool window "drehen & spiegeln": two radio groups whose choice becomes the transform code.

#include <QWidget>

class QRadioButton;

namespace quill {

class TForm4 : public QWidget {
    Q_OBJECT
public:
    // Created hidden; the " XTRA " hover places and shows it.
    explicit TForm4(QWidget* parent = nullptr);

    // The sum of the turn code of the first group and the mirror code of the second.
    int transformCode() const;

    // The tool frame drawn around the client area: a thin border and a caption strip with the
    // whole title, no system buttons.
    static constexpr int FrameWidth = 1;
    static constexpr int CaptionHeight = 16;
    QRect captionRect() const;
    QFont captionFont() const;

    QWidget* Client; // the client area, 168 x 215, that holds the two panels

    QWidget* Panel1;
    QRadioButton* RadioButton1; // "nicht drehen"
    QRadioButton* RadioButton2; // "90° nach links"
    QRadioButton* RadioButton3; // "90° nach rechts"
    QRadioButton* RadioButton4; // "180°"
    QWidget* Panel2;
    QRadioButton* RadioButton5; // "nicht spiegeln"
    QRadioButton* RadioButton6; // "horizontal spiegeln"
    QRadioButton* RadioButton7; // "vertikal spiegeln"

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quill
