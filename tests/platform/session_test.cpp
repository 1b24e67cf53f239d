// The Qt platform asked for in each kind of desktop session.

#include "platform/Session.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

using namespace quill;

TEST(Session, X11IsAskedForOnlyInAWaylandSessionWithXWaylandWhenTheUserNamedNoPlatform) {
    using Env = std::map<std::string, QByteArray>;
    const struct {
        const char* session;
        Env environment;
        QByteArray platform;
    } rows[] = {
        {"Wayland with XWayland", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, "xcb"},
        {"Wayland only", {{"WAYLAND_DISPLAY", "wayland-0"}}, ""},
        {"X11", {{"DISPLAY", ":0"}}, ""},
        {"no display", {}, ""},
        {"the user's own choice",
         {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}},
         ""},
        {"empty variables", {{"WAYLAND_DISPLAY", ""}, {"DISPLAY", ":0"}}, ""},
    };
    for (const auto& row : rows) {
        const QByteArray chosen = qtPlatformForSession([&](const char* name) {
            const auto found = row.environment.find(name);
            return found == row.environment.end() ? QByteArray() : found->second;
        });
        EXPECT_EQ(chosen, row.platform) << row.session;
    }
}
