#include "X11Session.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QtEndian>

#include <fcntl.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QUILL_E2E_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILL_E2E_ASAN 1
#endif
#endif

#ifdef QUILL_E2E_ASAN
// Every end-to-end test binary links only Qt; reading or writing a JPEG loads Qt's jpeg plugin and
// with it libjpeg, whose thread-local block glibc then takes from malloc. The sanitizer runtime of
// GCC 12 guesses the layout of such a block: one that starts 16 bytes past a page boundary is taken
// for glibc 2.19's, with its bounds in a header before it, which is really the allocator's own
// chunk header. The leak check at exit then scans that nonsense range and crashes ("Tracer caught
// signal 11"), whenever the allocator happens to place those 8 bytes there
// (google/sanitizers#1322). Without the
// __tls_get_addr bookkeeping, the leak check still reaches these blocks through what the
// dynamic linker allocated.
extern "C" const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}
#endif

namespace quill::e2e {

QString programPath() {
    return QStringLiteral(QUILL_BIN_DIR "/quillmere");
}

QString dragPeerPath() {
    return QStringLiteral(QUILL_BIN_DIR "/quill_dragpeer");
}

X11Session::X11Session(int screenWidth, int screenHeight) : screen_(screenWidth, screenHeight) {
    // Display numbers of our own, away from :0 and spread by process, so servers of earlier
    // tests that are still shutting down never share a socket with this one.
    for (int attempt = 0; attempt < 20 && display_ < 0; ++attempt) {
        const int candidate = 100 + int((::getpid() * 7 + attempt * 131) % 800);
        if (QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(candidate))) {
            continue;
        }
        if (startServer(candidate)) {
            display_ = candidate;
        }
    }
    // Ready means a client gets through, not only that the server says so.
    if (display_ >= 0 &&
        !waitUntil([this] { return !xdotool({QStringLiteral("getdisplaygeometry")}).isEmpty(); },
                   20000)) {
        display_ = -1;
    }
}

bool X11Session::startServer(int display) {
    // Xvfb writes the display number to the descriptor given with -displayfd once it accepts
    // connections.
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    server_ = std::make_unique<QProcess>();
    server_->setProgram(QStringLiteral("Xvfb"));
    server_->setArguments({QStringLiteral(":%1").arg(display), QStringLiteral("-displayfd"),
                           QString::number(fds[1]), QStringLiteral("-screen"), QStringLiteral("0"),
                           QStringLiteral("%1x%2x24").arg(screen_.width()).arg(screen_.height()),
                           QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    server_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_->setChildProcessModifier([rfd = fds[0]] { ::close(rfd); });
    server_->start();
    ::close(fds[1]);
    if (!server_->waitForStarted(10000)) {
        ::close(fds[0]);
        return false;
    }
    QByteArray number;
    char c = 0;
    // The read ends at the newline, or with 0 when the server gave up (display in use).
    while (::read(fds[0], &c, 1) == 1 && c != '\n') {
        number.append(c);
    }
    ::close(fds[0]);
    bool parsed = false;
    if (number.trimmed().toInt(&parsed) == display && parsed) {
        return true;
    }
    server_->kill();
    server_->waitForFinished(5000);
    server_.reset();
    return false;
}

X11Session::~X11Session() {
    if (program_ && program_->state() != QProcess::NotRunning) {
        program_->kill();
        program_->waitForFinished(5000);
    }
    if (server_ && server_->state() != QProcess::NotRunning) {
        server_->terminate();
        if (!server_->waitForFinished(20000)) {
            server_->kill();
            server_->waitForFinished(5000);
        }
    }
}

QProcessEnvironment X11Session::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // The program's own leak report would only repeat the unit tests'; keep its exit clean.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return env;
}

void X11Session::pause(int ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
    QThread::msleep(static_cast<unsigned long>(ms));
}

bool X11Session::startProgram(const QStringList& arguments, const QString& workingDir) {
    // A program that could not reach the display at all ends at once with exit code 1: start
    // it again then, a busy server may have let a connection wait too long.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!launchProgram(arguments, workingDir)) {
            return false;
        }
        if (!program_->waitForFinished(1500) || program_->exitCode() != 1) {
            return true;
        }
    }
    return false;
}

