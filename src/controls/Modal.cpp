#include "controls/Modal.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <utility>

namespace quill {
namespace {

DialogRunner& currentRunner() {
    static DialogRunner runner;
    return runner;
}

} // namespace

int execDialog(QDialog& dialog) {
    DialogRunner runner = currentRunner();
    if (runner) {
        return runner(dialog);
    }
    return dialog.exec();
}

DialogRunner setDialogRunner(DialogRunner runner) {
    return std::exchange(currentRunner(), std::move(runner));
}

void centreOn(QWidget& window, const QWidget* over) {
    QRect area;
    if (over != nullptr && over != &window) {
        area = over->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (!area.isValid()) {
        return;
    }
    QRect frame = window.frameGeometry();
    frame.moveCenter(area.center());
    window.move(frame.topLeft());
}

} // namespace quill
