#include "dragdrop/DropFiles.h"
#include "dragdrop/GlobalMemory.h"
#include "dragdrop/OleCallLog.h"
#include "dragdrop/OleMimeData.h"
#include "dragdrop/OleShim.h"
#include "dragdrop/ShimSupport.h"
#include "platform/GuardedSlot.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace quill::ole {

namespace {

DragRunner& runner() {
    static DragRunner instance;
    return instance;
}

Qt::DropAction runDefault(QDrag& drag, Qt::DropActions allowed) {
    Qt::DropAction preferred = Qt::CopyAction;
    if (!(allowed & Qt::CopyAction)) {
        preferred = (allowed & Qt::LinkAction) ? Qt::LinkAction : Qt::MoveAction;
    }
    return drag.exec(allowed, preferred);
}

// Asks the drop source, while Qt's drag loop runs, whether to go on: on every key and button
// change and every movement. Qt cancels on Escape by itself; a cancel the source asks for at any
// other moment is passed on, and whatever the receiver did then, the drag counts as cancelled.
class DragSession : public QObject {
public:
    explicit DragSession(IDropSource* source) : source_(source) {
        auto* application = QCoreApplication::instance();
        application->installEventFilter(this);
        // Qt installs its own drag filter once the loop starts; coming again then puts this
        // one in front of it.
        QTimer::singleShot(0, this, [this] {
            if (auto* app = QCoreApplication::instance()) {
                app->installEventFilter(this);
            }
        });
    }
    DragSession(const DragSession&) = delete;
    DragSession& operator=(const DragSession&) = delete;
    ~DragSession() override {
        if (auto* application = QCoreApplication::instance()) {
            application->removeEventFilter(this);
        }
    }

    bool cancelled() const { return cancelled_; }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        // Once the drop is delivered, input belongs to whatever the receiver shows.
        if (cancelled_ || detail::deliveringDrop()) {
            return false;
        }
        bool escape = false;
        DWORD keys = 0;
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const auto* key = static_cast<QKeyEvent*>(event);
            escape = event->type() == QEvent::KeyPress && key->key() == Qt::Key_Escape;
            keys = detail::keyState(QGuiApplication::mouseButtons(), key->modifiers());
            break;
        }
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            keys = detail::keyState(mouse->buttons(), mouse->modifiers());
            break;
        }
        default:
            return false;
        }
        // A failure of the source ends the event's delivery here, as it would at the top of
        // event dispatch.
        return !runGuarded([&] {
            if (source_->QueryContinueDrag(escape ? 1 : 0, keys) == DRAGDROP_S_CANCEL) {
                cancelled_ = true;
                if (!escape) {
                    QDrag::cancel();
                }
            }
        });
    }

private:
    IDropSource* source_;
    bool cancelled_ = false;
};

// The drag ends where it starts: the data goes to the registered window under the pointer.
DWORD dropAtPointer(IDataObject* data, DWORD allowed, DWORD keys) {
    const QPoint global = QCursor::pos();
    const detail::Registered registered = detail::registeredFor(QApplication::widgetAt(global));
    if (!registered.target) {
        return DROPEFFECT_NONE;
    }
    const POINTL point{global.x(), global.y()};
    DWORD effect = allowed;
    registered.target->DragEnter(data, keys, point, &effect);
    if ((effect & allowed) == DROPEFFECT_NONE) {
        registered.target->DragLeave();
        return DROPEFFECT_NONE;
    }
    effect = allowed;
    if (FAILED(registered.target->Drop(data, keys, point, &effect))) {
        return DROPEFFECT_NONE;
    }
    return effect & allowed;
}

QList<QUrl> fileUrlsOf(IDataObject* data) {
    QList<QUrl> urls;
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{};
    if (data->GetData(&format, &medium) != S_OK) {
        return urls;
    }
    {
        const GlobalLockGuard files(medium.tymed == TYMED_HGLOBAL ? medium.hGlobal : nullptr);
        if (files.data() != nullptr) {
            for (const QByteArray& path : dropFilesPaths(files.data())) {
                urls.append(fileUrl(path));
            }
        }
    }
    ReleaseStgMedium(&medium);
    return urls;
}

// The drag needs an object to start from; the widget under the pointer is the one pressed.
QObject* dragOrigin() {
    if (QWidget* widget = QApplication::widgetAt(QCursor::pos())) {
        return widget;
    }
    if (QWidget* active = QApplication::activeWindow()) {
        return active;
    }
    return QCoreApplication::instance();
}

} // namespace

DragRunner setDragRunner(DragRunner newRunner) {
    return std::exchange(runner(), std::move(newRunner));
}

HRESULT DoDragDrop(IDataObject* pDataObj, IDropSource* pDropSource, DWORD dwOKEffects,
                   DWORD* pdwEffect) {
    reportOleCall(QStringLiteral("DoDragDrop"));
    if (pDataObj == nullptr || pDropSource == nullptr || pdwEffect == nullptr) {
        return E_INVALIDARG;
    }
    *pdwEffect = DROPEFFECT_NONE;
    if (!isOleInitialized() || QCoreApplication::instance() == nullptr) {
        return CO_E_NOTINITIALIZED;
    }
    // The drag keeps both alive, whatever the receivers do with their references.
    const auto data = ComPtr<IDataObject>::share(pDataObj);
    const auto source = ComPtr<IDropSource>::share(pDropSource);

    const HRESULT first = source->QueryContinueDrag(0, detail::currentKeyState());
    if (first == DRAGDROP_S_CANCEL) {
        return DRAGDROP_S_CANCEL;
    }
    if (first == DRAGDROP_S_DROP) {
        *pdwEffect = dropAtPointer(data.get(), dwOKEffects, detail::currentKeyState());
        return DRAGDROP_S_DROP;
    }

    const Qt::DropActions allowed = detail::actionsOf(dwOKEffects);
    // QDrag belongs to its origin and is deleted by Qt after the drag.
    QPointer<QDrag> drag = new QDrag(dragOrigin());
    QPointer<detail::OleMimeData> mime = new detail::OleMimeData(data.get());
    mime->setUrls(fileUrlsOf(data.get()));
    drag->setMimeData(mime);
    IDropSource* feedbackTo = source.get();
    const QMetaObject::Connection feedback = connectGuarded(
        drag.data(), &QDrag::actionChanged, drag.data(), [feedbackTo](Qt::DropAction action) {
            feedbackTo->GiveFeedback(detail::effectsOf(action));
        });

    Qt::DropAction action = Qt::IgnoreAction;
    bool cancelled = false;
    {
        DragSession session(source.get());
        action = runner() ? runner()(*drag, allowed) : runDefault(*drag, allowed);
        cancelled = session.cancelled();
    }
    QObject::disconnect(feedback);
    if (mime) {
        mime->releaseDataObject();
    }
    if (cancelled || action == Qt::IgnoreAction) {
        return DRAGDROP_S_CANCEL;
    }
    *pdwEffect = detail::effectsOf(action) & dwOKEffects;
    return DRAGDROP_S_DROP;
}

} // namespace quill::ole
