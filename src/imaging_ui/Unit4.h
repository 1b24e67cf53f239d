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

    QWidget* Panel1;
    QRadioButton* RadioButton1; // "nicht drehen"
    QRadioButton* RadioButton2; // "90° nach links"
    QRadioButton* RadioButton3; // "90° nach rechts"
    QRadioButton* RadioButton4; // "180°"
    QWidget* Panel2;
    QRadioButton* RadioButton5; // "nicht spiegeln"
    QRadioButton* RadioButton6; // "horizontal spiegeln"
    QRadioButton* RadioButton7; // "vertikal spiegeln"
};

} // namespace quill
