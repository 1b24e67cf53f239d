#pragma once
// The one road every message box of the program takes. The main window's start-up installs a
// handler that shows a real modal box; tests install one that records the request and answers.

#include <QString>
#include <functional>

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

} // namespace quill
