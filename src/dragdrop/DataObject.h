#pragma once
// The data object of a drag out. It holds up to five format entries with their storage media;
// a medium's global block is referenced, never copied, and destroying the object does not free
// it. GetData hands every receiver a fresh copy of the file list.

#include "dragdrop/ComObject.h"

#include <array>

namespace quill::ole {

class TDataObject final : public ComObject<TDataObject, IDataObject> {
public:
    static constexpr ULONG kMaxEntries = 5;
    // The smallest copy GetData makes: the header and room for two 260-character paths, plus
    // one. A longer path gets a copy sized for it, so any path the file system allows goes out.
    static constexpr SIZE_T kCopySize = 541;

    static const IID& interfaceId() { return IID_IDataObject; }

    // Null when there is no memory. The count is 1.
    static TDataObject* Create() { return createObject(); }

    HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) noexcept override;
    HRESULT GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) noexcept override;
    HRESULT QueryGetData(FORMATETC* pformatetc) noexcept override;
    HRESULT GetCanonicalFormatEtc(FORMATETC* pformatectIn,
                                  FORMATETC* pformatetcOut) noexcept override;
    HRESULT SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) noexcept override;
    HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) noexcept override;
    HRESULT DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                    DWORD* pdwConnection) noexcept override;
    HRESULT DUnadvise(DWORD dwConnection) noexcept override;
    HRESULT EnumDAdvise(IEnumSTATDATA** ppenumAdvise) noexcept override;

private:
    friend class ComObject<TDataObject, IDataObject>;
    TDataObject() : ComObject(1) {}
    ~TDataObject() = default;

    HRESULT copyFileList(HGLOBAL held, STGMEDIUM* pmedium) const noexcept;

    std::array<FORMATETC, kMaxEntries> formats_{};
    std::array<STGMEDIUM, kMaxEntries> media_{};
    ULONG count_ = 0;
};

} // namespace quill::ole
