#include "platform/MessageBox.h"

#include <cstdio>
#include <utility>

namespace quill {
namespace {

// Without a window system (no handler installed yet) a box degrades to a line on stderr and the
// default answer, so nothing blocks.
MsgResult fallbackHandler(const MessageRequest& request) {
    std::fprintf(stderr, "%s: %s\n",
                 qUtf8Printable(request.title.isEmpty() ? applicationTitle() : request.title),
                 qUtf8Printable(request.text));
    return request.defaultButton;
}

MessageHandler& currentHandler() {
    static MessageHandler handler = fallbackHandler;
    return handler;
}

} // namespace

QString applicationTitle() {
    return QStringLiteral("Quillmere");
}

MsgResult showMessage(const MessageRequest& request) {
    // Copy first: a handler may replace itself while its box is open.
    MessageHandler handler = currentHandler();
    return handler ? handler(request) : fallbackHandler(request);
}

void showMessage(const QString& text) {
    MessageRequest request;
    request.text = text;
    showMessage(request);
}

MessageHandler setMessageHandler(MessageHandler handler) {
    return std::exchange(currentHandler(), std::move(handler));
}

} // namespace quill

namespace quill {

void showUncaughtFailure(const QString& text) {
    MessageRequest request;
    request.text = text;
    request.title = applicationTitle();
    request.icon = MsgIcon::Critical;
    showMessage(request);
}

} // namespace quill
