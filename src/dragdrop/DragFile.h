#pragma once
// The drag routine of the preview: offers one file as a CF_HDROP list for copying and runs the
// modal drag until the drop or the cancellation.

#include "dragdrop/OleTypes.h"

#include <QString>

namespace quill::ole {

// Returns the effect the receiver took: DROPEFFECT_COPY, or DROPEFFECT_NONE when the drag was
// cancelled, nobody took it or there was no memory to start it. An empty path drags an empty list.
DWORD DragFile(const QString& path);

} // namespace quill::ole
