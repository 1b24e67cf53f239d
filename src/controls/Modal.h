#pragma once
// The one road every modal dialog of the program takes (our own forms, the font and colour
// dialogs). Tests replace the runner: it receives the dialog, may fill it in, and answers with
// QDialog::Accepted or QDialog::Rejected instead of a nested event loop.

#include <QDialog>
#include <functional>

namespace quill {

using DialogRunner = std::function<int(QDialog&)>;

int execDialog(QDialog& dialog);

// Replaces the runner; returns the previous one so a scope can put it back.
DialogRunner setDialogRunner(DialogRunner runner);

// Puts a window that is about to open with its centre on the centre of another window, or of
// the screen when there is none.
void centreOn(QWidget& window, const QWidget* over);

} // namespace quill
