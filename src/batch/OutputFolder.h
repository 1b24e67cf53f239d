#pragma once
// The run's output folder: "_Parvexo" inside a parent folder, found or made one level deep.

#include <QString>
#include <functional>
#include <optional>

namespace quill {

inline constexpr const char* OutputFolderName = "_Parvexo";

// Whether the output folder's entries are brought to the disk: the parent's after the folder is
// made, the folder's own at the end of a run (on unless switched off, which the benchmark does to
// measure what it costs).
void setOutputFolderSync(bool on);
bool outputFolderSync();

// The parent, a separator unless it already ends in one (a root), and "_Parvexo".
QString OutputFolderIn(const QString& parent);

// Uses the folder when it exists, else makes it (its parent must exist). True when the folder
// exists afterwards.
bool FindOrMakeFolder(const QString& path);

// Finds or makes "_Parvexo" in the listed folder. When that fails: says so through report, then
// asks for another parent folder with chooseParent (nothing = cancelled) until one works. Returns
// the folder, or nothing when the user cancelled.
std::optional<QString> FixOutputFolder(const QString& listedFolder,
                                       const std::function<std::optional<QString>()>& chooseParent,
                                       const std::function<void(const QString&)>& report);

} // namespace quill
