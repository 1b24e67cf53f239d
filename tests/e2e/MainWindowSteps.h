#pragma once
// Steps in the real main window that several end-to-end tests take: pressing "Start" and
// answering the confirmation box "Achtung!" with its default button, Yes.

#include "X11Session.h"

#include <QPoint>
#include <QString>

namespace quill::e2e {

// A box answered with its default button: it gets the keyboard (there is no window manager to
// give it) and Enter is pressed.
inline void pressEnterIn(X11Session& session, const QString& box) {
    session.focusWindow(box);
    session.key(QStringLiteral("Return"));
}

// Clicks "Start" of the main window whose client area begins at origin; the id of the
// confirmation box it opens, or empty when none came.
inline QString pressStart(X11Session& session, QPoint origin) {
    session.moveMouse(origin + QPoint(8 + 40, 196 + 12));
    session.click(1);
    return session.waitForWindow(QStringLiteral("Achtung!"), 20000);
}

// "Start", then Yes with Enter: false when no confirmation box came.
inline bool pressStartAndConfirm(X11Session& session, QPoint origin) {
    const QString question = pressStart(session, origin);
    if (question.isEmpty()) {
        return false;
    }
    pressEnterIn(session, question);
    return true;
}

} // namespace quill::e2e
