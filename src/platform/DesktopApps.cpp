#include "platform/DesktopApps.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace quill {
namespace {

QString homeFolder() {
    return QDir::homePath();
}

QString envFolder(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    // Relative values are invalid by the base directory rules and are ignored.
    if (value.isEmpty() || !QDir::isAbsolutePath(value)) {
        return fallback;
    }
    return value;
}

QStringList envFolderList(const char* name, const QStringList& fallback) {
    QStringList folders;
    for (const QString& part :
         qEnvironmentVariable(name).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(part)) {
            folders << QDir::cleanPath(part);
        }
    }
    return folders.isEmpty() ? fallback : folders;
}

QString configHome() {
    return QDir::cleanPath(envFolder("XDG_CONFIG_HOME", homeFolder() + QStringLiteral("/.config")));
}

QStringList configDirs() {
    return envFolderList("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")});
}

QString dataHome() {
    return QDir::cleanPath(
        envFolder("XDG_DATA_HOME", homeFolder() + QStringLiteral("/.local/share")));
}

QStringList dataDirs() {
    return envFolderList("XDG_DATA_DIRS",
                         {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
}

// The desktop names of XDG_CURRENT_DESKTOP in lower case, for "<desktop>-mimeapps.list".
QStringList currentDesktops() {
    QStringList names;
    for (const QString& part :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        names << part.toLower();
    }
    return names;
}

// A desktop-entry value with its escapes (\s \n \t \r \\) resolved.
QString unescapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            // Unknown escapes (and "\;" in lists) stay for the next stage.
            out += QLatin1Char('\\');
            out += next;
            break;
        }
    }
    return out;
}

// A ';'-separated list value; "\;" is a semicolon inside an element.
QStringList splitList(const QString& value) {
    QStringList items;
    QString current;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size() && value.at(i + 1) == QLatin1Char(';')) {
            current += QLatin1Char(';');
            ++i;
        } else if (c == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty()) {
                items << unescapeValue(current.trimmed());
            }
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.trimmed().isEmpty()) {
        items << unescapeValue(current.trimmed());
    }
    return items;
}

// The groups of a key file: group name -> (key -> raw value). Localised keys are kept under their
// full name ("Name[de]") and so never shadow the plain key.
using KeyFile = QHash<QString, QHash<QString, QString>>;

KeyFile readKeyFile(const QString& path) {
    KeyFile groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return groups;
    }
    QTextStream in(&file);
    QString group;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || group.isEmpty()) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        auto& entries = groups[group];
        // The first occurrence of a key counts, as a repeated key is invalid.
        if (!entries.contains(key)) {
            entries.insert(key, line.mid(equals + 1).trimmed());
        }
    }
    return groups;
}

bool isTrue(const QString& value) {
    return value == QLatin1String("true");
}

// The program of a command resolved on PATH, or as given when absolute; empty when missing.
QString resolveProgram(const QString& program) {
    if (program.isEmpty()) {
        return {};
    }
    if (QDir::isAbsolutePath(program)) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? program : QString();
    }
    return QStandardPaths::findExecutable(program);
}

struct ParsedEntry {
    DesktopApp app;
    QStringList mimeTypes;
    bool startable = false;
};

ParsedEntry parseEntry(const QString& id, const QString& path) {
    ParsedEntry parsed;
    const KeyFile file = readKeyFile(path);
    const auto group = file.constFind(QStringLiteral("Desktop Entry"));
    if (group == file.constEnd()) {
        return parsed;
    }
    const QHash<QString, QString>& keys = *group;
    parsed.app.id = id;
    parsed.app.filePath = path;
    parsed.app.name = unescapeValue(keys.value(QStringLiteral("Name")));
    parsed.app.icon = unescapeValue(keys.value(QStringLiteral("Icon")));
    parsed.app.exec = unescapeValue(keys.value(QStringLiteral("Exec")));
    parsed.app.workingDir = unescapeValue(keys.value(QStringLiteral("Path")));
    parsed.app.terminal = isTrue(keys.value(QStringLiteral("Terminal")));
    parsed.mimeTypes = splitList(keys.value(QStringLiteral("MimeType")));

    if (keys.value(QStringLiteral("Type")) != QLatin1String("Application") ||
        isTrue(keys.value(QStringLiteral("Hidden")))) {
        return parsed;
    }
    const QString tryExec = unescapeValue(keys.value(QStringLiteral("TryExec")));
    if (!tryExec.isEmpty() && resolveProgram(tryExec).isEmpty()) {
        return parsed;
    }
    const std::optional<QStringList> words = splitExec(parsed.app.exec);
    parsed.startable = words && !resolveProgram(words->front()).isEmpty();
    return parsed;
}

