#pragma once
// The OLE calls drag and drop relies on, carried out with Qt. A window registered with
// RegisterDragDrop (and every widget inside it) feeds Qt's drag events to its drop target, with a
// data object that offers the dragged local files as CF_HDROP. DoDragDrop runs a QDrag whose
// data carries the data object's CF_HDROP paths as file URLs (text/uri-list), so file managers
// and other programs take it.
//
// A window taking drops, in order:
//   construction: OleInitialize(nullptr); target = TDropTarget::Create(this);
//                 CoLockObjectExternal(target, true, true); RegisterDragDrop(this, target);
//   close:        RevokeDragDrop(this); target->Release();
//                 CoLockObjectExternal(target, false, true); OleUninitialize();
// and in its event(): a WindowMessageEvent with message() == WM_FILESDROPPED carries the locked
// DROPFILES block in wParam() for DragQueryFileA.

#include "dragdrop/OleTypes.h"

#include <Qt>
#include <functional>

class QDrag;

namespace quill::ole {

// S_OK the first time, S_FALSE for each further nested call.
HRESULT OleInitialize(void* pvReserved);
void OleUninitialize();
bool isOleInitialized();

// Locking adds a reference held for the lock; unlocking releases it again. Outside a process
// boundary there is no stub to keep alive, so the last-unlock flag changes nothing.
HRESULT CoLockObjectExternal(IUnknown* pUnk, BOOL fLock, BOOL fLastUnlockReleases);

// Adds a reference to the target and makes the window accept drops until it is revoked or
// destroyed. Needs OleInitialize first.
HRESULT RegisterDragDrop(HWND hwnd, IDropTarget* pDropTarget);
// Releases the registration's reference.
HRESULT RevokeDragDrop(HWND hwnd);
// The target registered for the window itself (no reference added), or null.
IDropTarget* registeredDropTarget(HWND hwnd);

// Runs the modal drag. The source is asked first (without a pressed left button it drops at once
// on a registered window under the pointer), then while the drag runs; Escape cancels. Returns
// DRAGDROP_S_DROP or DRAGDROP_S_CANCEL, with the effect the receiver took (never outside
// dwOKEffects) or DROPEFFECT_NONE.
HRESULT DoDragDrop(IDataObject* pDataObj, IDropSource* pDropSource, DWORD dwOKEffects,
                   DWORD* pdwEffect);

// Frees a medium's block, or hands it back to its release object, and clears the medium.
void ReleaseStgMedium(STGMEDIUM* pmedium);

// What runs a prepared QDrag: by default QDrag::exec. Tests replace it to act as the receiver.
using DragRunner = std::function<Qt::DropAction(QDrag& drag, Qt::DropActions allowed)>;
// Replaces the runner (an empty one restores the default); returns the previous one.
DragRunner setDragRunner(DragRunner runner);

} // namespace quill::ole
