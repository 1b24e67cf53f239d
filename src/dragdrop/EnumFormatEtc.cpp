#include "dragdrop/EnumFormatEtc.h"

namespace quill::ole {

TEnumFormatEtc::TEnumFormatEtc(std::vector<FORMATETC> formats, ULONG position)
    : ComObject(0), formats_(std::move(formats)), position_(position) {}

TEnumFormatEtc* TEnumFormatEtc::Create(const FORMATETC* formats, ULONG count, ULONG position) {
    try {
        std::vector<FORMATETC> copy;
        if (formats != nullptr) {
            copy.assign(formats, formats + count);
        }
        return createObject(std::move(copy), position);
    } catch (const std::exception&) {
        return nullptr;
    }
}

HRESULT TEnumFormatEtc::Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) noexcept {
    const auto count = static_cast<ULONG>(formats_.size());
    // The fetched count is never left undefined, whatever the answer.
    if (pceltFetched != nullptr) {
        *pceltFetched = 0;
    }
    if (celt == 0 || rgelt == nullptr || position_ >= count) {
        return S_FALSE;
    }
    if (pceltFetched == nullptr && celt > 1) {
        return S_FALSE;
    }
    ULONG copied = 0;
    while (copied < celt && position_ < count) {
        rgelt[copied++] = formats_[position_++];
    }
    if (pceltFetched != nullptr) {
        *pceltFetched = copied;
    }
    return S_OK;
}

HRESULT TEnumFormatEtc::Skip(ULONG celt) noexcept {
    // Landing exactly on the end counts as running out.
    if (std::uint64_t{position_} + celt >= formats_.size()) {
        return S_FALSE;
    }
    position_ += celt;
    return S_OK;
}

HRESULT TEnumFormatEtc::Reset() noexcept {
    position_ = 0;
    return S_OK;
}

HRESULT TEnumFormatEtc::Clone(IEnumFORMATETC** ppenum) noexcept {
    if (ppenum == nullptr) {
        return S_FALSE;
    }
    TEnumFormatEtc* clone = Create(formats_.data(), static_cast<ULONG>(formats_.size()), position_);
    if (clone == nullptr) {
        *ppenum = nullptr;
        return E_OUTOFMEMORY;
    }
    clone->AddRef();
    *ppenum = clone;
    return S_OK;
}

} // namespace quill::ole
