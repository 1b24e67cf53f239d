#pragma once
// Writing a whole file so that a failure, a crash or a power cut never leaves a half-written one:
// the new bytes go to a file without a name in the target's folder (or, where the file system
// has no such files, to a hidden temporary name beside it), reach the disk, and only then get
// the target's name.

#include <QByteArray>
#include <QString>

namespace quill {

// Writes bytes to path, replacing an existing file only once the whole new file is on the disk.
// Writing through a symbolic link replaces the file it points to and keeps the link. A replaced
// file's permission bits are kept, and its owner too when running as root; a new file gets the
// permissions the umask allows. False when the file cannot be written: an existing file is
// untouched then, no temporary file is left behind, and lastReplaceError() tells why.
bool replaceFileSafely(const QString& path, const QByteArray& bytes);

// The error number of this thread's last failed replaceFileSafely (0 after a success).
int lastReplaceError();

// Removes what writes of this program that never finished left in folder: hidden files named
// like its temporary files, that nobody holds open. Nothing else is touched. Returns how many.
int removeLeftoverTemporaries(const QString& folder);

// Brings a folder's entries (names just made, renamed or removed in it) to the disk. False with
// errno when it could not.
bool syncFolder(const QString& folder);

} // namespace quill
