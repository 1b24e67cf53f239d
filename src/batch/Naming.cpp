#include "batch/Naming.h"

namespace quill {

bool isPostFix(const QString& caption) {
    return caption.compare(QLatin1String("PostFix"), Qt::CaseInsensitive) == 0;
}

QString ApplyNameAffix(const QString& baseName, const QString& affix, bool postFix) {
    return postFix ? baseName + affix : affix + baseName;
}

} // namespace quill
