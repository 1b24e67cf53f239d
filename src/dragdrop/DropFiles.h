#pragma once
// The CF_HDROP file list: a DROPFILES header followed by NUL-terminated paths and an empty one.
// Paths are bytes in the local 8-bit encoding (UTF-8 here); a wide list is read as well.

#include "dragdrop/OleTypes.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <vector>

namespace quill::ole {

// The index that asks DragQueryFileA for the number of paths.
constexpr UINT kDragQueryCount = 0xFFFFFFFF;

// A moveable, zeroed global block holding the paths as an ANSI list; null when there is no
// memory. An empty list is the header and two NULs.
HGLOBAL makeDropFiles(const std::vector<QByteArray>& paths);

// The paths of a DROPFILES block. Inside a global block the reading stops at the block's end;
// an unterminated last path there is not a path.
std::vector<QByteArray> dropFilesPaths(HDROP hDrop);

// With iFile kDragQueryCount: the number of paths. With a null buffer: the length of path iFile
// without its NUL. Otherwise copies path iFile, cut to cch - 1 bytes, with a NUL, and returns
// the bytes copied. 0 for a path that is not there.
UINT DragQueryFileA(HDROP hDrop, UINT iFile, char* lpszFile, UINT cch);

// A path as the file list holds it, and back.
QByteArray localPath(const QString& path);
QString fromLocalPath(const QByteArray& path);

// A file address for a path's bytes and the bytes of a local file address, exact for names that
// are not UTF-8 too (their bytes travel percent-encoded). Not a local file: empty.
QUrl fileUrl(const QByteArray& path);
QByteArray localPathOf(const QUrl& url);

} // namespace quill::ole
