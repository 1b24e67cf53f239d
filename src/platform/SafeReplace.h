#pragma once
// Writing a whole file so that a failure or a power cut never leaves a half-written one: the new
// bytes go to a temporary file beside the target, reach the disk, and only then are renamed over
// the target.

#include <QByteArray>
#include <QString>

namespace quill {

// Writes bytes to path, replacing an existing file only once the whole new file is on the disk.
// Writing through a symbolic link replaces the file it points to and keeps the link. A replaced
// file's permission bits are kept, and its owner too when running as root; a new file gets the
// permissions the umask allows. False when the file cannot be written: an existing file is
// untouched then and no temporary file is left behind.
bool replaceFileSafely(const QString& path, const QByteArray& bytes);

} // namespace quill
