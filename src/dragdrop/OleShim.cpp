#include "dragdrop/OleShim.h"

#include "dragdrop/GlobalMemory.h"
#include "dragdrop/OleCallLog.h"
#include "dragdrop/OleMimeData.h"
#include "dragdrop/ShimSupport.h"
#include "dragdrop/UrlDataObject.h"

#include "platform/Failure.h"
#include "platform/GuardedSlot.h"
#include "platform/MessageBox.h"

#include "dragdrop/DropFiles.h"
#include <QApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <map>
#include <unordered_map>

namespace quill::ole {

namespace {

struct Registration {
    QPointer<QWidget> window;
    ComPtr<IDropTarget> target;
    bool acceptedDrops = false;
    QMetaObject::Connection destroyed;
};

// Feeds Qt's drag events for every widget inside a registered window to that window's target.
class DropRouter : public QObject {
public:
    explicit DropRouter(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

struct ShimState {
    int initializations = 0;
    std::unordered_map<IUnknown*, int> locks;
    std::map<QWidget*, Registration> registrations;
    QPointer<DropRouter> router;
    int dropsInDelivery = 0;
};

ShimState& state() {
    static ShimState instance;
    return instance;
}

void forget(QWidget* window, bool windowAlive) {
    auto& registrations = state().registrations;
    const auto it = registrations.find(window);
    if (it == registrations.end()) {
        return;
    }
    // Move the reference out first: releasing may run code that registers again.
    Registration gone = std::move(it->second);
    registrations.erase(it);
    QObject::disconnect(gone.destroyed);
    if (windowAlive && gone.window) {
        gone.window->setAcceptDrops(gone.acceptedDrops);
    }
}

POINTL pointOf(QWidget* widget, const QPointF& position) {
    const QPoint global = widget->mapToGlobal(position.toPoint());
    return POINTL{global.x(), global.y()};
}

// Tells Qt what the target answered: the action for its effect, or a refusal.
void answer(QDropEvent* event, DWORD effect) {
    const Qt::DropAction action =
        detail::actionOf(effect & detail::effectsOf(event->possibleActions()));
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void route(QWidget* widget, QEvent* event, IDropTarget* target) {
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        const ComPtr<IDataObject> data = detail::dataObjectFor(enter->mimeData());
        DWORD effect = detail::effectsOf(enter->possibleActions());
        target->DragEnter(data.get(), detail::keyState(enter->buttons(), enter->modifiers()),
                          pointOf(widget, enter->position()), &effect);
        answer(enter, effect);
        break;
    }
    case QEvent::DragMove: {
        auto* move = static_cast<QDragMoveEvent*>(event);
        DWORD effect = detail::effectsOf(move->possibleActions());
        target->DragOver(detail::keyState(move->buttons(), move->modifiers()),
                         pointOf(widget, move->position()), &effect);
        answer(move, effect);
        break;
    }
    case QEvent::DragLeave:
        target->DragLeave();
        event->accept();
        break;
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const ComPtr<IDataObject> data = detail::dataObjectFor(drop->mimeData());
        DWORD effect = detail::effectsOf(drop->possibleActions());
        ++state().dropsInDelivery;
        struct Done {
            ~Done() { --state().dropsInDelivery; }
        } done;
        target->Drop(data.get(), detail::keyState(drop->buttons(), drop->modifiers()),
                     pointOf(widget, drop->position()), &effect);
        answer(drop, effect);
        break;
    }
    default:
        break;
    }
}

bool DropRouter::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        break;
    default:
        return false;
    }
    if (!watched->isWidgetType()) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    const detail::Registered registered = detail::registeredFor(widget);
    if (!registered.target) {
        return false;
    }
    // Nothing may unwind into Qt's event delivery.
    if (!runGuarded([&] { route(widget, event, registered.target.get()); })) {
        event->ignore();
    }
    return true;
}

} // namespace

HRESULT OleInitialize(void* /*pvReserved*/) {
    const HRESULT result = state().initializations++ == 0 ? S_OK : S_FALSE;
    reportOleCall(QStringLiteral("OleInitialize"));
    return result;
}

void OleUninitialize() {
    if (state().initializations > 0) {
        --state().initializations;
    }
    reportOleCall(QStringLiteral("OleUninitialize"));
}

bool isOleInitialized() {
    return state().initializations > 0;
}

HRESULT CoLockObjectExternal(IUnknown* pUnk, BOOL fLock, BOOL /*fLastUnlockReleases*/) {
    reportOleCall(fLock != 0 ? QStringLiteral("CoLockObjectExternal(lock)")
                             : QStringLiteral("CoLockObjectExternal(unlock)"));
    if (pUnk == nullptr) {
        return E_INVALIDARG;
    }
    auto& locks = state().locks;
    if (fLock != 0) {
        ++locks[pUnk];
        pUnk->AddRef();
        return S_OK;
    }
    const auto it = locks.find(pUnk);
    if (it == locks.end()) {
        return E_UNEXPECTED;
    }
    if (--it->second == 0) {
        locks.erase(it);
    }
    pUnk->Release();
    return S_OK;
}

