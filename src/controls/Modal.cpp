#include "controls/Modal.h"

#include <QGuiApplication>
#include <QMargins>
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
    const QRect client = window.geometry();
    if (frame == client && over != nullptr && over != &window &&
        over->frameGeometry() != over->geometry()) {
        // Not framed yet: the window manager will give it a frame like the other window's, and
        // until then Qt takes the position as the client area's.
        const QRect overFrame = over->frameGeometry();
        const QRect overClient = over->geometry();
        const QMargins margins(
            overClient.left() - overFrame.left(), overClient.top() - overFrame.top(),
            overFrame.right() - overClient.right(), overFrame.bottom() - overClient.bottom());
        frame = client.marginsAdded(margins);
        frame.moveCenter(area.center());
        window.move(frame.topLeft() + QPoint(margins.left(), margins.top()));
        return;
    }
    frame.moveCenter(area.center());
    window.move(frame.topLeft());
}

} // namespace quill
