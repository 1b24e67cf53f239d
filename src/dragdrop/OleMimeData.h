#pragma once
// The Qt data of a drag started by DoDragDrop. Besides the file URLs it keeps the data object, so
// a drop onto a registered window of this process reaches the drag's own data object.

#include "dragdrop/ComObject.h"

#include <QMimeData>

namespace quill::ole::detail {

class OleMimeData : public QMimeData {
public:
    explicit OleMimeData(IDataObject* data) : data_(ComPtr<IDataObject>::share(data)) {}

    // Null once the drag is over.
    IDataObject* dataObject() const { return data_.get(); }
    // Qt may keep the drag's data a little longer than the drag; the object must not wait.
    void releaseDataObject() { data_.reset(); }

private:
    ComPtr<IDataObject> data_;
};

} // namespace quill::ole::detail
