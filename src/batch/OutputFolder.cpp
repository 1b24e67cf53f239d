#include "batch/OutputFolder.h"

#include "platform/MessageBox.h"

#include <QDir>
#include <QFileInfo>

namespace quill {

QString OutputFolderIn(const QString& parent) {
    QString path = parent;
    if (!path.endsWith(QLatin1Char('/'))) {
        path += QLatin1Char('/');
    }
    return path + QLatin1String(OutputFolderName);
}

bool FindOrMakeFolder(const QString& path) {
    if (QFileInfo(path).isDir()) {
        return true;
    }
    // One level only: QDir::mkdir does not make missing parents.
    QDir().mkdir(path);
    return QFileInfo(path).isDir();
}

std::optional<QString>
FixOutputFolder(const QString& listedFolder,
                const std::function<std::optional<QString>()>& chooseParent) {
    QString candidate = OutputFolderIn(listedFolder);
    if (QFileInfo(candidate).isDir()) {
        return candidate;
    }
    while (!FindOrMakeFolder(candidate)) {
        showMessage(
            QStringLiteral("Zielverzeichnis kann im gewählten Verzeichnis nicht angelegt werden"));
        const std::optional<QString> parent = chooseParent();
        if (!parent) {
            return std::nullopt;
        }
        candidate = OutputFolderIn(*parent);
    }
    return candidate;
}

} // namespace quill
