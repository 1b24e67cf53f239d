#include "dragdrop/DropSource.h"

namespace quill::ole {

HRESULT TDropSource::QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) noexcept {
    if (fEscapePressed != 0) {
        return DRAGDROP_S_CANCEL;
    }
    if ((grfKeyState & MK_LBUTTON) == 0) {
        return DRAGDROP_S_DROP;
    }
    return S_OK;
}

HRESULT TDropSource::GiveFeedback(DWORD /*dwEffect*/) noexcept {
    return DRAGDROP_S_USEDEFAULTCURSORS;
}

} // namespace quill::ole
