#include "browse/TargetFolderDialog.h"

#include "browse/DirectoryListBox.h"
#include "browse/DriveComboBox.h"
#include "controls/LayoutPalette.h"
#include "controls/Modal.h"
#include "platform/Failure.h"
#include "platform/Fonts.h"
#include "platform/GuardedSlot.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

namespace quill {

TOKBottomDlg1::TOKBottomDlg1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    // The title bar stays empty. Qt puts the application's name into an empty title, so the
    // title is a blank, which shows as nothing.
    setWindowTitle(QStringLiteral(" "));
    useLayoutPalette(*this);
    setFont(uiFont(11));
    setFixedSize(196, 259);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 177, 169);

    Label1 = new QLabel(QStringLiteral("Zielverzeichnis auswählen:"), this);
    Label1->setGeometry(24, 16, 127, 13);
    // The label sizes itself to its text, as its layout width was measured with another face.
    Label1->adjustSize();

    DriveComboBox1 = new TDriveComboBox(this);
    DriveComboBox1->setGeometry(24, 40, 145, 19);

    DirectoryListBox1 = new TDirectoryListBox(this);
    DirectoryListBox1->setGeometry(24, 72, 145, 97);
    DriveComboBox1->setAccessibleName(QStringLiteral("Laufwerk"));
    DirectoryListBox1->setAccessibleName(QStringLiteral("Ordner"));

    // One fixed line, right-aligned: a long path loses its beginning, not its end.
    Label2 = new QLabel(this);
    Label2->setGeometry(16, 184, 169, 17);
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label2->setWordWrap(false);
    Label2->setTextFormat(Qt::PlainText);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setGeometry(15, 224, 75, 25);
    OKBtn->setDefault(true);
    Button1 = new QPushButton(QStringLiteral("Abbrechen"), this);
    Button1->setGeometry(112, 224, 75, 25);

    setTabOrder(OKBtn, DirectoryListBox1);
    setTabOrder(DirectoryListBox1, DriveComboBox1);
    setTabOrder(DriveComboBox1, Button1);
    OKBtn->setFocus();

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connectGuarded(DriveComboBox1, &TDriveComboBox::changed, this,
                   &TOKBottomDlg1::DriveComboBox1Change);
    connectGuarded(DirectoryListBox1, &TDirectoryListBox::changed, this,
                   &TOKBottomDlg1::DirectoryListBox1Change);

    FormActivate();
}

std::optional<QString> TOKBottomDlg1::ChooseFolder() {
    FormActivate();
    if (execDialog(*this) != QDialog::Accepted) {
        return std::nullopt;
    }
    return DirectoryListBox1->Directory();
}

void TOKBottomDlg1::FormActivate() {
    Label2->setText(DirectoryListBox1->Directory());
}

void TOKBottomDlg1::DirectoryListBox1Change() {
    Label2->setText(DirectoryListBox1->Directory());
}

void TOKBottomDlg1::DriveComboBox1Change() {
    try {
        DirectoryListBox1->SetDrive(DriveComboBox1->Drive());
    } catch (const InOutError&) {
        DriveComboBox1->SetDrive(DirectoryListBox1->Drive());
        showMessage(QStringLiteral("Kein Datenträger im Laufwerk"));
    }
}

bool TOKBottomDlg1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        runGuarded([this] { FormActivate(); });
    }
    return QDialog::event(event);
}

void TOKBottomDlg1::keyPressEvent(QKeyEvent* event) {
    // No button cancels: Escape leaves the dialog open.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TOKBottomDlg1::showEvent(QShowEvent* event) {
    // Still before the window is mapped, and with its frame known. After a message box no
    // window is active, so the window to centre on is named rather than guessed.
    if (!event->spontaneous()) {
        const QWidget* over = centreOn_                   ? centreOn_.data()
                              : parentWidget() != nullptr ? parentWidget()->window()
                                                          : QApplication::activeWindow();
        centreOn(*this, over);
    }
    QDialog::showEvent(event);
}

} // namespace quill
