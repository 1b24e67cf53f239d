#include "batch/RunMessages.h"

#include <cerrno>

namespace quill {

QString unusableAffixMessage() {
    return QStringLiteral("Der Namenszusatz darf kein \"/\" enthalten.");
}

QString hidingAffixMessage() {
    return QStringLiteral("Der Namenszusatz darf als PreFix nicht mit \".\" beginnen.");
}

QString outputFolderFailedMessage() {
    return QStringLiteral("Zielverzeichnis kann im gewählten Verzeichnis nicht angelegt werden");
}

QString writeFailedMessage() {
    return QStringLiteral("Schreiben nicht möglich");
}

QString outOfMemoryMessage(const QString& fileName) {
    return QStringLiteral("Nicht genügend Speicher für %1").arg(fileName);
}

QString originalInTheWayMessage(const QString& outputName) {
    return QStringLiteral("%1 würde eine Originaldatei ersetzen und wird nicht geschrieben.")
        .arg(outputName);
}

QString writeStoppedMessage(int error) {
    QString why;
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        why = QStringLiteral("Der Datenträger ist voll.");
        break;
    case ENOENT:
        why = QStringLiteral("Das Zielverzeichnis ist nicht mehr vorhanden.");
        break;
    default:
        why = QStringLiteral("Das Zielverzeichnis ist schreibgeschützt.");
        break;
    }
    return QStringLiteral("Schreiben nicht möglich: %1 Die Verarbeitung wird abgebrochen.")
        .arg(why);
}

QString folderGoneMessage() {
    return QStringLiteral(
        "Das gewählte Verzeichnis ist nicht mehr vorhanden. Die Verarbeitung wird abgebrochen.");
}

} // namespace quill
