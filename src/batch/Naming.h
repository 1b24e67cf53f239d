#pragma once
// How the runs name files: the name affix and the split of a name into base and extension.

#include <QString>

namespace quill {

// True when the affix label's caption reads "PostFix" in any letter case.
bool isPostFix(const QString& caption);

// The base name with the affix appended (postfix) or put in front (prefix); nothing between.
QString ApplyNameAffix(const QString& baseName, const QString& affix, bool postFix);

struct NameParts {
    QString base;      // without folder and extension
    QString extension; // from the last dot on, dot included; empty without a dot
};

// Splits a file name (or a path: the folder is dropped) at its last dot.
NameParts SplitName(const QString& fileName);

} // namespace quill
