#pragma once
// Files and folders as the list controls, the runs and the rename see them: the process's current
// directory (the real one), the folder each volume remembers, path resolution, the file search
// with its wildcard and attribute rules, name sorting, the rename that never replaces, and the
// canonical ("long") form of a path.
//
// Every operation that enters a folder raises InOutError with the error number when it cannot.

#include "platform/Failure.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace quill {

// Attribute bits of a found entry, and of the search's attribute mask.
enum FileAttribute : int {
    faReadOnly = 1,
    faHidden = 2,
    faSysFile = 4,
    faVolumeID = 8,
    faDirectory = 16,
    faArchive = 32,
};

// What makes a file the same file under any name or link: its device and inode.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// The current folder: where the lists are, as the system reports it (links resolved). The
// process's own working directory stays at "/", so that no shown medium is ever held busy;
// when something else moves it (where the program was started), that folder becomes the current
// folder. Fails with InOutError (ENOENT) when the folder the process was in has gone.
QString currentDir();

// A path as bytes for the system: a relative one is taken relative to the current folder.
QByteArray encodePath(const QString& path);

// False when the folder has gone, or when it is the current folder and is no longer the folder
// that was entered (a medium unmounted under it leaves the bare mount point).
bool isFolderAsEntered(const QString& folder);

// Makes sure the lists start in a folder they can read: when the current folder has gone or
// cannot be read, the home folder becomes it, or "/" when that fails too. Returns the folder
// changed to, or nothing when the current folder was fine.
std::optional<QString> ensureListableCurrentDir();

// Makes a folder the current folder (a relative one is relative to the current folder) and
// remembers it as its volume's folder. Fails with InOutError: the error number of entering it,
// or ENOMEDIUM when the volume is not ready.
void setCurrentDir(const QString& path);

// Changes to the folder the volume remembers (its root at first use, or when that folder has
// gone). Fails like setCurrentDir.
void enterVolume(const QString& root);

// The folder a volume remembers for this process; empty when it was never entered.
QString rememberedFolder(const QString& root);
void forgetRememberedFolders();

// Puts the current folder back on destruction, when that folder still exists.
class CurrentDirGuard {
public:
    CurrentDirGuard();
    ~CurrentDirGuard();
    CurrentDirGuard(const CurrentDirGuard&) = delete;
    CurrentDirGuard& operator=(const CurrentDirGuard&) = delete;
    const QString& saved() const { return saved_; }

private:
    QString saved_;
    std::optional<FileIdentity> savedIdentity_;
};

bool folderExists(const QString& path);
// Makes one folder (its parent must exist). False when it could not be made or already exists.
bool makeFolder(const QString& path);
// Anything but a folder (following links).
bool fileExists(const QString& path);

// The identity of the file a path names (following links); nothing when there is none.
std::optional<FileIdentity> fileIdentity(const QString& path);

// A folder and a name joined by one "/".
QString joinPath(const QString& folder, const QString& name);

// A path text split into its volume, folder and file part. The folder is absolute as the system
// reports it after entering it; a text naming a folder gives an empty file part; a file part with
// "*" or "?" is kept as given. The current directory is the same afterwards.
struct ResolvedPath {
    QString drive;
    QString folder;
    QString file;
};

// Fails with InOutError when a folder on the way cannot be entered, or when the last component
// is neither an existing file nor a folder.
ResolvedPath resolvePath(const QString& text);

bool hasWildcards(const QString& text);

// "*" any run of characters, "?" one character, letter case ignored; "*.*" matches every name.
bool matchesWildcard(const QString& name, const QString& pattern);

struct FoundFile {
    QString name;
    int attributes = 0;
};

// The entries of a folder matching any of the patterns, each once, in directory order. Regular
// files (and links to them) are found always; hidden entries (name starting with ".") and folders
// only when the attribute mask asks for faHidden or faDirectory. Fails with InOutError when the
// folder cannot be read.
std::vector<FoundFile> findFiles(const QString& folder, const QStringList& patterns,
                                 int attributeMask);

// For tests, which run as root and so can read every folder: findFiles fails with this error
// number for the folder (given as findFiles is given it) until it is called again with another
// folder or an empty one.
void failFolderReadsFor(const QString& folder, int error);

// The visible sub-folders of a folder (links to folders included), sorted; empty when the
// folder cannot be read.
QStringList subFolders(const QString& folder);

// Sorts names ignoring letter case, following the locale.
void sortNames(QStringList& names);

// Renames without ever replacing an existing target (a folder too). False when the target
// exists or the rename fails; errno tells why.
bool MoveFileNoReplace(const QString& from, const QString& to);

// The fallback of MoveFileNoReplace for file systems that cannot rename without replacing: a
// second link under the new name, then the old name removed.
bool MoveFileNoReplaceByLink(const QString& from, const QString& to);

// The canonical absolute path of an existing file or folder; nothing when it does not exist.
std::optional<QString> GetLongPathName(const QString& path);

} // namespace quill
