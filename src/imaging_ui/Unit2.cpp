#include "imaging_ui/Unit2.h"

#include "controls/LayoutPalette.h"
#include "platform/Fonts.h"
#include "platform/GuardedSlot.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

namespace quill {

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Text Eingabe"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(uiFont(11));
    setFixedSize(312, 93);
    useLayoutPalette(*this);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);
    setAutoFillBackground(true);

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(16, 16, 281, 21);
    CheckBox1 = new QCheckBox(QStringLiteral("Diesen Text verwenden"), this);
    CheckBox1->setGeometry(16, 56, 177, 17);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setGeometry(224, 56, 75, 25);
    // "OK" is not the default button: Enter in the text field does not close the dialog.
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    setTabOrder(Edit1, CheckBox1);
    setTabOrder(CheckBox1, Button1);

    connectGuarded(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
}

void TForm2::Button1Click() {
    overlayText_ = Edit1->text();
    accept();
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    // The form has no cancel button, so Escape closes nothing; the close box still does.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TForm2::useOverlay() const {
    return CheckBox1->isChecked();
}

} // namespace quill