bool X11Session::launchProgram(const QStringList& arguments, const QString& workingDir) {
    program_ = std::make_unique<QProcess>();
    program_->setProcessEnvironment(environment());
    program_->setProgram(programPath());
    program_->setArguments(arguments);
    program_->setProcessChannelMode(QProcess::ForwardedChannels);
    if (!workingDir.isEmpty()) {
        program_->setWorkingDirectory(workingDir);
    }
    program_->start();
    return program_->waitForStarted(10000);
}

std::unique_ptr<QProcess> X11Session::startOther(const QString& path,
                                                 const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(path, arguments);
    process->waitForStarted(10000);
    return process;
}

bool X11Session::waitForProgramExit(int ms) {
    return !program_ || program_->waitForFinished(ms);
}

QString X11Session::xdotool(const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QString X11Session::waitForWindow(const QString& title, int ms) {
    QString id;
    waitUntil(
        [&] {
            const QStringList ids =
                xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                         QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)})
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            if (!ids.isEmpty()) {
                id = ids.first();
            }
            return !id.isEmpty();
        },
        ms);
    return id;
}

QRect X11Session::windowGeometry(const QString& windowId) {
    // --shell prints X=, Y=, WIDTH=, HEIGHT= lines.
    const QStringList lines =
        xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), windowId})
            .split(QLatin1Char('\n'));
    QRect rect;
    for (const QString& line : lines) {
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (line.startsWith(QLatin1String("X="))) {
            rect.moveLeft(value);
        } else if (line.startsWith(QLatin1String("Y="))) {
            rect.moveTop(value);
        } else if (line.startsWith(QLatin1String("WIDTH="))) {
            rect.setWidth(value);
        } else if (line.startsWith(QLatin1String("HEIGHT="))) {
            rect.setHeight(value);
        }
    }
    return rect;
}

void X11Session::moveMouse(QPoint screenPos) {
    xdotool({QStringLiteral("mousemove"), QString::number(screenPos.x()),
             QString::number(screenPos.y())});
}

void X11Session::click(int button) {
    xdotool({QStringLiteral("click"), QString::number(button)});
}

void X11Session::focusWindow(const QString& windowId) {
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), windowId});
}

void X11Session::key(const QString& keys) {
    xdotool({QStringLiteral("key"), keys});
}

void X11Session::closeWindow(const QString& windowId) {
    // What a window manager's close button sends: WM_DELETE_WINDOW.
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(QUILL_BIN_DIR "/quill_wmclose"), {windowId});
    process.waitForFinished(10000);
}

QImage X11Session::screenshot() {
    QProcess process;
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral("xwd"), {QStringLiteral("-root"), QStringLiteral("-silent"),
                                          QStringLiteral("-display"), display()});
    process.waitForFinished(20000);
    return decodeXwd(process.readAllStandardOutput());
}

QImage decodeXwd(const QByteArray& data) {
    // The header is 25 big-endian 32-bit fields followed by the window name; then the colour
    // map (12 bytes per entry), then the pixels.
    if (data.size() < 100) {
        return {};
    }
    const auto field = [&](int index) {
        return qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(data.constData()) +
                                       index * 4);
    };
    const quint32 headerSize = field(0);
    const quint32 width = field(4);
    const quint32 height = field(5);
    const quint32 byteOrder = field(7);
    const quint32 bitsPerPixel = field(11);
    const quint32 bytesPerLine = field(12);
    const quint32 colourEntries = field(19);
    const qint64 offset = qint64(headerSize) + qint64(colourEntries) * 12;
    // Xvfb at depth 24 writes packed 3-byte pixels in padded lines; other servers 4-byte ones.
    const quint32 bytesPerPixel = bitsPerPixel / 8;
    if ((bytesPerPixel != 3 && bytesPerPixel != 4) ||
        offset + qint64(bytesPerLine) * height > data.size()) {
        return {};
    }
    QImage image(int(width), int(height), QImage::Format_RGB32);
    for (quint32 y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const uchar*>(data.constData()) + offset + y * bytesPerLine;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (quint32 x = 0; x < width; ++x) {
            const uchar* p = row + x * bytesPerPixel;
            const quint32 pixel = byteOrder == 0
                                      ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16
                                      : quint32(p[bytesPerPixel - 1]) |
                                            quint32(p[bytesPerPixel - 2]) << 8 |
                                            quint32(p[bytesPerPixel - 3]) << 16;
            out[x] = 0xff000000u | (pixel & 0xffffffu);
        }
    }
    return image;
}

} // namespace quill::e2e
