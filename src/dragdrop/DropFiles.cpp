#include "dragdrop/DropFiles.h"

#include "dragdrop/GlobalMemory.h"
#include "platform/FileNames.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quill::ole {

QByteArray localPath(const QString& path) {
    return encodeFileName(path);
}

QString fromLocalPath(const QByteArray& path) {
    return decodeFileName(path);
}

QUrl fileUrl(const QByteArray& path) {
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

QByteArray localPathOf(const QUrl& url) {
    if (!url.isLocalFile()) {
        return {};
    }
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

HGLOBAL makeDropFiles(const std::vector<QByteArray>& paths) {
    SIZE_T bytes = sizeof(DROPFILES) + 1;
    for (const QByteArray& path : paths) {
        bytes += static_cast<SIZE_T>(path.size()) + 1;
    }
    bytes = std::max<SIZE_T>(bytes, sizeof(DROPFILES) + 2);
    GlobalBlock block(GlobalAlloc(GHND | GMEM_SHARE, bytes));
    if (!block) {
        return nullptr;
    }
    const GlobalLockGuard lock(block.get());
    auto* out = static_cast<char*>(lock.data());
    if (out == nullptr) {
        return nullptr;
    }
    const DROPFILES header{sizeof(DROPFILES), {0, 0}, 0, 0};
    std::memcpy(out, &header, sizeof header);
    SIZE_T at = sizeof(DROPFILES);
    for (const QByteArray& path : paths) {
        // A NUL inside a name would split it; such a name cannot name a file anyway.
        const QByteArray cut = path.left(path.indexOf('\0') < 0 ? path.size() : path.indexOf('\0'));
        std::memcpy(out + at, cut.constData(), static_cast<SIZE_T>(cut.size()));
        at += static_cast<SIZE_T>(cut.size()) + 1;
    }
    return block.release();
}

namespace {

// Reads an ANSI list from `at` up to `end` bytes of `base`; unbounded, it trusts the NULs.
std::vector<QByteArray> readAnsi(const char* base, SIZE_T at, SIZE_T end, bool bounded) {
    std::vector<QByteArray> paths;
    while (at < end) {
        const char* start = base + at;
        SIZE_T length = 0;
        if (bounded) {
            const void* nul = std::memchr(start, '\0', end - at);
            if (nul == nullptr) {
                break;
            }
            length = static_cast<SIZE_T>(static_cast<const char*>(nul) - start);
        } else {
            length = std::strlen(start);
        }
        if (length == 0) {
            break;
        }
        paths.emplace_back(start, static_cast<qsizetype>(length));
        at += length + 1;
    }
    return paths;
}

std::vector<QByteArray> readWide(const char* base, SIZE_T at, SIZE_T end) {
    std::vector<QByteArray> paths;
    QString current;
    while (at + sizeof(char16_t) <= end) {
        char16_t unit = 0;
        std::memcpy(&unit, base + at, sizeof unit);
        at += sizeof unit;
        if (unit != 0) {
            current.append(QChar(unit));
            continue;
        }
        if (current.isEmpty()) {
            break;
        }
        paths.push_back(localPath(current));
        current.clear();
    }
    return paths;
}

} // namespace

std::vector<QByteArray> dropFilesPaths(HDROP hDrop) {
    if (hDrop == nullptr) {
        return {};
    }
    const auto* base = static_cast<const char*>(hDrop);
    const std::optional<SIZE_T> limit = globalBytesFrom(hDrop);
    if (limit && *limit < sizeof(DROPFILES)) {
        return {};
    }
    DROPFILES header;
    std::memcpy(&header, base, sizeof header);
    // Outside a known block the list is trusted to be terminated, as the platform does.
    const SIZE_T end = limit ? *limit : std::numeric_limits<SIZE_T>::max() / 2;
    if (header.pFiles >= end) {
        return {};
    }
    return header.fWide != 0 ? readWide(base, header.pFiles, end)
                             : readAnsi(base, header.pFiles, end, limit.has_value());
}

UINT DragQueryFileA(HDROP hDrop, UINT iFile, char* lpszFile, UINT cch) {
    const std::vector<QByteArray> paths = dropFilesPaths(hDrop);
    if (iFile == kDragQueryCount) {
        return static_cast<UINT>(paths.size());
    }
    if (iFile >= paths.size()) {
        return 0;
    }
    const QByteArray& path = paths[iFile];
    if (lpszFile == nullptr) {
        return static_cast<UINT>(path.size());
    }
    if (cch == 0) {
        return 0;
    }
    const auto copied = std::min<SIZE_T>(static_cast<SIZE_T>(path.size()), cch - 1);
    std::memcpy(lpszFile, path.constData(), copied);
    lpszFile[copied] = '\0';
    return static_cast<UINT>(copied);
}

} // namespace quill::ole
