#include "platform/Shell.h"

#include "platform/DesktopApps.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

// The data folder seen from the program's folder; the build passes the installed layout's.
#ifndef QUILL_DATA_FROM_BIN
#define QUILL_DATA_FROM_BIN "../share"
#endif

namespace quill {
namespace {

const QString helpPageRelative = QStringLiteral("quillmere/help/index.html");

// The result for a local path that cannot be opened as it stands; nothing when it can.
std::optional<int> checkLocalTarget(const QString& path, bool& isFolder) {
    if (path.isEmpty()) {
        return SE_ERR_FNF;
    }
    const QByteArray name = encodePath(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        switch (errno) {
        case ENOENT: {
            // A missing file in an existing folder, or a folder on the way missing.
            struct stat parent {};
            const QByteArray folder =
                encodeFileName(QFileInfo(decodeFileName(encodePath(path))).absolutePath());
            const bool folderThere =
                ::stat(folder.constData(), &parent) == 0 && S_ISDIR(parent.st_mode);
            return folderThere ? SE_ERR_FNF : SE_ERR_PNF;
        }
        case ENOTDIR:
        case ELOOP:
            return SE_ERR_PNF;
        case EACCES:
        case EPERM:
            return SE_ERR_ACCESSDENIED;
        default:
            return SE_ERR_OTHER;
        }
    }
    isFolder = S_ISDIR(info.st_mode);
    if (isFolder) {
        return ::access(name.constData(), R_OK | X_OK) == 0 ? std::nullopt
                                                            : std::optional(SE_ERR_ACCESSDENIED);
    }
    if (!S_ISREG(info.st_mode)) {
        return SE_ERR_ACCESSDENIED;
    }
    if (::access(name.constData(), R_OK) != 0) {
        return SE_ERR_ACCESSDENIED;
    }
    return std::nullopt;
}

// The type of a local file and the types it derives from, most specific first. The catch-all
// application/octet-stream is left out: a program that takes any bytes is no association.
QStringList typesOfFile(const QString& path, bool isFolder) {
    if (isFolder) {
        return {QStringLiteral("inode/directory")};
    }
    const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path);
    QStringList types;
    const auto add = [&](const QMimeType& mime) { types << mime.name() << mime.aliases(); };
    add(type);
    for (const QString& ancestor : type.allAncestors()) {
        add(database.mimeTypeForName(ancestor));
    }
    types.removeAll(QStringLiteral("application/octet-stream"));
    types.removeAll(QString());
    types.removeDuplicates();
    return types;
}

// The application for the types: a graphical one if there is any; else one that runs in a
// terminal, provided a terminal emulator is installed to give it one (started without, it would
// end unseen at once).
std::optional<DesktopApp> applicationToStart(const QStringList& types) {
    if (std::optional<DesktopApp> app = applicationForTypes(
            types, [](const DesktopApp& candidate) { return !candidate.terminal; })) {
        return app;
    }
    if (!terminalEmulatorInstalled()) {
        return std::nullopt;
    }
    return applicationForTypes(types,
                               [](const DesktopApp& candidate) { return candidate.terminal; });
}

int launch(const DesktopApp& app, const QString& target) {
    QStringList command = expandExec(app, target);
    if (app.terminal) {
        command = inTerminalEmulator(command);
    }
    if (command.isEmpty()) {
        return SE_ERR_OTHER;
    }
    const QString program = command.takeFirst();
    QProcess process;
    process.setProgram(program);
    process.setArguments(command);
    if (!app.workingDir.isEmpty()) {
        process.setWorkingDirectory(app.workingDir);
    }
    // What the program prints is its own business, never part of ours.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached() ? ShellExecuteSucceeded : SE_ERR_OTHER;
}

// "scheme://..." with a scheme of two or more letters; a bare path never looks like that.
QString schemeOf(const QString& target) {
    const qsizetype colon = target.indexOf(QStringLiteral("://"));
    if (colon < 2) {
        return {};
    }
    const QString scheme = target.left(colon);
    for (const QChar c : scheme) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') ||
              c == QLatin1Char('.')) ||
            c.unicode() > 127) {
            return {};
        }
    }
    return scheme.at(0).isLetter() ? scheme.toLower() : QString();
}

