#pragma once
// Which program the desktop opens a type of file or an address with, following the freedesktop.org
// rules: the defaults and added or removed associations of the mimeapps.list files over the
// installed desktop entries. Everything is read afresh from the XDG folders at each call, so a
// change the user makes in the file manager counts at once and tests can point the environment
// at folders of their own.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace quill {

// One installed desktop entry that can be started.
struct DesktopApp {
    QString id;       // the desktop file id, "org.example.Viewer.desktop"
    QString filePath; // where the entry lies
    QString name;
    QString icon;
    QString exec;       // the Exec value, its escapes resolved
    QString workingDir; // the Path value
    bool terminal = false;
};

// $XDG_DATA_HOME/applications, then each $XDG_DATA_DIRS/applications: most important first.
QStringList applicationFolders();

// The mimeapps.list files (and the older defaults.list) that exist, most important first.
QStringList mimeAppsLists();

// The installed, startable entry with this id: not hidden, of type Application, its program
// (and its TryExec program) found.
std::optional<DesktopApp> findDesktopApp(const QString& id);

// The application for the first of the types (MIME types or x-scheme-handler/...) that has one:
// for each type its defaults, then its added associations, then every entry that names the type,
// leaving out removed associations.
std::optional<DesktopApp> applicationForTypes(const QStringList& types);

// The same, taking only the applications that `acceptable` accepts: the first of them in the
// order above.
std::optional<DesktopApp>
applicationForTypes(const QStringList& types,
                    const std::function<bool(const DesktopApp&)>& acceptable);

// The command that runs `command` in a window of the installed terminal emulator:
// xdg-terminal-exec, Debian's x-terminal-emulator or one of the common emulators, each with its
// own way of taking a command. Empty when none is installed.
QStringList inTerminalEmulator(const QStringList& command);
bool terminalEmulatorInstalled();

// Where terminal emulators are looked for: the folders of PATH, unless folders are set here
// (tests; an empty list goes back to PATH).
void setTerminalSearchPath(const QStringList& folders);

// A command line as desktop entries write it, split into words: blanks separate, double quotes
// group, and inside quotes a backslash escapes '"', '`', '$' and '\'. Nothing for an unterminated
// quote or an empty line.
std::optional<QStringList> splitExec(const QString& exec);

// The program and its arguments that open one target: %f, %F, %u and %U become the target (appended
// when the line names none), %i the icon option, %c the name, %k the entry's file, %% a percent
// sign; obsolete codes vanish. Empty when the Exec value is malformed.
QStringList expandExec(const DesktopApp& app, const QString& target);

} // namespace quill
