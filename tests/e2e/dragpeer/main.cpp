// quill_dragpeer: the second program of the drag-and-drop end-to-end tests. It plays either the
// program a file is dragged from or the program a file is dropped onto, under Xvfb, driven by
// xdotool, and reports what happened on stdout.
//
// Usage:
//   quill_dragpeer source FILE [--rect X,Y,W,H] [--name TEXT]
//       Shows a window. Pressing the left mouse button inside it starts a drag of FILE as a file
//       URL (text/uri-list), copy only, as a file manager does. The command "drag" on stdin
//       starts the same drag without a press; it then follows the pointer and drops at the next
//       button release. Escape cancels the drag.
//   quill_dragpeer target [--rect X,Y,W,H] [--name TEXT]
//       Shows a window that accepts dropped URLs for copying and prints them.
//
// Options:
//   --rect X,Y,W,H  position and size of the window (default 100,100,300,200). Under Xvfb
//                   without a window manager the window lands exactly there.
//   --name TEXT     window title (default "quill_dragpeer source" / "quill_dragpeer target"),
//                   for `xdotool search --name`.
// (Not -geometry/-title: Qt's X11 platform takes those from the command line itself.)
//
// Output, one line per event on stdout, flushed at once:
//   READY <window id> <x> <y> <w> <h>  the window is on screen: its X11 id (decimal, for
//                                      `xdotool windowactivate`) and its client area in screen
//                                      coordinates.
//   DRAGGING                           (source) the drag has started.
//   DRAGGED <copy|move|link|none>      (source) the drag ended with this action; none when it
//                                      was cancelled or nobody took it.
//   ENTER <mime types>                 (target) a drag entered; types separated by commas.
//   LEAVE                              (target) it left without a drop.
//   DROP <url>                         (target) one line per dropped URL, in order,
//   DROPPED <count>                    then the number of URLs.
//
// Stdin commands, one per line: "drag" (source: start the drag), "quit" (exit 0). The program
// also ends on closing its window and on SIGTERM or SIGINT; end of input only stops the commands.
//
// Example (target at 500,100, then drag from the main window into it):
//   quill_dragpeer target --rect 500,100,300,200 > peer.out &
//   xdotool mousemove 120 200 mousedown 1 mousemove 300 200 mousemove 600 180 mouseup 1
//   grep '^DROP ' peer.out

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

void say(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

const char* actionName(Qt::DropAction action) {
    switch (action) {
    case Qt::CopyAction:
        return "copy";
    case Qt::MoveAction:
        return "move";
    case Qt::LinkAction:
        return "link";
    default:
        return "none";
    }
}

class PeerWindow : public QWidget {
public:
    PeerWindow(bool source, QString file) : source_(source), file_(std::move(file)) {
        setAcceptDrops(!source);
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, source ? QColor(200, 230, 200) : QColor(200, 200, 240));
        setPalette(colours);
    }

    void startDrag() {
        if (!source_ || dragging_) {
            return;
        }
        dragging_ = true;
        auto* drag = new QDrag(this); // Qt deletes it after the drag
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(file_)});
        drag->setMimeData(mime);
        say(QStringLiteral("DRAGGING"));
        const Qt::DropAction action = drag->exec(Qt::CopyAction, Qt::CopyAction);
        say(QStringLiteral("DRAGGED %1").arg(QLatin1String(actionName(action))));
        dragging_ = false;
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (source_ && event->button() == Qt::LeftButton) {
            startDrag();
        }
    }

    void dragEnterEvent(QDragEnterEvent* event) override {
        say(QStringLiteral("ENTER %1").arg(event->mimeData()->formats().join(QLatin1Char(','))));
        if (event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction)) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
    }

    void dragMoveEvent(QDragMoveEvent* event) override {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }

    void dragLeaveEvent(QDragLeaveEvent* /*event*/) override { say(QStringLiteral("LEAVE")); }

    void dropEvent(QDropEvent* event) override {
        const QList<QUrl> urls = event->mimeData()->urls();
        for (const QUrl& url : urls) {
            say(QStringLiteral("DROP %1").arg(url.toString(QUrl::FullyEncoded)));
        }
        say(QStringLiteral("DROPPED %1").arg(urls.size()));
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }

private:
    bool source_;
    QString file_;
    bool dragging_ = false;
};

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool parseGeometry(const QString& text, QRect& out) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) {
        return false;
    }
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok) {
            return false;
        }
    }
    out = QRect(values[0], values[1], values[2], values[3]);
    return out.width() > 0 && out.height() > 0;
}

int usage() {
    std::fputs("usage: quill_dragpeer source FILE [--rect X,Y,W,H] [--name TEXT]\n"
               "       quill_dragpeer target [--rect X,Y,W,H] [--name TEXT]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() ||
        (args[0] != QLatin1String("source") && args[0] != QLatin1String("target"))) {
        return usage();
    }
    const bool source = args.takeFirst() == QLatin1String("source");
    QString file;
    if (source) {
        if (args.isEmpty() || args[0].startsWith(QLatin1String("--"))) {
            return usage();
        }
        file = args.takeFirst();
    }
    QRect geometry(100, 100, 300, 200);
    QString title =
        source ? QStringLiteral("quill_dragpeer source") : QStringLiteral("quill_dragpeer target");
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (args.isEmpty()) {
            return usage();
        }
        const QString value = args.takeFirst();
        if (option == QLatin1String("--rect")) {
            if (!parseGeometry(value, geometry)) {
                return usage();
            }
        } else if (option == QLatin1String("--name")) {
            title = value;
        } else {
            return usage();
        }
    }

    PeerWindow window(source, file);
    window.setWindowTitle(title);
    window.setGeometry(geometry);
    window.show();

    // READY once the window can really be hit by the pointer.
    QTimer ready;
    ready.setInterval(20);
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
            return;
        }
        ready.stop();
        const QRect area(window.mapToGlobal(QPoint(0, 0)), window.size());
        say(QStringLiteral("READY %1 %2 %3 %4 %5")
                .arg(window.winId())
                .arg(area.x())
                .arg(area.y())
                .arg(area.width())
                .arg(area.height()));
    });
    ready.start();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            // No more commands (a background job reads /dev/null); the window stays.
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, static_cast<size_t>(got));
        for (size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const QString command = QString::fromStdString(pending.substr(0, end)).trimmed();
            pending.erase(0, end + 1);
            if (command == QLatin1String("quit")) {
                app.quit();
            } else if (command == QLatin1String("drag")) {
                // Not from inside the notifier: the drag runs its own loop.
                QTimer::singleShot(0, &window, [&window] { window.startDrag(); });
            }
        }
    });

    if (::pipe(signalPipe) == 0) {
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QApplication::quit);

    return app.exec();
}
