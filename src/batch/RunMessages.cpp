#include "batch/RunMessages.h"

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

} // namespace quill
