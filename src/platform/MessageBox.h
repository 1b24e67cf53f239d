#pragma once
// The one road every message box of the program takes. The main window's start-up installs a
// handler that shows a real modal box; tests install one that records the request and answers.

#include "platform/Failure.h"

#include <QString>
#include <functional>
#include <utility>

namespace quill {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Information, Warning, Critical, Question };
enum class MsgResult { Ok, Yes, No, Cancel };

struct MessageRequest {
    QString text;
    QString title; // empty: the application's title
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    MsgResult defaultButton = MsgResult::Ok;
};

using MessageHandler = std::function<MsgResult(const MessageRequest&)>;

// Shows the box (modal) and returns the button the user chose.
MsgResult showMessage(const MessageRequest& request);

// A plain box with the application's title, an OK button and no icon.
void showMessage(const QString& text);

// Replaces the handler; returns the previous one so a scope can put it back.
MessageHandler setMessageHandler(MessageHandler handler);

// The title a box without a title of its own shows.
QString applicationTitle();

// Shows a failure that no handler caught: its text, the application's title, the stop icon.
void showUncaughtFailure(const QString& text);

// Runs an action at the edge of a toolkit callback (an event, a control's notification, a drag):
// a failure it raises ends here and is shown as every uncaught failure is, so nothing unwinds
// into the toolkit. False when the action failed.
template <class Action> bool runGuarded(Action&& action) noexcept {
    try {
        std::forward<Action>(action)();
        return true;
    } catch (...) {
        showUncaughtFailure(failureText(std::current_exception()));
    }
    return false;
}

} // namespace quill
