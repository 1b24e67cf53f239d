#include "batch/Naming.h"

namespace quill {

bool isPostFix(const QString& caption) {
    return caption.compare(QLatin1String("PostFix"), Qt::CaseInsensitive) == 0;
}

bool isUsableAffix(const QString& affix) {
    return !affix.contains(QLatin1Char('/')) && !affix.contains(QChar(u'\0'));
}

bool hidesNames(const QString& affix, bool postFix) {
    return !postFix && affix.startsWith(QLatin1Char('.'));
}

bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           isUsableAffix(name);
}

QString ApplyNameAffix(const QString& baseName, const QString& affix, bool postFix) {
    return postFix ? baseName + affix : affix + baseName;
}

} // namespace quill
