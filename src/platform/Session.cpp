#include "platform/Session.h"

#include <QtGlobal>

namespace quill {

QByteArray qtPlatformForSession(const EnvironmentReader& environment) {
    const bool named = !environment("QT_QPA_PLATFORM").isEmpty();
    const bool wayland = !environment("WAYLAND_DISPLAY").isEmpty();
    const bool x11 = !environment("DISPLAY").isEmpty();
    return !named && wayland && x11 ? QByteArrayLiteral("xcb") : QByteArray();
}

void chooseQtPlatformForSession() {
    const QByteArray platform =
        qtPlatformForSession([](const char* name) { return qgetenv(name); });
    if (!platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", platform);
    }
}

} // namespace quill
