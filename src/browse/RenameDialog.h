#pragma once
// The "Rename File" dialog: the user types the new base name of one file.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quill {

class TOKBottomDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The window the dialog centres on when it opens; without one, the active window.
    void setCentreOn(QWidget* window) { centreOn_ = window; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QWidget> centreOn_;
};

// Puts the old base name into the dialog and runs it modally: the typed text, exactly as typed,
// when the dialog was closed with OK; nothing otherwise.
std::optional<QString> AskNewBaseName(TOKBottomDlg& dialog, const QString& oldBaseName);

} // namespace quill
