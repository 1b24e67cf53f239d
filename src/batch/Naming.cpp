#include "batch/Naming.h"

namespace quill {

bool isPostFix(const QString& caption) {
    return caption.compare(QLatin1String("PostFix"), Qt::CaseInsensitive) == 0;
}

bool isUsableAffix(const QString& affix) {
    return !affix.contains(QLatin1Char('/')) && !affix.contains(QChar(u'\0'));
}

QString unusableAffixMessage() {
    return QStringLiteral("Der Namenszusatz darf kein \"/\" enthalten.");
}

QString originalInTheWayMessage(const QString& outputName) {
    return QStringLiteral("%1 würde eine Originaldatei ersetzen und wird nicht geschrieben.")
        .arg(outputName);
}

bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           isUsableAffix(name);
}

QString ApplyNameAffix(const QString& baseName, const QString& affix, bool postFix) {
    return postFix ? baseName + affix : affix + baseName;
}

} // namespace quill
