#pragma once
// The OLE vocabulary the drag-and-drop objects speak: plain integer types, result codes, flags,
// interface ids, the FORMATETC/STGMEDIUM/DROPFILES records and the five interfaces. Values and
// layouts are the platform's own, so the objects read like their Windows counterparts; nothing
// here comes from a Windows header.

#include <cstddef>
#include <cstdint>
#include <cstring>

class QWidget;

namespace quill::ole {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using SIZE_T = std::size_t;
using CLIPFORMAT = std::uint16_t;
using HRESULT = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// A window is the widget that stands for it.
using HWND = QWidget*;

// Global memory handles are opaque; see GlobalMemory.h.
struct GlobalHandle;
using HGLOBAL = GlobalHandle*;

// What DragQueryFileA reads: the address of a locked DROPFILES block.
using HDROP = const void*;

constexpr HRESULT hresult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hresult(0x80004001);
constexpr HRESULT E_NOINTERFACE = hresult(0x80004002);
constexpr HRESULT E_POINTER = hresult(0x80004003);
constexpr HRESULT E_FAIL = hresult(0x80004005);
constexpr HRESULT E_UNEXPECTED = hresult(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = hresult(0x8007000E);
constexpr HRESULT E_INVALIDARG = hresult(0x80070057);
constexpr HRESULT STG_E_MEDIUMFULL = hresult(0x80030070);
constexpr HRESULT OLE_S_USEREG = hresult(0x00040000);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = hresult(0x80040003);
constexpr HRESULT DV_E_FORMATETC = hresult(0x80040064);
constexpr HRESULT DV_E_TYMED = hresult(0x80040069);
constexpr HRESULT DV_E_DVASPECT = hresult(0x8004006B);
constexpr HRESULT DATA_S_SAMEFORMATETC = hresult(0x00040130);
constexpr HRESULT DRAGDROP_S_DROP = hresult(0x00040100);
constexpr HRESULT DRAGDROP_S_CANCEL = hresult(0x00040101);
constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = hresult(0x00040102);
constexpr HRESULT DRAGDROP_E_NOTREGISTERED = hresult(0x80040100);
constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = hresult(0x80040101);
constexpr HRESULT DRAGDROP_E_INVALIDHWND = hresult(0x80040102);
constexpr HRESULT CO_E_NOTINITIALIZED = hresult(0x800401F0);

constexpr CLIPFORMAT CF_HDROP = 15;

constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD DVASPECT_THUMBNAIL = 2;
constexpr DWORD DVASPECT_ICON = 4;
constexpr DWORD DVASPECT_DOCPRINT = 8;

constexpr DWORD TYMED_NULL = 0;
constexpr DWORD TYMED_HGLOBAL = 1;
constexpr DWORD TYMED_FILE = 2;
constexpr DWORD TYMED_ISTREAM = 4;
constexpr DWORD TYMED_ISTORAGE = 8;
constexpr DWORD TYMED_GDI = 16;

constexpr DWORD DATADIR_GET = 1;
constexpr DWORD DATADIR_SET = 2;

constexpr DWORD DROPEFFECT_NONE = 0;
constexpr DWORD DROPEFFECT_COPY = 1;
constexpr DWORD DROPEFFECT_MOVE = 2;
constexpr DWORD DROPEFFECT_LINK = 4;

// Key state bits passed to the drop source and the drop targets.
constexpr DWORD MK_LBUTTON = 0x0001;
constexpr DWORD MK_RBUTTON = 0x0002;
constexpr DWORD MK_SHIFT = 0x0004;
constexpr DWORD MK_CONTROL = 0x0008;
constexpr DWORD MK_MBUTTON = 0x0010;
constexpr DWORD MK_ALT = 0x0020;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_SHARE = 0x2000;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

constexpr UINT WM_USER = 0x0400;
// The private message with which the drop target hands a dropped file list to its window.
constexpr UINT WM_FILESDROPPED = WM_USER + 1;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);
using IID = GUID;
using REFIID = const IID&;

// Interface ids are compared as 16-byte values, never field by field.
inline bool IsEqualGUID(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IEnumFORMATETC{0x00000103, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDataObject{0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDropSource{0x00000121, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IDropTarget{0x00000122, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct POINTL {
    LONG x;
    LONG y;
};

struct DVTARGETDEVICE;

struct FORMATETC {
    CLIPFORMAT cfFormat;
    DVTARGETDEVICE* ptd;
    DWORD dwAspect;
    LONG lindex;
    DWORD tymed;
};

struct IUnknown;

struct STGMEDIUM {
    DWORD tymed;
    HGLOBAL hGlobal;
    IUnknown* pUnkForRelease;
};

// The header of a CF_HDROP block; the NUL-terminated paths follow at offset pFiles, and an empty
// string ends the list.
struct DROPFILES {
    DWORD pFiles;
    POINTL pt;
    BOOL fNC;
    BOOL fWide;
};
static_assert(sizeof(DROPFILES) == 20, "the header is 20 bytes on every platform");

// The one format the program exchanges: a file list in global memory.
constexpr FORMATETC hdropFormat() {
    return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

struct IAdviseSink;
struct IEnumSTATDATA;
struct IEnumFORMATETC;
struct IDataObject;

// The interfaces list their operations in the order of their tables. Nobody deletes through an
// interface: an object goes away only through its own Release.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) noexcept = 0;
    virtual ULONG AddRef() noexcept = 0;
    virtual ULONG Release() noexcept = 0;

protected:
    ~IUnknown() = default;
};

struct IDropTarget : IUnknown {
    virtual HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                              DWORD* pdwEffect) noexcept = 0;
    virtual HRESULT DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) noexcept = 0;
    virtual HRESULT DragLeave() noexcept = 0;
    virtual HRESULT Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                         DWORD* pdwEffect) noexcept = 0;

protected:
    ~IDropTarget() = default;
};

struct IDropSource : IUnknown {
    virtual HRESULT QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) noexcept = 0;
    virtual HRESULT GiveFeedback(DWORD dwEffect) noexcept = 0;

protected:
    ~IDropSource() = default;
};

struct IDataObject : IUnknown {
    virtual HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) noexcept = 0;
    virtual HRESULT GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) noexcept = 0;
    virtual HRESULT QueryGetData(FORMATETC* pformatetc) noexcept = 0;
    virtual HRESULT GetCanonicalFormatEtc(FORMATETC* pformatectIn,
                                          FORMATETC* pformatetcOut) noexcept = 0;
    virtual HRESULT SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) noexcept = 0;
    virtual HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) noexcept = 0;
    virtual HRESULT DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                            DWORD* pdwConnection) noexcept = 0;
    virtual HRESULT DUnadvise(DWORD dwConnection) noexcept = 0;
    virtual HRESULT EnumDAdvise(IEnumSTATDATA** ppenumAdvise) noexcept = 0;

protected:
    ~IDataObject() = default;
};

struct IEnumFORMATETC : IUnknown {
    virtual HRESULT Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) noexcept = 0;
    virtual HRESULT Skip(ULONG celt) noexcept = 0;
    virtual HRESULT Reset() noexcept = 0;
    virtual HRESULT Clone(IEnumFORMATETC** ppenum) noexcept = 0;

protected:
    ~IEnumFORMATETC() = default;
};

} // namespace quill::ole
