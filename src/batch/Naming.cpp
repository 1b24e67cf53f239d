#include "batch/Naming.h"

namespace quill {

bool isPostFix(const QString& caption) {
    return caption.compare(QLatin1String("PostFix"), Qt::CaseInsensitive) == 0;
}

QString ApplyNameAffix(const QString& baseName, const QString& affix, bool postFix) {
    return postFix ? baseName + affix : affix + baseName;
}

NameParts SplitName(const QString& fileName) {
    const QString name = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return {name, QString()};
    }
    return {name.left(dot), name.mid(dot)};
}

} // namespace quill
