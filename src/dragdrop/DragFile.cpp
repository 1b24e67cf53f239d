#include "dragdrop/DragFile.h"

#include "dragdrop/DataObject.h"
#include "dragdrop/DropFiles.h"
#include "dragdrop/DropSource.h"
#include "dragdrop/GlobalMemory.h"
#include "dragdrop/OleShim.h"

#include <cstring>

namespace quill::ole {

DWORD DragFile(const QString& path) {
    const QByteArray bytes = localPath(path);
    // The header, the path, its NUL and the list's NUL; the zero fill supplies both.
    GlobalBlock files(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE,
                                  sizeof(DROPFILES) + static_cast<SIZE_T>(bytes.size()) + 2));
    if (!files) {
        return DROPEFFECT_NONE;
    }
    {
        const GlobalLockGuard lock(files.get());
        if (lock.data() == nullptr) {
            return DROPEFFECT_NONE;
        }
        auto* out = static_cast<char*>(lock.data());
        const DROPFILES header{sizeof(DROPFILES), {0, 0}, 0, 0};
        std::memcpy(out, &header, sizeof header);
        std::memcpy(out + sizeof(DROPFILES), bytes.constData(), static_cast<SIZE_T>(bytes.size()));
    }
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{TYMED_HGLOBAL, files.get(), nullptr};

    const auto source = ComPtr<IDropSource>::adopt(TDropSource::Create());
    const auto object = ComPtr<IDataObject>::adopt(TDataObject::Create());
    if (!source || !object) {
        return DROPEFFECT_NONE;
    }
    ComPtr<IDataObject> data;
    if (object->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(data.put())) != S_OK) {
        return DROPEFFECT_NONE;
    }
    data->SetData(&format, &medium, 1);

    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data.get(), source.get(), DROPEFFECT_COPY, &effect);
    // Receivers only ever got copies, so the list goes with the drag whatever became of it; the
    // data object refuses a freed block should a receiver still hold it.
    return effect;
}

} // namespace quill::ole