int openLocal(const QString& path) {
    bool isFolder = false;
    if (const std::optional<int> failure = checkLocalTarget(path, isFolder)) {
        return *failure;
    }
    const QString absolute = decodeFileName(encodePath(path));
    const std::optional<DesktopApp> app = applicationToStart(typesOfFile(absolute, isFolder));
    if (!app) {
        return SE_ERR_NOASSOC;
    }
    return launch(*app, absolute);
}

int openAddress(const QString& address, const QString& scheme) {
    QStringList types{QStringLiteral("x-scheme-handler/") + scheme};
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        // A browser that registered only for pages still opens addresses.
        types << QStringLiteral("text/html");
    }
    const std::optional<DesktopApp> app = applicationToStart(types);
    if (!app) {
        return SE_ERR_NOASSOC;
    }
    return launch(*app, address);
}

void showShellFailure(const QString& text) {
    MessageRequest request;
    request.text = text;
    request.title = QStringLiteral("Fehler");
    request.buttons = MsgButtons::Ok;
    request.icon = MsgIcon::Warning;
    showMessage(request);
}

} // namespace

int ShellExecute(const QString& target) {
    const QString scheme = schemeOf(target);
    if (scheme.isEmpty()) {
        return openLocal(target);
    }
    if (scheme == QLatin1String("file")) {
        const QUrl url(target);
        if (!url.isValid() || !url.isLocalFile()) {
            return SE_ERR_FNF;
        }
        return openLocal(url.toLocalFile());
    }
    return openAddress(target, scheme);
}

QString openFailureMessage(int result) {
    switch (result) {
    case 2:
        return QStringLiteral("Die angegebene Datei wurde nicht gefunden !");
    case 3:
        return QStringLiteral("Der Pfad zur Datei wurde nicht gefunden !");
    case 11:
        return QStringLiteral("Die .EXE Datei ist ungültig oder beschädigt !");
    case 5:
    case 26:
        return QStringLiteral("Dateizugriff wird vom Betriebssystem verweigert !");
    case 27:
    case 31:
        return QStringLiteral("Der angegebene Dateityp ist auf Ihrem Computer keiner ") +
               QStringLiteral("Anwendung zugeordnet !");
    default:
        return QStringLiteral("Datei konnte nicht geöffnet werden !");
    }
}

QString helpFailureMessage(int result) {
    switch (result) {
    case 2:
        return QStringLiteral("Die angegebene Datei wurde nicht gefunden !");
    case 3:
        return QStringLiteral("Der Pfad zur Datei wurde nicht gefunden !");
    default:
        return QStringLiteral(" ");
    }
}

void OpenWithAssociation(const QString& path) {
    const int result = ShellExecute(path);
    if (result > 32) {
        return;
    }
    showShellFailure(openFailureMessage(result));
}

void OpenHelpPage(const QString& address) {
    const int result = ShellExecute(address);
    if (result > 32) {
        return;
    }
    showShellFailure(helpFailureMessage(result));
}

void OpenWebPage() {
    ShellExecute(QString::fromLatin1(WebPageAddress));
}

QString helpPageAddress() {
    const QString besideProgram =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                        QStringLiteral(QUILL_DATA_FROM_BIN) + QLatin1Char('/') + helpPageRelative);
    QString path = besideProgram;
    if (!QFileInfo(besideProgram).isFile()) {
        // A program started from elsewhere than its installed place: the system's data folders.
        const QString installed =
            QStandardPaths::locate(QStandardPaths::GenericDataLocation, helpPageRelative);
        if (!installed.isEmpty()) {
            path = installed;
        }
    }
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

MessageRequest aboutBox(const QString& version) {
    MessageRequest request;
    request.title = QStringLiteral(" ");
    request.text = QStringLiteral("Quillmere ") + version +
                   QStringLiteral("\n\nDieses Programm verwendet FreeImage.lib.");
    request.buttons = MsgButtons::Ok;
    request.icon = MsgIcon::None;
    return request;
}

} // namespace quill
