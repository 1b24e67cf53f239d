#pragma once
// Everything the runs tell the user, written once. The runs hand these texts to their host, and
// the window decides how to show them; what the loader says is in imaging/ImageLoading.h.

#include <QString>

namespace quill {

QString unusableAffixMessage();
QString hidingAffixMessage();
QString outputFolderFailedMessage();
QString writeFailedMessage();
QString outOfMemoryMessage(const QString& fileName);
QString originalInTheWayMessage(const QString& outputName);
// A write failure that every further output would meet too (error: its error number), and a
// listed folder that has gone: told once, and the run ends.
QString writeStoppedMessage(int error);
QString folderGoneMessage();

} // namespace quill
