#pragma once
// File names are bytes on Linux and need not be UTF-8. Every name the program reads from the
// system (directory entries, the command line, dropped paths, the current directory) is turned
// into a QString with decodeFileName and back with encodeFileName, never with QFile's own
// functions: those replace a byte that is not UTF-8 and the name then no longer names the file.
//
// Valid UTF-8 reads as the text it spells. Each byte that is not part of a valid UTF-8 sequence
// becomes one lone low surrogate U+DC80..U+DCFF, which UTF-8 text can never contain, and turns
// back into the same byte; so decode and encode are exact inverses for every name.

#include <QByteArray>
#include <QString>

namespace quill {

QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);

} // namespace quill
