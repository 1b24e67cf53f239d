#pragma once
// The shim reports each of its OLE calls here by name, so the order of start-up and close can be
// checked. Nothing is recorded unless a hook is installed.

#include <QString>
#include <QStringList>
#include <functional>

namespace quill::ole {

using OleCallHook = std::function<void(const QString& call)>;

// Replaces the hook; returns the previous one so a scope can put it back.
OleCallHook setOleCallHook(OleCallHook hook);

// Names reported: "OleInitialize", "CoLockObjectExternal(lock)", "CoLockObjectExternal(unlock)",
// "RegisterDragDrop", "RevokeDragDrop", "OleUninitialize", "DoDragDrop", "ReleaseStgMedium" and
// "TDropTarget destroyed".
void reportOleCall(const QString& call);

// Records every reported call while it lives.
class OleCallRecorder {
public:
    OleCallRecorder();
    ~OleCallRecorder();
    OleCallRecorder(const OleCallRecorder&) = delete;
    OleCallRecorder& operator=(const OleCallRecorder&) = delete;

    const QStringList& calls() const { return calls_; }
    void clear() { calls_.clear(); }

private:
    QStringList calls_;
    OleCallHook previous_;
};

} // namespace quill::ole
