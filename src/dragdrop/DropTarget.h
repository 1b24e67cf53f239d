#pragma once
// The main window's drop target. While a drag passes over the window it notes whether the data
// offers a file list; on a drop it fetches the list and hands it to the window in the message
// WM_FILESDROPPED (wParam: the locked DROPFILES block, lParam: 0), sent and finished before
// Drop returns.

#include "dragdrop/ComObject.h"

#include <QPointer>
#include <QWidget>

namespace quill::ole {

class TDropTarget final : public ComObject<TDropTarget, IDropTarget> {
public:
    static const IID& interfaceId() { return IID_IDropTarget; }

    // Null when there is no memory. The count is 1: the creator's own reference.
    static TDropTarget* Create(HWND window) { return createObject(window); }

    // Files are offered for copying only, whatever else the source allows: the drop only
    // navigates, and a source told "moved" would delete its file.
    HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                      DWORD* pdwEffect) noexcept override;
    HRESULT DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) noexcept override;
    HRESULT DragLeave() noexcept override;
    HRESULT Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                 DWORD* pdwEffect) noexcept override;

    // Whether the data of the drag now over the window offers a file list.
    bool offersFileList() const { return offersFileList_; }

    // While the window is busy (a run going), drags are told it takes nothing, and a drop that
    // comes anyway is refused without reaching the window.
    void setAccepting(bool accepting) { accepting_ = accepting; }
    bool accepting() const { return accepting_; }

private:
    friend class ComObject<TDropTarget, IDropTarget>;
    explicit TDropTarget(HWND window) : ComObject(1), window_(window) {}
    ~TDropTarget();

    DWORD answer(DWORD allowed) const;

    QPointer<QWidget> window_;
    bool offersFileList_ = false;
    bool accepting_ = true;
};

} // namespace quill::ole
