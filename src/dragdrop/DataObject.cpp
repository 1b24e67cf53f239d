#include "dragdrop/DataObject.h"

#include "dragdrop/EnumFormatEtc.h"
#include "dragdrop/GlobalMemory.h"

#include <algorithm>
#include <cstring>

namespace quill::ole {

HRESULT TDataObject::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) noexcept {
    if (pformatetcIn == nullptr || pmedium == nullptr) {
        return E_INVALIDARG;
    }
    pmedium->hGlobal = nullptr;
    for (ULONG i = 0; i < count_; ++i) {
        const FORMATETC& held = formats_[i];
        if ((held.tymed & pformatetcIn->tymed) != 0 && held.dwAspect == pformatetcIn->dwAspect &&
            held.cfFormat == pformatetcIn->cfFormat) {
            // Only a file list can be rendered; other entries are never offered by a drag.
            if (held.cfFormat != CF_HDROP || media_[i].tymed != TYMED_HGLOBAL) {
                return DV_E_FORMATETC;
            }
            return copyFileList(media_[i].hGlobal, pmedium);
        }
    }
    return DV_E_FORMATETC;
}

HRESULT TDataObject::copyFileList(HGLOBAL held, STGMEDIUM* pmedium) const noexcept {
    const GlobalLockGuard source(held);
    if (source.data() == nullptr || source.size() < sizeof(DROPFILES)) {
        return E_UNEXPECTED;
    }
    DROPFILES heldHeader;
    std::memcpy(&heldHeader, source.data(), sizeof heldHeader);
    const auto* heldBytes = static_cast<const char*>(source.data());
    SIZE_T length = 0;
    if (heldHeader.pFiles < source.size()) {
        const SIZE_T room = source.size() - heldHeader.pFiles;
        const void* nul = std::memchr(heldBytes + heldHeader.pFiles, '\0', room);
        length = nul == nullptr ? room
                                : static_cast<SIZE_T>(static_cast<const char*>(nul) -
                                                      (heldBytes + heldHeader.pFiles));
    }
    // The header, the path and both terminating NULs, never cut: a cut path names another file.
    const SIZE_T needed = sizeof(DROPFILES) + length + 2;
    GlobalBlock copy(
        GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, std::max(kCopySize, needed)));
    if (!copy) {
        return STG_E_MEDIUMFULL;
    }
    const GlobalLockGuard target(copy.get());
    if (target.data() == nullptr) {
        return STG_E_MEDIUMFULL;
    }
    auto* out = static_cast<char*>(target.data());
    const DROPFILES header{sizeof(DROPFILES), {0, 0}, 0, 0};
    std::memcpy(out, &header, sizeof header);
    if (length > 0) {
        std::memcpy(out + sizeof(DROPFILES), heldBytes + heldHeader.pFiles, length);
    }
    // The zero fill ends the path and the list.
    pmedium->tymed = TYMED_HGLOBAL;
    pmedium->hGlobal = copy.release();
    pmedium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT TDataObject::GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) noexcept {
    if (pformatetc == nullptr || pmedium == nullptr) {
        return E_INVALIDARG;
    }
    return E_NOTIMPL;
}

HRESULT TDataObject::QueryGetData(FORMATETC* pformatetc) noexcept {
    if (pformatetc == nullptr) {
        return S_FALSE;
    }
    if ((pformatetc->dwAspect & DVASPECT_CONTENT) == 0) {
        return DV_E_DVASPECT;
    }
    for (ULONG i = 0; i < count_; ++i) {
        if (formats_[i].cfFormat == pformatetc->cfFormat &&
            (formats_[i].tymed & pformatetc->tymed) != 0) {
            return S_OK;
        }
    }
    return DV_E_TYMED;
}

HRESULT TDataObject::GetCanonicalFormatEtc(FORMATETC* /*pformatectIn*/,
                                           FORMATETC* /*pformatetcOut*/) noexcept {
    return DATA_S_SAMEFORMATETC;
}

HRESULT TDataObject::SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) noexcept {
    if (fRelease == 0) {
        return E_FAIL;
    }
    // Either one missing would have to be read through a null pointer.
    if (pformatetc == nullptr || pmedium == nullptr) {
        return E_INVALIDARG;
    }
    if (count_ >= kMaxEntries) {
        return E_OUTOFMEMORY;
    }
    formats_[count_] = *pformatetc;
    media_[count_] = *pmedium;
    ++count_;
    return S_OK;
}

HRESULT TDataObject::EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) noexcept {
    if (dwDirection != DATADIR_GET) {
        return OLE_S_USEREG;
    }
    if (ppenumFormatEtc == nullptr) {
        return E_INVALIDARG;
    }
    TEnumFormatEtc* enumerator = TEnumFormatEtc::Create(formats_.data(), count_);
    if (enumerator == nullptr) {
        *ppenumFormatEtc = nullptr;
        return E_OUTOFMEMORY;
    }
    enumerator->AddRef();
    *ppenumFormatEtc = enumerator;
    return S_OK;
}

HRESULT TDataObject::DAdvise(FORMATETC* /*pformatetc*/, DWORD /*advf*/, IAdviseSink* /*pAdvSink*/,
                             DWORD* /*pdwConnection*/) noexcept {
    return E_NOTIMPL;
}

HRESULT TDataObject::DUnadvise(DWORD /*dwConnection*/) noexcept {
    return E_NOTIMPL;
}

HRESULT TDataObject::EnumDAdvise(IEnumSTATDATA** /*ppenumAdvise*/) noexcept {
    return OLE_E_ADVISENOTSUPPORTED;
}

} // namespace quill::ole
