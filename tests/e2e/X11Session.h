#pragma once
// A real X server (Xvfb) of the test's own, the real program started in it, real input through
// xdotool and screenshots through xwd. Each session picks a free display number itself.

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>

namespace quill::e2e {

class X11Session {
public:
    X11Session(int screenWidth = 1280, int screenHeight = 1024);
    ~X11Session();
    X11Session(const X11Session&) = delete;
    X11Session& operator=(const X11Session&) = delete;

    bool ok() const { return display_ >= 0; }
    QString display() const { return QStringLiteral(":%1").arg(display_); }
    QSize screenSize() const { return screen_; }

    // Starts the real program with the given arguments in the given working folder.
    bool startProgram(const QStringList& arguments = {}, const QString& workingDir = {});
    QProcess& program() { return *program_; }

    // Starts another program on this display (its output is read by the test).
    std::unique_ptr<QProcess> startOther(const QString& path, const QStringList& arguments);
    bool waitForProgramExit(int ms);

    // Waits until a visible window with this exact title exists; returns its id or 0.
    QString waitForWindow(const QString& title, int ms);
    // The window's client area on the screen.
    QRect windowGeometry(const QString& windowId);

    // Runs xdotool with the arguments against this display; returns its standard output.
    QString xdotool(const QStringList& arguments);
    void moveMouse(QPoint screenPos);
    void click(int button = 1);
    // Gives a window the keyboard focus (there is no window manager to do it).
    void focusWindow(const QString& windowId);
    void key(const QString& keys);
    void closeWindow(const QString& windowId);

    // The whole screen as it is now.
    QImage screenshot();

    // Polls until the predicate holds or the time is up (no fixed sleeps in tests).
    template <typename Predicate> bool waitUntil(Predicate predicate, int ms);

private:
    QProcessEnvironment environment() const;
    bool startServer(int display);
    bool launchProgram(const QStringList& arguments, const QString& workingDir);
    static void pause(int ms);

    int display_ = -1;
    QSize screen_;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> program_;
};

// Decodes an XWD dump (as written by `xwd -root`) of a 24/32-bit TrueColor screen.
QImage decodeXwd(const QByteArray& data);

// Path of the program under test, and of the drag-and-drop peer.
QString programPath();
QString dragPeerPath();

template <typename Predicate> bool X11Session::waitUntil(Predicate predicate, int ms) {
    for (int waited = 0; waited <= ms; waited += 50) {
        if (predicate()) {
            return true;
        }
        pause(50);
    }
    return predicate();
}

} // namespace quill::e2e
