#pragma once
// The application-wide hourglass while a scope does busy work, restored on every way out of it.

#include <QGuiApplication>

namespace quill {

class WaitCursor {
public:
    explicit WaitCursor(bool on = true) : on_(on) {
        if (on_) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        }
    }
    ~WaitCursor() {
        if (on_) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool on_;
};

} // namespace quill
