#include "platform/FileSystem.h"

#include "platform/Failure.h"
#include "platform/FileNames.h"
#include "platform/Volumes.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace quill {
namespace {

std::map<QString, QString>& remembered() {
    static std::map<QString, QString> folders;
    return folders;
}

bool statPath(const QString& path, struct stat& info) {
    return ::stat(encodePath(path).constData(), &info) == 0;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Greedy match with one back-tracking point, over case-folded texts.
bool matchFolded(QStringView name, QStringView pattern) {
    qsizetype n = 0;
    qsizetype p = 0;
    qsizetype starP = -1;
    qsizetype starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

QString foldPattern(const QString& pattern) {
    // As on the original platform, "*.*" stands for every name, with or without a dot.
    if (pattern == QLatin1String("*.*")) {
        return QStringLiteral("*");
    }
    return pattern.toCaseFolded();
}

} // namespace

namespace {

// The folder the lists are in. The process's own working directory is never left in it: a
// mounted medium whose folder is shown must stay unmountable. It is parked at "/", and a working
// directory found anywhere else (where the program was started, or where a caller moved it) is
// taken as the current folder then.
struct CurrentFolder {
    QString folder; // empty: the folder the process was in has gone
    std::optional<FileIdentity> identity;
    std::optional<QByteArray> parkedAt;
};

CurrentFolder& currentFolder() {
    static CurrentFolder state;
    return state;
}

std::recursive_mutex& currentFolderLock() {
    static std::recursive_mutex lock;
    return lock;
}

std::optional<QByteArray> processDirectory() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.data());
}

std::optional<FileIdentity> identityOf(const QByteArray& path) {
    struct stat info {};
    if (::stat(path.constData(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<unsigned long long>(info.st_dev),
                        static_cast<unsigned long long>(info.st_ino)};
}

CurrentFolder& adoptedFolder() {
    CurrentFolder& state = currentFolder();
    const std::optional<QByteArray> real = processDirectory();
    if (state.parkedAt && real == state.parkedAt) {
        return state;
    }
    state.folder = real ? decodeFileName(*real) : QString();
    state.identity = real ? identityOf(*real) : std::nullopt;
    state.parkedAt = ::chdir("/") == 0 ? std::optional<QByteArray>("/") : real;
    return state;
}

} // namespace

QString currentDir() {
    const std::lock_guard lock(currentFolderLock());
    const CurrentFolder& state = adoptedFolder();
    if (state.folder.isEmpty()) {
        throw InOutError(ENOENT);
    }
    return state.folder;
}

QByteArray encodePath(const QString& path) {
    if (path.startsWith(QLatin1Char('/')) || path.isEmpty()) {
        return encodeFileName(path);
    }
    const std::lock_guard lock(currentFolderLock());
    const QString folder = adoptedFolder().folder;
    // Relative to a folder that has gone, a name names nothing.
    return encodeFileName(folder.isEmpty() ? QStringLiteral("/nonexistent/") + path
                                           : joinPath(folder, path));
}

bool isFolderAsEntered(const QString& folder) {
    const std::optional<FileIdentity> now = identityOf(encodePath(folder));
    if (!now) {
        return false;
    }
    const std::lock_guard lock(currentFolderLock());
    const CurrentFolder& state = adoptedFolder();
    return state.folder != folder || !state.identity || state.identity == now;
}

namespace {

bool listable(const char* folder) {
    const DirHandle dir(::opendir(folder));
    return dir != nullptr;
}

std::optional<QByteArray> canonical(const QByteArray& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.constData(), nullptr),
                                                         &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return QByteArray(resolved.get());
}

void enterFolder(CurrentFolder& state, const QByteArray& path) {
    const QString folder = decodeFileName(path);
    // Entering the folder that is current again keeps what it was when it was entered, so that
    // a re-read never takes an empty mount point for the medium that was shown there.
    if (folder != state.folder || !state.identity) {
        state.identity = identityOf(path);
    }
    state.folder = folder;
}

} // namespace

std::optional<QString> ensureListableCurrentDir() {
    const std::lock_guard lock(currentFolderLock());
    CurrentFolder& state = adoptedFolder();
    if (!state.folder.isEmpty() && listable(encodeFileName(state.folder).constData())) {
        return std::nullopt;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/' && listable(home)) {
        if (const std::optional<QByteArray> folder = canonical(home)) {
            enterFolder(state, *folder);
            return decodeFileName(home);
        }
    }
    enterFolder(state, "/");
    return QStringLiteral("/");
}

void setCurrentDir(const QString& path) {
    if (!volumeOf(path).ready) {
        throw InOutError(ENOMEDIUM);
    }
    if (path.isEmpty()) {
        throw InOutError(ENOENT);
    }
    const std::lock_guard lock(currentFolderLock());
    CurrentFolder& state = adoptedFolder();
    // What changing into it would say: the folder must exist, be one, and be searchable.
    const std::optional<QByteArray> folder = canonical(encodePath(path));
    if (!folder) {
        throw InOutError(errno);
    }
    struct stat info {};
    if (::stat(folder->constData(), &info) != 0) {
        throw InOutError(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        throw InOutError(ENOTDIR);
    }
    if (::access(folder->constData(), X_OK) != 0) {
        throw InOutError(errno);
    }
    enterFolder(state, *folder);
    remembered()[volumeOf(state.folder).root] = state.folder;
}

void enterVolume(const QString& root) {
    const Volume volume = volumeOf(root);
    if (!volume.ready) {
        throw InOutError(ENOMEDIUM);
    }
    const QString folder = rememberedFolder(volume.root);
    if (!folder.isEmpty() && folder != volume.root && folderExists(folder)) {
        try {
            setCurrentDir(folder);
            if (volumeOf(currentDir()).root == volume.root) {
                return;
            }
        } catch (const InOutError&) {
            // The remembered folder can no longer be entered: the root is the next best place.
        }
    }
    setCurrentDir(volume.root);
}

QString rememberedFolder(const QString& root) {
    auto found = remembered().find(QDir::cleanPath(root));
    return found == remembered().end() ? QString() : found->second;
}

void forgetRememberedFolders() {
    remembered().clear();
}

CurrentDirGuard::CurrentDirGuard() {
    const std::lock_guard lock(currentFolderLock());
    const CurrentFolder& state = adoptedFolder();
    saved_ = state.folder;
    savedIdentity_ = state.identity;
}

CurrentDirGuard::~CurrentDirGuard() {
    const std::lock_guard lock(currentFolderLock());
    CurrentFolder& state = adoptedFolder();
    // Best effort: the folder may have gone meanwhile.
    if (!saved_.isEmpty() && folderExists(saved_)) {
        state.folder = saved_;
        state.identity = savedIdentity_;
    }
}

bool folderExists(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && statPath(path, info) && S_ISDIR(info.st_mode);
}

std::optional<FileIdentity> fileIdentity(const QString& path) {
    struct stat info {};
    if (path.isEmpty() || !statPath(path, info)) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<unsigned long long>(info.st_dev),
                        static_cast<unsigned long long>(info.st_ino)};
}

bool makeFolder(const QString& path) {
    return ::mkdir(encodePath(path).constData(), 0777) == 0;
}

bool fileExists(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && statPath(path, info) && !S_ISDIR(info.st_mode);
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/'))) {
        return folder + name;
    }
    return folder + QLatin1Char('/') + name;
}