HRESULT RegisterDragDrop(HWND hwnd, IDropTarget* pDropTarget) {
    reportOleCall(QStringLiteral("RegisterDragDrop"));
    if (!isOleInitialized()) {
        return CO_E_NOTINITIALIZED;
    }
    if (hwnd == nullptr) {
        return DRAGDROP_E_INVALIDHWND;
    }
    if (pDropTarget == nullptr) {
        return E_INVALIDARG;
    }
    ShimState& shim = state();
    if (shim.registrations.count(hwnd) != 0) {
        return DRAGDROP_E_ALREADYREGISTERED;
    }
    auto* application = QCoreApplication::instance();
    if (application == nullptr) {
        return E_UNEXPECTED;
    }
    if (!shim.router) {
        shim.router = new DropRouter(application);
        application->installEventFilter(shim.router);
    }
    Registration registration;
    registration.window = hwnd;
    registration.target = ComPtr<IDropTarget>::share(pDropTarget);
    registration.acceptedDrops = hwnd->acceptDrops();
    // A window destroyed without being revoked gives its reference back.
    registration.destroyed = connectGuarded(hwnd, &QObject::destroyed, shim.router.data(),
                                            [hwnd] { forget(hwnd, false); });
    shim.registrations.emplace(hwnd, std::move(registration));
    hwnd->setAcceptDrops(true);
    return S_OK;
}

HRESULT RevokeDragDrop(HWND hwnd) {
    reportOleCall(QStringLiteral("RevokeDragDrop"));
    if (hwnd == nullptr) {
        return DRAGDROP_E_INVALIDHWND;
    }
    if (state().registrations.count(hwnd) == 0) {
        return DRAGDROP_E_NOTREGISTERED;
    }
    forget(hwnd, true);
    return S_OK;
}

IDropTarget* registeredDropTarget(HWND hwnd) {
    const auto& registrations = state().registrations;
    const auto it = registrations.find(hwnd);
    return it == registrations.end() ? nullptr : it->second.target.get();
}

void ReleaseStgMedium(STGMEDIUM* pmedium) {
    if (pmedium == nullptr) {
        return;
    }
    if (pmedium->pUnkForRelease != nullptr) {
        pmedium->pUnkForRelease->Release();
    } else if (pmedium->tymed == TYMED_HGLOBAL && pmedium->hGlobal != nullptr) {
        GlobalFree(pmedium->hGlobal);
    }
    *pmedium = STGMEDIUM{};
}

namespace detail {

DWORD keyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    DWORD keys = 0;
    if (buttons & Qt::LeftButton) {
        keys |= MK_LBUTTON;
    }
    if (buttons & Qt::RightButton) {
        keys |= MK_RBUTTON;
    }
    if (buttons & Qt::MiddleButton) {
        keys |= MK_MBUTTON;
    }
    if (modifiers & Qt::ShiftModifier) {
        keys |= MK_SHIFT;
    }
    if (modifiers & Qt::ControlModifier) {
        keys |= MK_CONTROL;
    }
    if (modifiers & Qt::AltModifier) {
        keys |= MK_ALT;
    }
    return keys;
}

DWORD currentKeyState() {
    return keyState(QGuiApplication::mouseButtons(), QGuiApplication::queryKeyboardModifiers());
}

DWORD effectsOf(Qt::DropActions actions) {
    DWORD effects = DROPEFFECT_NONE;
    if (actions & Qt::CopyAction) {
        effects |= DROPEFFECT_COPY;
    }
    if (actions & Qt::MoveAction) {
        effects |= DROPEFFECT_MOVE;
    }
    if (actions & Qt::LinkAction) {
        effects |= DROPEFFECT_LINK;
    }
    return effects;
}

Qt::DropActions actionsOf(DWORD effects) {
    Qt::DropActions actions;
    if (effects & DROPEFFECT_COPY) {
        actions |= Qt::CopyAction;
    }
    if (effects & DROPEFFECT_MOVE) {
        actions |= Qt::MoveAction;
    }
    if (effects & DROPEFFECT_LINK) {
        actions |= Qt::LinkAction;
    }
    return actions;
}

Qt::DropAction actionOf(DWORD effect) {
    if (effect & DROPEFFECT_COPY) {
        return Qt::CopyAction;
    }
    if (effect & DROPEFFECT_LINK) {
        return Qt::LinkAction;
    }
    if (effect & DROPEFFECT_MOVE) {
        return Qt::MoveAction;
    }
    return Qt::IgnoreAction;
}

Registered registeredFor(QWidget* widget) {
    const auto& registrations = state().registrations;
    // Like the platform's search from the window under the pointer up through its parents,
    // without crossing into the window that owns a dialog.
    for (QWidget* at = widget; at != nullptr; at = at->isWindow() ? nullptr : at->parentWidget()) {
        const auto it = registrations.find(at);
        if (it != registrations.end()) {
            return Registered{at, it->second.target};
        }
    }
    return {};
}

std::vector<QByteArray> localFiles(const QList<QUrl>& urls) {
    std::vector<QByteArray> paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) {
            paths.push_back(localPathOf(url));
        }
    }
    return paths;
}

ComPtr<IDataObject> dataObjectFor(const QMimeData* mime) {
    if (const auto* own = dynamic_cast<const OleMimeData*>(mime)) {
        if (own->dataObject() != nullptr) {
            return ComPtr<IDataObject>::share(own->dataObject());
        }
    }
    std::vector<QByteArray> paths;
    if (mime != nullptr && mime->hasUrls()) {
        paths = localFiles(mime->urls());
    }
    return ComPtr<IDataObject>::adopt(TUrlDataObject::Create(std::move(paths)));
}

bool deliveringDrop() {
    return state().dropsInDelivery > 0;
}

} // namespace detail

} // namespace quill::ole
