#include "dragdrop/WindowMessage.h"

#include "dragdrop/ShimSupport.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QWidget>

namespace quill::ole {

WindowMessageEvent::WindowMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
    : QEvent(eventType()), message_(message), wParam_(wParam), lParam_(lParam) {}

QEvent::Type WindowMessageEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == nullptr) {
        return 0;
    }
    WindowMessageEvent event(message, wParam, lParam);
    if (!runGuarded([&] { QCoreApplication::sendEvent(window, &event); })) {
        return 0;
    }
    return event.result();
}

} // namespace quill::ole