ResolvedPath resolvePath(const QString& text) {
    CurrentDirGuard back;
    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    ResolvedPath result;
    result.file = text.mid(slash + 1);
    QString folder;
    if (slash == 0) {
        folder = QStringLiteral("/");
    } else if (slash > 0) {
        folder = text.left(slash);
    }
    if (!folder.isEmpty()) {
        setCurrentDir(folder);
    }
    if (!result.file.isEmpty() && !hasWildcards(result.file) && !fileExists(result.file)) {
        setCurrentDir(result.file);
        result.file.clear();
    }
    result.folder = currentDir();
    result.drive = volumeOf(result.folder).root;
    return result;
}

bool hasWildcards(const QString& text) {
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

bool matchesWildcard(const QString& name, const QString& pattern) {
    return matchFolded(name.toCaseFolded(), foldPattern(pattern));
}

namespace {

struct InjectedReadFailure {
    QString folder;
    int error = 0;
};

InjectedReadFailure& injectedReadFailure() {
    static InjectedReadFailure failure;
    return failure;
}

} // namespace

void failFolderReadsFor(const QString& folder, int error) {
    injectedReadFailure() = {folder, error};
}

std::vector<FoundFile> findFiles(const QString& folder, const QStringList& patterns,
                                 int attributeMask) {
    if (const InjectedReadFailure& injected = injectedReadFailure();
        !injected.folder.isEmpty() && injected.folder == folder) {
        throw InOutError(injected.error);
    }
    DirHandle dir(::opendir(encodePath(folder).constData()));
    if (!dir) {
        throw InOutError(errno);
    }
    QStringList folded;
    for (const QString& pattern : patterns) {
        if (!pattern.isEmpty()) {
            folded << foldPattern(pattern);
        }
    }
    std::vector<FoundFile> found;
    const int dirFd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* raw = entry->d_name;
        if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0) {
            continue;
        }
        const QString name = decodeFileName(raw);
        int attributes = 0;
        if (raw[0] == '.') {
            if (!(attributeMask & faHidden)) {
                continue;
            }
            attributes |= faHidden;
        }
        const QString foldedName = name.toCaseFolded();
        if (std::none_of(folded.begin(), folded.end(),
                         [&](const QString& p) { return matchFolded(foldedName, p); })) {
            continue;
        }
        struct stat info {};
        if (::fstatat(dirFd, raw, &info, 0) != 0) {
            continue; // a dangling link names nothing that could be opened
        }
        if (S_ISDIR(info.st_mode)) {
            if (!(attributeMask & faDirectory)) {
                continue;
            }
            attributes |= faDirectory;
        } else if (!S_ISREG(info.st_mode)) {
            continue;
        }
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            attributes |= faReadOnly;
        }
        found.push_back({name, attributes});
    }
    return found;
}

