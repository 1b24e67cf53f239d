#pragma once
// The target folder dialog: when the conversion run cannot make its output folder beside the
// pictures, the user picks another folder here. It is created once, hidden, and keeps the folder
// last shown between uses.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <optional>

class QFrame;
class QLabel;
class QPushButton;

namespace quill {

class TDriveComboBox;
class TDirectoryListBox;

class TOKBottomDlg1 : public QDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg1(QWidget* parent = nullptr);

    QFrame* Bevel1 = nullptr;
    QLabel* Label1 = nullptr;
    TDriveComboBox* DriveComboBox1 = nullptr;
    TDirectoryListBox* DirectoryListBox1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* Button1 = nullptr;

    // Shows the dialog modally. After OK: the chosen folder, absolute ("/" for the root).
    // After "Abbrechen" or closing the window: nothing.
    std::optional<QString> ChooseFolder();

    // The window the dialog centres on when it opens: the main window.
    void setCentreOn(QWidget* window) { centreOn_ = window; }

    void FormActivate();
    void DirectoryListBox1Change();
    void DriveComboBox1Change();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QWidget> centreOn_;
};

} // namespace quill