// Every desktop entry under the application folders, the first of each id winning, in the order
// of the folders (and by id inside a folder, so the choice does not depend on directory order).
std::vector<ParsedEntry> startableEntries() {
    std::vector<ParsedEntry> entries;
    QSet<QString> seen;
    for (const QString& folder : applicationFolders()) {
        std::vector<std::pair<QString, QString>> found;
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                        QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = QDir(folder).relativeFilePath(path);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            found.emplace_back(id, path);
        }
        std::sort(found.begin(), found.end());
        for (const auto& [id, path] : found) {
            if (seen.contains(id)) {
                continue;
            }
            seen.insert(id);
            ParsedEntry parsed = parseEntry(id, path);
            if (parsed.startable) {
                entries.push_back(std::move(parsed));
            }
        }
    }
    return entries;
}

struct Associations {
    QHash<QString, QStringList> defaults; // type -> ids, most important first
    QHash<QString, QStringList> added;
    QHash<QString, QSet<QString>> removed;
};

Associations readAssociations() {
    Associations result;
    for (const QString& list : mimeAppsLists()) {
        const KeyFile file = readKeyFile(list);
        const auto collect = [&](const QString& groupName, QHash<QString, QStringList>& into) {
            const auto group = file.constFind(groupName);
            if (group == file.constEnd()) {
                return;
            }
            for (auto it = group->constBegin(); it != group->constEnd(); ++it) {
                into[it.key()] << splitList(it.value());
            }
        };
        collect(QStringLiteral("Default Applications"), result.defaults);
        collect(QStringLiteral("Added Associations"), result.added);
        QHash<QString, QStringList> removed;
        collect(QStringLiteral("Removed Associations"), removed);
        for (auto it = removed.constBegin(); it != removed.constEnd(); ++it) {
            for (const QString& id : it.value()) {
                result.removed[it.key()].insert(id);
            }
        }
    }
    return result;
}

} // namespace

QStringList applicationFolders() {
    QStringList folders{dataHome() + QStringLiteral("/applications")};
    for (const QString& dir : dataDirs()) {
        folders << dir + QStringLiteral("/applications");
    }
    folders.removeDuplicates();
    return folders;
}

QStringList mimeAppsLists() {
    QStringList candidates;
    const QStringList desktops = currentDesktops();
    const auto addFolder = [&](const QString& folder, bool withDefaultsList) {
        for (const QString& desktop : desktops) {
            candidates << folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        }
        candidates << folder + QStringLiteral("/mimeapps.list");
        if (withDefaultsList) {
            candidates << folder + QStringLiteral("/defaults.list");
        }
    };
    addFolder(configHome(), false);
    for (const QString& dir : configDirs()) {
        addFolder(dir, false);
    }
    for (const QString& folder : applicationFolders()) {
        addFolder(folder, true);
    }
    QStringList existing;
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile() && !existing.contains(candidate)) {
            existing << candidate;
        }
    }
    return existing;
}

std::optional<DesktopApp> findDesktopApp(const QString& id) {
    for (const QString& folder : applicationFolders()) {
        // An id "vendor-viewer.desktop" may lie at vendor/viewer.desktop as well.
        QString relative = id;
        for (;;) {
            const QString path = folder + QLatin1Char('/') + relative;
            if (QFileInfo(path).isFile()) {
                ParsedEntry parsed = parseEntry(id, path);
                // The first entry of an id hides later ones, even when it cannot start.
                if (!parsed.startable) {
                    return std::nullopt;
                }
                return parsed.app;
            }
            const qsizetype dash = relative.indexOf(QLatin1Char('-'));
            if (dash < 0) {
                break;
            }
            relative[dash] = QLatin1Char('/');
        }
    }
    return std::nullopt;
}

std::optional<DesktopApp> applicationForTypes(const QStringList& types) {
    return applicationForTypes(types, [](const DesktopApp&) { return true; });
}

