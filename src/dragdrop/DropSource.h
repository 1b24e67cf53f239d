#pragma once
// The drop source of a drag out: it tells the drag loop to go on, drop or cancel, and leaves the
// cursors to the system.

#include "dragdrop/ComObject.h"

namespace quill::ole {

class TDropSource final : public ComObject<TDropSource, IDropSource> {
public:
    static const IID& interfaceId() { return IID_IDropSource; }

    // Null when there is no memory. The count is 1.
    static TDropSource* Create() { return createObject(); }

    // Escape cancels; without the left button down the drag drops; otherwise it goes on.
    HRESULT QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) noexcept override;
    HRESULT GiveFeedback(DWORD dwEffect) noexcept override;

private:
    friend class ComObject<TDropSource, IDropSource>;
    TDropSource() : ComObject(1) {}
    ~TDropSource() = default;
};

} // namespace quill::ole
