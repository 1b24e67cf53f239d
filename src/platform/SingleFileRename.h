#pragma once
// Renaming one file in place: the user types only a new base name, the folder and the old
// extension stay. Never replaces an existing file.

#include <QString>
#include <functional>

namespace quill {

// A file name split at its last dot: "Urlaub 01.JPG" gives "Urlaub 01" and ".JPG"; a name without
// a dot has an empty extension.
struct NameParts {
    QString baseName;
    QString extension; // from the last dot on, dot included
};

// The parts of the file name of a path (the folder is dropped).
NameParts SplitFileName(const QString& path);

// The folder, a "/" unless the folder already ends in "/" (or "\"), the typed name exactly as
// typed, then the old extension with a "." in front when it has none; an empty extension adds
// nothing.
QString RenamedFilePath(const QString& folder, const QString& newBase, const QString& extension);

using FileMover = std::function<bool(const QString& from, const QString& to)>;

// Renames oldPath to the typed base name with its old extension, inside folder. False, with
// nothing changed, when there is no old path, when the typed name holds a "/" (which would move
// the file into another folder), when the target exists, or when the file system refuses.
// Typing the unchanged name is a success that touches nothing. The mover defaults to the rename
// that never replaces.
bool RenameSingleFile(const QString& oldPath, const QString& folder, const QString& typedBase,
                      const FileMover& mover = {});

// The message the caller shows when RenameSingleFile fails.
QString renameFailureMessage();

} // namespace quill