QStringList subFolders(const QString& folder) {
    // An unreadable folder simply shows no sub-folders.
    QStringList names;
    if (const InjectedReadFailure& injected = injectedReadFailure();
        !injected.folder.isEmpty() && injected.folder == folder) {
        return names;
    }
    DirHandle dir(::opendir(encodePath(folder).constData()));
    if (!dir) {
        return names;
    }
    const int dirFd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* raw = entry->d_name;
        if (raw[0] == '.') {
            continue; // hidden, "." and ".." among them
        }
        // The folder tells the type of most entries itself, so that a folder of many files is
        // read without a look at each; links, and file systems that do not tell, are looked at.
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat info {};
            isFolder = ::fstatat(dirFd, raw, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        if (isFolder) {
            names << decodeFileName(raw);
        }
    }
    sortNames(names);
    return names;
}

void sortNames(QStringList& names) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
}

bool MoveFileNoReplace(const QString& from, const QString& to) {
    const QByteArray source = encodePath(from);
    const QByteArray target = encodePath(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return false;
    }
    return MoveFileNoReplaceByLink(from, to);
}

bool MoveFileNoReplaceByLink(const QString& from, const QString& to) {
    const QByteArray source = encodePath(from);
    const QByteArray target = encodePath(to);
    struct stat info {};
    if (::lstat(source.constData(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        // link() refuses an existing target, so nothing is ever replaced.
        if (::link(source.constData(), target.constData()) != 0) {
            return false;
        }
        if (::unlink(source.constData()) != 0) {
            const int error = errno;
            ::unlink(target.constData());
            errno = error;
            return false;
        }
        return true;
    }
    // Folders cannot be linked; checking first is the best such a file system allows.
    if (::lstat(target.constData(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(source.constData(), target.constData()) == 0;
}

std::optional<QString> GetLongPathName(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    std::unique_ptr<char, decltype(&std::free)> resolved(
        ::realpath(encodePath(path).constData(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return decodeFileName(resolved.get());
}

} // namespace quill
