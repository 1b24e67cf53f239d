#include "dragdrop/DropTarget.h"

#include "dragdrop/GlobalMemory.h"
#include "dragdrop/OleCallLog.h"
#include "dragdrop/OleShim.h"
#include "dragdrop/WindowMessage.h"

namespace quill::ole {

TDropTarget::~TDropTarget() {
    reportOleCall(QStringLiteral("TDropTarget destroyed"));
}

DWORD TDropTarget::answer(DWORD allowed) const {
    return accepting_ && offersFileList_ && (allowed & DROPEFFECT_COPY) != 0 ? DROPEFFECT_COPY
                                                                             : DROPEFFECT_NONE;
}

HRESULT TDropTarget::DragEnter(IDataObject* pDataObj, DWORD /*grfKeyState*/, POINTL /*pt*/,
                               DWORD* pdwEffect) noexcept {
    FORMATETC format = hdropFormat();
    offersFileList_ = pDataObj != nullptr && pDataObj->QueryGetData(&format) == S_OK;
    if (pdwEffect != nullptr) {
        *pdwEffect = answer(*pdwEffect);
    }
    return S_OK;
}

HRESULT TDropTarget::DragOver(DWORD /*grfKeyState*/, POINTL /*pt*/, DWORD* pdwEffect) noexcept {
    if (pdwEffect != nullptr) {
        *pdwEffect = answer(*pdwEffect);
    }
    return S_OK;
}

HRESULT TDropTarget::DragLeave() noexcept {
    offersFileList_ = false;
    return S_OK;
}

HRESULT TDropTarget::Drop(IDataObject* pDataObj, DWORD /*grfKeyState*/, POINTL /*pt*/,
                          DWORD* pdwEffect) noexcept {
    const DWORD allowed = pdwEffect != nullptr ? *pdwEffect : DROPEFFECT_COPY;
    auto refuse = [&](HRESULT result) {
        if (pdwEffect != nullptr) {
            *pdwEffect = DROPEFFECT_NONE;
        }
        offersFileList_ = false;
        return result;
    };
    if (pDataObj == nullptr) {
        return refuse(E_INVALIDARG);
    }
    if (!accepting_) {
        return refuse(S_OK);
    }
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{};
    const HRESULT got = pDataObj->GetData(&format, &medium);
    if (FAILED(got)) {
        return refuse(got);
    }
    // This target is the only party that releases the medium; the window only reads it.
    struct MediumRelease {
        STGMEDIUM* medium;
        ~MediumRelease() { ReleaseStgMedium(medium); }
    } release{&medium};
    {
        const GlobalLockGuard files(medium.tymed == TYMED_HGLOBAL ? medium.hGlobal : nullptr);
        if (files.data() == nullptr) {
            return refuse(DV_E_TYMED);
        }
        SendMessage(window_.data(), WM_FILESDROPPED, reinterpret_cast<WPARAM>(files.data()), 0);
    }
    offersFileList_ = false;
    if (pdwEffect != nullptr) {
        *pdwEffect = (allowed & DROPEFFECT_COPY) != 0 ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    }
    return S_OK;
}

} // namespace quill::ole
