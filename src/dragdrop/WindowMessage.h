#pragma once
// A window message delivered synchronously: the event a window's event() receives for a message
// sent to it, and the send that waits for the handler to finish.

#include "dragdrop/OleTypes.h"

#include <QEvent>

namespace quill::ole {

class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(UINT message, WPARAM wParam, LPARAM lParam);

    static QEvent::Type eventType();

    UINT message() const { return message_; }
    WPARAM wParam() const { return wParam_; }
    LPARAM lParam() const { return lParam_; }
    LRESULT result() const { return result_; }
    void setResult(LRESULT result) { result_ = result; }

private:
    UINT message_;
    WPARAM wParam_;
    LPARAM lParam_;
    LRESULT result_ = 0;
};

// Delivers the message to the window (through its event filters and event()) and returns once the
// handler has finished, with the result it set; 0 when nobody set one or there is no window. A
// failure the handler throws and nobody above caught is shown in the error box here, so it ends
// the handler but never unwinds into the caller.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace quill::ole
