#include "batch/RenameRun.h"

#include "batch/Naming.h"
#include "platform/FileSystem.h"
#include "platform/SingleFileRename.h"

namespace quill {

int RunRenameOnly(const QString& folder, const std::vector<BatchEntry>& entries, bool takeAll,
                  const QString& affix, bool postFix) {
    int renamed = 0;
    for (const BatchEntry& entry : entries) {
        if (!takeAll && !entry.selected) {
            continue;
        }
        const NameParts parts = SplitFileName(entry.name);
        const QString newName = ApplyNameAffix(parts.baseName, affix, postFix) + parts.extension;
        if (newName == entry.name || !isPlainName(newName) ||
            newName.startsWith(QLatin1Char('.'))) {
            continue;
        }
        if (MoveFileNoReplace(joinPath(folder, entry.name), joinPath(folder, newName))) {
            ++renamed;
        }
    }
    return renamed;
}

} // namespace quill
