#pragma once
// The rename-only run: every taken file of the listed folder gets the name affix, in place,
// keeping its extension. Quiet: a rename that fails leaves that file alone.

#include "batch/ConversionRun.h"

#include <QString>
#include <vector>

namespace quill {

// Returns how many files were renamed. An existing file of the new name is never replaced.
int RunRenameOnly(const QString& folder, const std::vector<BatchEntry>& entries, bool takeAll,
                  const QString& affix, bool postFix);

} // namespace quill
