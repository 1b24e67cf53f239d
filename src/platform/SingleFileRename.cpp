#include "platform/SingleFileRename.h"

#include "platform/FileSystem.h"

#include <QDir>
#include <QFileInfo>

namespace quill {

NameParts SplitFileName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return {name, QString()};
    }
    return {name.left(dot), name.mid(dot)};
}

QString RenamedFilePath(const QString& folder, const QString& newBase, const QString& extension) {
    QString path = folder;
    if (!path.endsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('\\'))) {
        path += QLatin1Char('/');
    }
    path += newBase;
    if (!extension.isEmpty()) {
        if (!extension.startsWith(QLatin1Char('.'))) {
            path += QLatin1Char('.');
        }
        path += extension;
    }
    return path;
}

bool RenameSingleFile(const QString& oldPath, const QString& folder, const QString& typedBase,
                      const FileMover& mover) {
    // A name without a base, or one starting with ".", would hide the file from the list and
    // so from the program for good.
    if (oldPath.isEmpty() || typedBase.isEmpty() || typedBase.startsWith(QLatin1Char('.')) ||
        typedBase.contains(QLatin1Char('/')) || typedBase.contains(QChar(u'\0'))) {
        return false;
    }
    const QString newPath = RenamedFilePath(folder, typedBase, SplitFileName(oldPath).extension);
    if (QDir::cleanPath(QFileInfo(newPath).absoluteFilePath()) ==
            QDir::cleanPath(QFileInfo(oldPath).absoluteFilePath()) &&
        fileExists(oldPath)) {
        return true;
    }
    return mover ? mover(oldPath, newPath) : MoveFileNoReplace(oldPath, newPath);
}

QString renameFailureMessage() {
    return QStringLiteral(
        "Datei kann nicht umbenannt werden! Name existiert bereits oder Datei schreibgeschützt!");
}

} // namespace quill
