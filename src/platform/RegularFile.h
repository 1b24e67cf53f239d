#pragma once
// Reading a whole picture file before it is decoded. Only regular files are read: a pipe or
// device put in a picture's place would block or never end; and no file beyond a size cap is
// read, so a huge file costs nothing.

#include <QByteArray>
#include <QString>

namespace quill {

enum class RegularFileRead {
    Read,
    CannotOpen, // missing, unreadable, or not a regular file
    TooLarge,   // above the size cap
};

// Reads a whole regular file into bytes, never waiting on the open and never reading more than
// maxBytes (a file that grows beyond it while it is read counts as too large).
RegularFileRead readRegularFile(const QString& path, QByteArray& bytes, qint64 maxBytes);

} // namespace quill
