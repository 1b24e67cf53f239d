#include "browse/RenameDialog.h"

#include "controls/LayoutPalette.h"
#include "controls/Modal.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace quill {

TOKBottomDlg::TOKBottomDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    useLayoutPalette(*this);
    setWindowTitle(QStringLiteral("Rename File"));
    setFont(uiFont(11));
    setFixedSize(312, 93);
    setSizeGripEnabled(false);

    // As wide as the name field below it: the prompt is wider in our face than in the layout.
    Label1 = new QLabel(QStringLiteral("Neuen Dateinamen ohne Endung eingeben !"), this);
    Label1->setGeometry(24, 8, 257, 13);

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(24, 32, 257, 21);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setGeometry(71, 60, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);

    // Escape and the close box reject the dialog as this button does.
    CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelBtn->setGeometry(159, 60, 75, 25);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, Edit1);
}

void TOKBottomDlg::showEvent(QShowEvent* event) {
    // Still before the window is mapped, and with its frame known.
    if (!event->spontaneous()) {
        centreOn(*this, centreOn_ ? centreOn_.data() : QApplication::activeWindow());
    }
    QDialog::showEvent(event);
    OKBtn->setFocus(Qt::OtherFocusReason);
}

std::optional<QString> AskNewBaseName(TOKBottomDlg& dialog, const QString& oldBaseName) {
    dialog.Edit1->setText(oldBaseName);
    if (execDialog(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Edit1->text();
}

} // namespace quill
