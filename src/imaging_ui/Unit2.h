#pragma once
// The dialog "Text Eingabe": the overlay text and whether it is stamped.

#include <QDialog>
#include <QString>

class QCheckBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;

namespace quill {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // Created hidden; "Text" shows it modally.
    explicit TForm2(QWidget* parent = nullptr);

    // "OK": the typed text becomes the overlay text and the dialog closes.
    void Button1Click();

    // The text of the last "OK"; closing with the close box leaves it alone.
    const QString& overlayText() const { return overlayText_; }

    // The use flag, read straight from the check box.
    bool useOverlay() const;

    QLineEdit* Edit1;
    QCheckBox* CheckBox1; // "Diesen Text verwenden"
    QPushButton* Button1; // "OK"

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString overlayText_;
};

} // namespace quill
