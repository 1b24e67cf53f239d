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
#include <sys/stat.h>
#include <unistd.h>

namespace quill {
namespace {

std::map<QString, QString>& remembered() {
    static std::map<QString, QString> folders;
    return folders;
}

bool statPath(const QString& path, struct stat& info) {
    return ::stat(encodeFileName(path).constData(), &info) == 0;
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

QString currentDir() {
    // getcwd with a growing buffer: no path is cut.
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            throw InOutError(errno);
        }
        buffer.resize(buffer.size() * 2);
    }
    return decodeFileName(buffer.data());
}

namespace {

bool listable(const char* folder) {
    const DirHandle dir(::opendir(folder));
    return dir != nullptr;
}

bool currentDirListable() {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return false;
        }
        buffer.resize(buffer.size() * 2);
    }
    return listable(".");
}

} // namespace

std::optional<QString> ensureListableCurrentDir() {
    if (currentDirListable()) {
        return std::nullopt;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home == '/' && listable(home) && ::chdir(home) == 0) {
        return decodeFileName(home);
    }
    [[maybe_unused]] const int rc = ::chdir("/");
    return QStringLiteral("/");
}

void setCurrentDir(const QString& path) {
    if (!volumeOf(path).ready) {
        throw InOutError(ENOMEDIUM);
    }
    if (path.isEmpty() || ::chdir(encodeFileName(path).constData()) != 0) {
        throw InOutError(path.isEmpty() ? ENOENT : errno);
    }
    const QString now = currentDir();
    remembered()[volumeOf(now).root] = now;
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
    try {
        saved_ = currentDir();
    } catch (const InOutError&) {
        // A current directory that is gone cannot be restored anyway.
    }
}

CurrentDirGuard::~CurrentDirGuard() {
    if (!saved_.isEmpty()) {
        // Best effort: the folder may have gone meanwhile.
        [[maybe_unused]] int rc = ::chdir(encodeFileName(saved_).constData());
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
    return ::mkdir(encodeFileName(path).constData(), 0777) == 0;
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
    DirHandle dir(::opendir(encodeFileName(folder).constData()));
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
    DirHandle dir(::opendir(encodeFileName(folder).constData()));
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
    const QByteArray source = encodeFileName(from);
    const QByteArray target = encodeFileName(to);
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
    const QByteArray source = encodeFileName(from);
    const QByteArray target = encodeFileName(to);
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
        ::realpath(encodeFileName(path).constData(), nullptr), &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return decodeFileName(resolved.get());
}

} // namespace quill
