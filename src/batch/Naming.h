#pragma once
// How the runs name files: the name affix. Names split into base and extension with
// SplitFileName (platform/SingleFileRename.h).

#include <QString>

namespace quill {

// True when the affix label's caption reads "PostFix" in any letter case.
bool isPostFix(const QString& caption);

// An affix may only change a name, never the folder it is in: no "/" and no NUL.
bool isUsableAffix(const QString& affix);

// True when the affix would make every new name begin with "." (a prefix starting with one):
// such files are hidden from the file list, and so from the program, for good.
bool hidesNames(const QString& affix, bool postFix);

// True when a name stays inside its folder: not empty, not "." or "..", no "/" and no NUL.
bool isPlainName(const QString& name);

// The base name with the affix appended (postfix) or put in front (prefix); nothing between.
QString ApplyNameAffix(const QString& baseName, const QString& affix, bool postFix);

} // namespace quill
