#pragma once
// Pieces the parts of the Qt shim share: translating Qt's input state and actions into OLE's,
// finding the registered target for a widget, and wrapping dragged Qt data as a data object.

#include "dragdrop/ComObject.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <Qt>
#include <vector>

class QMimeData;
class QWidget;

namespace quill::ole::detail {

DWORD keyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
DWORD currentKeyState();
DWORD effectsOf(Qt::DropActions actions);
Qt::DropActions actionsOf(DWORD effects);
// The one action an effect stands for: copy before link before move; IgnoreAction for none.
Qt::DropAction actionOf(DWORD effect);

// The registered window that holds the widget (itself or its nearest registered ancestor) and
// its target, or nulls.
struct Registered {
    QWidget* window = nullptr;
    ComPtr<IDropTarget> target;
};
Registered registeredFor(QWidget* widget);

// The data object behind dragged Qt data: the one of our own drag, or a new one offering the
// local file URLs as CF_HDROP. Null only without memory.
ComPtr<IDataObject> dataObjectFor(const QMimeData* mime);

// The local files among the URLs, as the bytes the file list holds.
std::vector<QByteArray> localFiles(const QList<QUrl>& urls);

// True while a drop is being delivered to a registered window.
bool deliveringDrop();

} // namespace quill::ole::detail
