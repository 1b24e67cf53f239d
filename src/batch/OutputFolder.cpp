#include "batch/OutputFolder.h"

#include "batch/RunMessages.h"

#include "platform/FileSystem.h"
#include "platform/SafeReplace.h"

#include <atomic>

namespace quill {

namespace {
std::atomic<bool> folderSyncOn{true};
} // namespace

void setOutputFolderSync(bool on) {
    folderSyncOn = on;
}

bool outputFolderSync() {
    return folderSyncOn;
}

QString OutputFolderIn(const QString& parent) {
    QString path = parent;
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return path + QLatin1String(OutputFolderName);
}

bool FindOrMakeFolder(const QString& path) {
    if (folderExists(path)) {
        return true;
    }
    // One level only: the parent must exist. Its new entry reaches the disk at once, so that a
    // power cut never takes the folder, and the outputs in it, back.
    if (makeFolder(path) && folderSyncOn) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        syncFolder(slash <= 0 ? QStringLiteral("/") : path.left(slash));
    }
    return folderExists(path);
}

std::optional<QString> FixOutputFolder(const QString& listedFolder,
                                       const std::function<std::optional<QString>()>& chooseParent,
                                       const std::function<void(const QString&)>& report) {
    QString candidate = OutputFolderIn(listedFolder);
    if (folderExists(candidate)) {
        return candidate;
    }
    while (!FindOrMakeFolder(candidate)) {
        report(outputFolderFailedMessage());
        const std::optional<QString> parent = chooseParent();
        if (!parent) {
            return std::nullopt;
        }
        candidate = OutputFolderIn(*parent);
    }
    return candidate;
}

} // namespace quill
