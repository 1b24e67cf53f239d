#pragma once
// The format enumerator a data object hands out: its own copy of the format entries and a
// position. It starts with no reference; whoever creates it adds the first.

#include "dragdrop/ComObject.h"

#include <vector>

namespace quill::ole {

class TEnumFormatEtc final : public ComObject<TEnumFormatEtc, IEnumFORMATETC> {
public:
    static const IID& interfaceId() { return IID_IEnumFORMATETC; }

    // Null when there is no memory. The count is 0.
    static TEnumFormatEtc* Create(const FORMATETC* formats, ULONG count, ULONG position = 0);

    HRESULT Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) noexcept override;
    HRESULT Skip(ULONG celt) noexcept override;
    HRESULT Reset() noexcept override;
    HRESULT Clone(IEnumFORMATETC** ppenum) noexcept override;

private:
    friend class ComObject<TEnumFormatEtc, IEnumFORMATETC>;
    TEnumFormatEtc(std::vector<FORMATETC> formats, ULONG position);
    ~TEnumFormatEtc() = default;

    std::vector<FORMATETC> formats_;
    ULONG position_;
};

} // namespace quill::ole
