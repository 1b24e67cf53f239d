#pragma once
// The list controls run their notifications from inside the toolkit's event handlers. A failure
// that the connected handler does not catch ends here, at the control's edge, and is shown the
// way every uncaught failure is: its text, the application's title, the stop icon. Nothing
// unwinds into the toolkit.

#include "platform/Failure.h"
#include "platform/MessageBox.h"

#include <exception>
#include <utility>

namespace quill {

inline void showControlFailure(const QString& text) {
    MessageRequest request;
    request.text = text;
    request.title = applicationTitle();
    request.icon = MsgIcon::Critical;
    showMessage(request);
}

template <class F> void runGuarded(F&& action) noexcept {
    try {
        std::forward<F>(action)();
    } catch (const Failure& failure) {
        showControlFailure(failure.text());
    } catch (const std::exception& failure) {
        showControlFailure(QString::fromLocal8Bit(failure.what()));
    } catch (...) {
        showControlFailure(QStringLiteral("Unbekannter Fehler"));
    }
}

} // namespace quill
