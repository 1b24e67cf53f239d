#pragma once
// The data object the shim hands a drop target for data dragged in from elsewhere: the dragged
// local files as a CF_HDROP list. Nothing can be set on it.

#include "dragdrop/ComObject.h"

#include <QByteArray>
#include <vector>

namespace quill::ole {

class TUrlDataObject final : public ComObject<TUrlDataObject, IDataObject> {
public:
    static const IID& interfaceId() { return IID_IDataObject; }

    // Null when there is no memory. The count is 1. Without files no format is offered.
    static TUrlDataObject* Create(std::vector<QByteArray> paths) {
        return createObject(std::move(paths));
    }

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
    friend class ComObject<TUrlDataObject, IDataObject>;
    explicit TUrlDataObject(std::vector<QByteArray> paths)
        : ComObject(1), paths_(std::move(paths)) {}
    ~TUrlDataObject() = default;

    std::vector<QByteArray> paths_;
};

} // namespace quill::ole
