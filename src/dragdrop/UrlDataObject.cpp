#include "dragdrop/UrlDataObject.h"

#include "dragdrop/DropFiles.h"
#include "dragdrop/EnumFormatEtc.h"

namespace quill::ole {

HRESULT TUrlDataObject::QueryGetData(FORMATETC* pformatetc) noexcept {
    if (pformatetc == nullptr) {
        return E_INVALIDARG;
    }
    if (pformatetc->cfFormat != CF_HDROP || paths_.empty()) {
        return DV_E_FORMATETC;
    }
    if ((pformatetc->dwAspect & DVASPECT_CONTENT) == 0) {
        return DV_E_DVASPECT;
    }
    if ((pformatetc->tymed & TYMED_HGLOBAL) == 0) {
        return DV_E_TYMED;
    }
    return S_OK;
}

HRESULT TUrlDataObject::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) noexcept {
    if (pmedium == nullptr) {
        return E_INVALIDARG;
    }
    const HRESULT offered = QueryGetData(pformatetcIn);
    if (offered != S_OK) {
        return offered;
    }
    HGLOBAL block = nullptr;
    try {
        block = makeDropFiles(paths_);
    } catch (const std::exception&) {
        block = nullptr;
    }
    if (block == nullptr) {
        return E_OUTOFMEMORY;
    }
    pmedium->tymed = TYMED_HGLOBAL;
    pmedium->hGlobal = block;
    pmedium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT TUrlDataObject::GetDataHere(FORMATETC* /*pformatetc*/, STGMEDIUM* /*pmedium*/) noexcept {
    return E_NOTIMPL;
}

HRESULT TUrlDataObject::GetCanonicalFormatEtc(FORMATETC* /*pformatectIn*/,
                                              FORMATETC* /*pformatetcOut*/) noexcept {
    return DATA_S_SAMEFORMATETC;
}

HRESULT TUrlDataObject::SetData(FORMATETC* /*pformatetc*/, STGMEDIUM* /*pmedium*/,
                                BOOL /*fRelease*/) noexcept {
    return E_NOTIMPL;
}

HRESULT TUrlDataObject::EnumFormatEtc(DWORD dwDirection,
                                      IEnumFORMATETC** ppenumFormatEtc) noexcept {
    if (ppenumFormatEtc == nullptr) {
        return E_INVALIDARG;
    }
    *ppenumFormatEtc = nullptr;
    if (dwDirection != DATADIR_GET) {
        return E_NOTIMPL;
    }
    const FORMATETC format = hdropFormat();
    TEnumFormatEtc* enumerator = TEnumFormatEtc::Create(&format, paths_.empty() ? 0 : 1);
    if (enumerator == nullptr) {
        return E_OUTOFMEMORY;
    }
    enumerator->AddRef();
    *ppenumFormatEtc = enumerator;
    return S_OK;
}

HRESULT TUrlDataObject::DAdvise(FORMATETC* /*pformatetc*/, DWORD /*advf*/,
                                IAdviseSink* /*pAdvSink*/, DWORD* /*pdwConnection*/) noexcept {
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TUrlDataObject::DUnadvise(DWORD /*dwConnection*/) noexcept {
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TUrlDataObject::EnumDAdvise(IEnumSTATDATA** /*ppenumAdvise*/) noexcept {
    return OLE_E_ADVISENOTSUPPORTED;
}

} // namespace quill::ole