std::optional<DesktopApp>
applicationForTypes(const QStringList& types,
                    const std::function<bool(const DesktopApp&)>& acceptable) {
    const auto accepted = [&](std::optional<DesktopApp> app) {
        return app && acceptable(*app) ? app : std::nullopt;
    };
    const Associations associations = readAssociations();
    std::optional<std::vector<ParsedEntry>> entries; // read only when the lists do not decide
    for (const QString& type : types) {
        for (const QString& id : associations.defaults.value(type)) {
            if (std::optional<DesktopApp> app = accepted(findDesktopApp(id))) {
                return app;
            }
        }
        const QSet<QString> removed = associations.removed.value(type);
        for (const QString& id : associations.added.value(type)) {
            if (removed.contains(id)) {
                continue;
            }
            if (std::optional<DesktopApp> app = accepted(findDesktopApp(id))) {
                return app;
            }
        }
        if (!entries) {
            entries = startableEntries();
        }
        for (const ParsedEntry& parsed : *entries) {
            if (!removed.contains(parsed.app.id) && parsed.mimeTypes.contains(type) &&
                acceptable(parsed.app)) {
                return parsed.app;
            }
        }
    }
    return std::nullopt;
}

namespace {

QStringList& terminalSearchPath() {
    static QStringList folders;
    return folders;
}

} // namespace

void setTerminalSearchPath(const QStringList& folders) {
    terminalSearchPath() = folders;
}

QStringList inTerminalEmulator(const QStringList& command) {
    // The words each emulator puts before the command it is to run.
    struct Emulator {
        const char* program;
        const char* option;
    };
    static constexpr Emulator emulators[] = {
        {"xdg-terminal-exec", nullptr},
        {"x-terminal-emulator", "-e"},
        {"gnome-terminal", "--"},
        {"konsole", "-e"},
        {"xfce4-terminal", "-x"},
        {"mate-terminal", "-x"},
        {"kitty", nullptr},
        {"alacritty", "-e"},
        {"foot", nullptr},
        {"xterm", "-e"},
    };
    if (command.isEmpty()) {
        return {};
    }
    for (const Emulator& emulator : emulators) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(emulator.program),
                                                             terminalSearchPath());
        if (found.isEmpty()) {
            continue;
        }
        QStringList line{found};
        if (emulator.option) {
            line << QString::fromLatin1(emulator.option);
        }
        return line + command;
    }
    return {};
}

bool terminalEmulatorInstalled() {
    return !inTerminalEmulator({QStringLiteral("true")}).isEmpty();
}

std::optional<QStringList> splitExec(const QString& exec) {
    QStringList words;
    QString current;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < exec.size() &&
                       QStringLiteral("\"`$\\").contains(exec.at(i + 1))) {
                current += exec.at(++i);
            } else {
                current += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inWord) {
                words << current;
                current.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('"')) {
            quoted = true;
        } else {
            current += c;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inWord) {
        words << current;
    }
    if (words.isEmpty()) {
        return std::nullopt;
    }
    return words;
}

QStringList expandExec(const DesktopApp& app, const QString& target) {
    const std::optional<QStringList> words = splitExec(app.exec);
    if (!words) {
        return {};
    }
    QStringList command;
    bool targetPlaced = false;
    for (const QString& word : *words) {
        static const QStringList targetCodes{QStringLiteral("%f"), QStringLiteral("%F"),
                                             QStringLiteral("%u"), QStringLiteral("%U")};
        if (targetCodes.contains(word)) {
            // One target for the list forms too; a second list code gets nothing.
            if (!targetPlaced) {
                command << target;
                targetPlaced = true;
            }
            continue;
        }
        if (word == QLatin1String("%i")) {
            if (!app.icon.isEmpty()) {
                command << QStringLiteral("--icon") << app.icon;
            }
            continue;
        }
        QString expanded;
        for (qsizetype i = 0; i < word.size(); ++i) {
            const QChar c = word.at(i);
            if (c != QLatin1Char('%') || i + 1 >= word.size()) {
                expanded += c;
                continue;
            }
            const QChar code = word.at(++i);
            switch (code.unicode()) {
            case '%':
                expanded += QLatin1Char('%');
                break;
            case 'f':
            case 'u':
                expanded += target;
                targetPlaced = true;
                break;
            case 'c':
                expanded += app.name;
                break;
            case 'k':
                expanded += app.filePath;
                break;
            default:
                // %F, %U, %i inside a word and the obsolete %d %D %n %N %v %m: nothing.
                break;
            }
        }
        // A word made only of codes that stand for nothing is no argument at all.
        if (expanded.isEmpty() && !word.isEmpty()) {
            continue;
        }
        command << expanded;
    }
    if (!targetPlaced) {
        command << target;
    }
    return command;
}

} // namespace quill
