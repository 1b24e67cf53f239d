#pragma once
// The desktop session the program starts in, and the Qt platform it asks for there.

#include <QByteArray>
#include <functional>

namespace quill {

// Reads one environment variable (empty when unset).
using EnvironmentReader = std::function<QByteArray(const char* name)>;

// The Qt platform to ask for, or empty to leave the choice to Qt. In a Wayland session that also
// offers X11 (XWayland), and unless the user named a platform, X11: on Wayland a window cannot
// place itself on the screen and the pointer is not known outside the program's own windows, so
// "drehen & spiegeln" could neither appear over its label nor go when the pointer leaves it.
QByteArray qtPlatformForSession(const EnvironmentReader& environment);

// Sets QT_QPA_PLATFORM to that choice; before the application object is made.
void chooseQtPlatformForSession();

} // namespace quill
