#include "imaging_ui/XtraHover.h"

#include "imaging_ui/Unit4.h"
#include "platform/MessageBox.h"

#include <QKeyEvent>
#include <QRadioButton>
#include <QWidget>
#include <utility>

namespace quill {

XtraHover::XtraHover(QWidget* mainWindow, TForm4* form4, QObject* parent)
    : QObject(parent), mainWindow_(mainWindow), form4_(form4), hover_(form4) {
    // The pointer's enter and leave events are right under every window manager; the window's
    // place as Qt knows it is not under one that shows a window elsewhere than its X position
    // (weston's, under XWayland), where the pointer's global position alone would close it.
    hover_.setInsideTest([form4](QPoint global) {
        return form4->frameGeometry().contains(global) ||
               (form4->isVisible() && form4->underMouse());
    });
    // Opened from the keyboard, the window stays where it is and the pointer takes over: leaving
    // it hides it, as when a window manager gave it no focus for Escape to reach.
    hover_.setOnStart([this] {
        if (!std::exchange(returnTo_, nullptr)) {
            place();
            form4_->show();
            form4_->raise();
        }
    });
    hover_.setOnEnd([this] { form4_->hide(); });
    form4_->installEventFilter(this);
}

void XtraHover::place() {
    // Over the main window's top left corner, where it covers the label under the pointer.
    form4_->move(mainWindow_->frameGeometry().topLeft() + QPoint(0, 8));
}

void XtraHover::openFromKeyboard(QWidget* returnTo) {
    if (hover_.isRunning() || returnTo_) {
        return;
    }
    returnTo_ = returnTo != nullptr ? returnTo : mainWindow_;
    place();
    form4_->show();
    form4_->raise();
    form4_->activateWindow();
    QRadioButton* const turns[] = {form4_->RadioButton1, form4_->RadioButton2, form4_->RadioButton3,
                                   form4_->RadioButton4};
    for (QRadioButton* turn : turns) {
        if (turn->isChecked()) {
            turn->setFocus(Qt::TabFocusReason);
        }
    }
}

void XtraHover::closeFromKeyboard(bool giveFocusBack) {
    const QPointer<QWidget> returnTo = std::exchange(returnTo_, nullptr);
    form4_->hide();
    if (giveFocusBack && returnTo) {
        returnTo->activateWindow();
        returnTo->setFocus(Qt::OtherFocusReason);
    }
}

bool XtraHover::eventFilter(QObject* watched, QEvent* event) {
    if (watched != form4_) {
        return false;
    }
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        runGuarded([this] {
            if (returnTo_) {
                closeFromKeyboard(true);
            } else {
                hover_.stop();
            }
        });
        return true;
    }
    // Opened by the keyboard, it goes when the user turns to another window.
    if (event->type() == QEvent::WindowDeactivate && returnTo_ && form4_->isVisible()) {
        runGuarded([this] { closeFromKeyboard(false); });
    }
    return false;
}

} // namespace quill
