// The Qt shim: registration and its references, Qt drag events on a registered window reaching
// the drop target and the window's drop message, and drags out through DoDragDrop and the drag
// routine, with the Qt drag loop replaced by a scripted receiver.

#include "DropWindow.h"
#include "TestSupport.h"

#include "dragdrop/DataObject.h"
#include "dragdrop/DragFile.h"
#include "dragdrop/DropFiles.h"
#include "dragdrop/DropSource.h"
#include "dragdrop/DropTarget.h"
#include "dragdrop/GlobalMemory.h"
#include "dragdrop/OleCallLog.h"
#include "dragdrop/OleShim.h"
#include "dragdrop/WindowMessage.h"

#include "platform/Failure.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using namespace quill::ole;
using quill::test::DropWindow;

namespace {

// OLE is up for each test, and the window's target is registered as the main window does it.
class Shim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(OleInitialize(nullptr), S_OK);
        target = TDropTarget::Create(&window);
        CoLockObjectExternal(target, 1, 1);
        ASSERT_EQ(RegisterDragDrop(&window, target), S_OK);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        blocks = liveGlobalBlocks();
    }
    void TearDown() override {
        RevokeDragDrop(&window);
        target->Release();
        CoLockObjectExternal(target, 0, 1);
        OleUninitialize();
        EXPECT_EQ(liveGlobalBlocks(), blocks);
        EXPECT_EQ(TDataObject::liveObjects(), 0);
        EXPECT_EQ(TDropSource::liveObjects(), 0);
    }

    QString makeFile(const QString& name) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }

    QTemporaryDir dir;
    DropWindow window;
    TDropTarget* target = nullptr;
    int blocks = 0;
};

struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// Qt's delivery of a drag that ends on `widget`: enter, move, drop.
DropResult dragOnto(QWidget* widget, const QMimeData& mime, Qt::DropActions actions) {
    DropResult result;
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &enter);
    result.enterAccepted = enter.isAccepted();
    QDragMoveEvent move(at, actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
    QDropEvent drop(at, actions, &mime, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &drop);
    result.dropAccepted = drop.isAccepted();
    result.action = drop.dropAction();
    return result;
}

// Stands in for Qt's drag loop while it lives.
class ScriptedDrag {
public:
    explicit ScriptedDrag(DragRunner runner) : previous_(setDragRunner(std::move(runner))) {}
    ~ScriptedDrag() { setDragRunner(std::move(previous_)); }
    ScriptedDrag(const ScriptedDrag&) = delete;
    ScriptedDrag& operator=(const ScriptedDrag&) = delete;

private:
    DragRunner previous_;
};

// Starts the drag routine from a mouse press, as the preview does.
class PressToDrag : public QWidget {
public:
    QString path;
    DWORD effect = 0xFF;
    DWORD keysAtPress = 0;

protected:
    void mousePressEvent(QMouseEvent* /*event*/) override {
        keysAtPress = QGuiApplication::mouseButtons() & Qt::LeftButton ? MK_LBUTTON : 0;
        effect = DragFile(path);
    }
};

// A drop source that records what the drag asked it and can be told to cancel.
class RecordingSource final : public ComObject<RecordingSource, IDropSource> {
public:
    static const IID& interfaceId() { return IID_IDropSource; }
    static RecordingSource* make() { return createObject(); }

    std::vector<std::pair<bool, DWORD>> queries;
    std::vector<DWORD> feedback;
    bool cancelOnMove = false;

    HRESULT QueryContinueDrag(BOOL escape, DWORD keys) noexcept override {
        queries.emplace_back(escape != 0, keys);
        if (escape != 0 || (cancelOnMove && queries.size() > 1)) {
            return DRAGDROP_S_CANCEL;
        }
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT GiveFeedback(DWORD effect) noexcept override {
        feedback.push_back(effect);
        return DRAGDROP_S_USEDEFAULTCURSORS;
    }

private:
    friend class ComObject<RecordingSource, IDropSource>;
    RecordingSource() : ComObject(1) {}
    ~RecordingSource() = default;
};

} // namespace

TEST(ShimLifetime, StartUpAndCloseOrderDestroysTheTargetAtTheUnlock) {
    OleCallRecorder recorder;
    QWidget window;
    const int targets = TDropTarget::liveObjects();
    TDropTarget* target = TDropTarget::Create(&window);
    EXPECT_EQ(RegisterDragDrop(&window, target), CO_E_NOTINITIALIZED);
    EXPECT_FALSE(window.acceptDrops());

    EXPECT_EQ(OleInitialize(nullptr), S_OK);
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
    OleUninitialize();
    EXPECT_TRUE(isOleInitialized());
    EXPECT_EQ(CoLockObjectExternal(target, 1, 1), S_OK);
    EXPECT_EQ(RegisterDragDrop(&window, target), S_OK);
    EXPECT_TRUE(window.acceptDrops());
    EXPECT_EQ(registeredDropTarget(&window), target);
    EXPECT_EQ(RegisterDragDrop(&window, target), DRAGDROP_E_ALREADYREGISTERED);
    EXPECT_EQ(RegisterDragDrop(nullptr, target), DRAGDROP_E_INVALIDHWND);
    recorder.clear();

    EXPECT_EQ(RevokeDragDrop(&window), S_OK);
    EXPECT_FALSE(window.acceptDrops());
    EXPECT_EQ(registeredDropTarget(&window), nullptr);
    EXPECT_EQ(target->Release(), 1u); // the window's own reference; the lock still holds one
    EXPECT_EQ(TDropTarget::liveObjects(), targets + 1);
    EXPECT_EQ(CoLockObjectExternal(target, 0, 1), S_OK);
    EXPECT_EQ(TDropTarget::liveObjects(), targets);
    OleUninitialize();
    EXPECT_FALSE(isOleInitialized());
    EXPECT_EQ(recorder.calls(), QStringList({"RevokeDragDrop", "CoLockObjectExternal(unlock)",
                                             "TDropTarget destroyed", "OleUninitialize"}));
    EXPECT_EQ(RevokeDragDrop(&window), DRAGDROP_E_NOTREGISTERED);
    EXPECT_EQ(CoLockObjectExternal(target, 0, 1), E_UNEXPECTED); // no lock left to drop
}

TEST(ShimLifetime, AWindowDestroyedWhileRegisteredGivesItsReferenceBack) {
    OleInitialize(nullptr);
    const int targets = TDropTarget::liveObjects();
    auto window = std::make_unique<QWidget>();
    TDropTarget* target = TDropTarget::Create(window.get());
    ASSERT_EQ(RegisterDragDrop(window.get(), target), S_OK);
    EXPECT_EQ(target->Release(), 1u);
    window.reset();
    EXPECT_EQ(TDropTarget::liveObjects(), targets);
    OleUninitialize();
}

TEST_F(Shim, DroppedFileUrlsReachTheWindowAsADropFilesListFromAnyChildWidget) {
    const QString one = makeFile("bild1.JPG");
    const QString two = makeFile("zwei.png");
    const QString three = makeFile("drei.txt");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(one), QUrl("https://example.org/web.jpg"),
                  QUrl::fromLocalFile(two), QUrl::fromLocalFile(three)});

    const DropResult result =
        dragOnto(window.edit, mime, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
    EXPECT_TRUE(result.enterAccepted);
    EXPECT_TRUE(result.dropAccepted);
    // Copy, never move: the source must keep its file.
    EXPECT_EQ(result.action, Qt::CopyAction);
    EXPECT_EQ(window.messages, 1);
    EXPECT_EQ(window.paths, (std::vector<QByteArray>{QFile::encodeName(one), QFile::encodeName(two),
                                                     QFile::encodeName(three)}));
    // The edit field did not take the drop as text.
    EXPECT_TRUE(window.edit->text().isEmpty());
}

TEST_F(Shim, DataWithoutLocalFilesIsRefusedAndSendsNothing) {
    QMimeData text;
    text.setText(QStringLiteral("nur Text"));
    const DropResult plain = dragOnto(&window, text, Qt::CopyAction);
    EXPECT_FALSE(plain.enterAccepted);
    EXPECT_FALSE(plain.dropAccepted);

    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/web.jpg")});
    EXPECT_FALSE(dragOnto(&window, remote, Qt::CopyAction).dropAccepted);

    // A source that allows only moving is refused too.
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(makeFile("a.jpg"))});
    EXPECT_FALSE(dragOnto(&window, files, Qt::MoveAction).dropAccepted);
    EXPECT_EQ(window.messages, 0);
}

TEST_F(Shim, WindowsNotRegisteredKeepQtsOwnHandling) {
    QWidget other;
    other.setAcceptDrops(true);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(makeFile("a.jpg"))});
    EXPECT_FALSE(dragOnto(&other, files, Qt::CopyAction).dropAccepted);
    // A window of its own inside the registered one (a dialog) is not part of it.
    auto* dialog = new QLineEdit(&window);
    dialog->setWindowFlags(Qt::Dialog);
    EXPECT_FALSE(dragOnto(dialog, files, Qt::CopyAction).dropAccepted);
    EXPECT_EQ(window.messages, 0);
}

TEST_F(Shim, AFailureInTheHandlerIsShownAndTheDropStillEndsCleanly) {
    quill::test::MessageRecorder messages;
    window.failWithInOutError = true;
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(makeFile("a.jpg"))});
    const DropResult result = dragOnto(&window, files, Qt::CopyAction);
    EXPECT_TRUE(result.dropAccepted);
    EXPECT_EQ(window.messages, 1);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, QStringLiteral("E/A-Fehler 5"));
    EXPECT_EQ(messages.shown()[0].icon, quill::MsgIcon::Critical);
    // TearDown checks that the dropped list was freed.
}

TEST_F(Shim, DragRoutineCarriesThePathAsAFileUrlForCopyingOnly) {
    PressToDrag preview;
    preview.path = makeFile("bild1.JPG");
    preview.resize(100, 100);
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));

    QList<QUrl> urls;
    QStringList formats;
    Qt::DropActions offered;
    int runs = 0;
    const ScriptedDrag scripted([&](QDrag& drag, Qt::DropActions allowed) {
        ++runs;
        urls = drag.mimeData()->urls();
        formats = drag.mimeData()->formats();
        offered = allowed;
        // The receiver here is the registered window of this very process.
        return dragOnto(&window, *drag.mimeData(), allowed).action;
    });
    QTest::mousePress(&preview, Qt::LeftButton);
    QTest::mouseRelease(&preview, Qt::LeftButton);

    EXPECT_EQ(preview.keysAtPress, MK_LBUTTON);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(urls, QList<QUrl>{QUrl::fromLocalFile(preview.path)});
    EXPECT_TRUE(formats.contains(QStringLiteral("text/uri-list")));
    EXPECT_EQ(offered, Qt::DropActions(Qt::CopyAction));
    EXPECT_EQ(preview.effect, DROPEFFECT_COPY);
    EXPECT_EQ(window.paths, std::vector<QByteArray>{QFile::encodeName(preview.path)});
}

TEST_F(Shim, EscapeCancelsTheDragWhateverTheReceiverSaysAndFreesTheList) {
    PressToDrag preview;
    preview.path = makeFile("bild1.JPG");
    preview.resize(100, 100);
    preview.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&preview));
    const ScriptedDrag scripted([&](QDrag&, Qt::DropActions) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&preview, &escape);
        return Qt::CopyAction;
    });
    QTest::mousePress(&preview, Qt::LeftButton);
    QTest::mouseRelease(&preview, Qt::LeftButton);
    EXPECT_EQ(preview.effect, DROPEFFECT_NONE);
}

TEST_F(Shim, TheDropSourceIsConsultedAtTheStartDuringTheDragAndForFeedback) {
    HGLOBAL list = makeDropFiles({"/tmp/x.jpg"});
    GlobalBlock owned(list);
    const auto object = ComPtr<IDataObject>::adopt(TDataObject::Create());
    FORMATETC format = hdropFormat();
    STGMEDIUM medium{TYMED_HGLOBAL, list, nullptr};
    object->SetData(&format, &medium, 1);
    const auto source = ComPtr<RecordingSource>::adopt(RecordingSource::make());

    QWidget surface; // only to hold the button down
    surface.resize(50, 50);
    surface.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&surface));
    QTest::mousePress(&surface, Qt::LeftButton);
    DWORD effect = 0xFF;
    HRESULT result = E_FAIL;
    {
        const ScriptedDrag scripted([&](QDrag& drag, Qt::DropActions) {
            emit drag.actionChanged(Qt::CopyAction);
            QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), QPointF(3, 3), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&surface, &move);
            return Qt::CopyAction;
        });
        result = DoDragDrop(object.get(), source.get(), DROPEFFECT_COPY, &effect);
    }
    EXPECT_EQ(result, DRAGDROP_S_DROP);
    EXPECT_EQ(effect, DROPEFFECT_COPY);
    ASSERT_GE(source->queries.size(), 2u);
    EXPECT_EQ(source->queries[0], std::make_pair(false, MK_LBUTTON));
    EXPECT_EQ(source->queries[1], std::make_pair(false, MK_LBUTTON));
    EXPECT_EQ(source->feedback, std::vector<DWORD>{DROPEFFECT_COPY});

    // A source that cancels while the drag moves wins over the receiver.
    source->cancelOnMove = true;
    source->queries.clear();
    {
        const ScriptedDrag scripted([&](QDrag&, Qt::DropActions) {
            QMouseEvent move(QEvent::MouseMove, QPointF(4, 4), QPointF(4, 4), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(&surface, &move);
            return Qt::CopyAction;
        });
        result = DoDragDrop(object.get(), source.get(), DROPEFFECT_COPY, &effect);
    }
    QTest::mouseRelease(&surface, Qt::LeftButton);
    EXPECT_EQ(result, DRAGDROP_S_CANCEL);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
}

TEST_F(Shim, WithoutTheLeftButtonTheDragDropsAtOnceWhereThePointerIs) {
    const QString path = makeFile("bild1.JPG");
    int runs = 0;
    const ScriptedDrag scripted([&](QDrag&, Qt::DropActions) {
        ++runs;
        return Qt::CopyAction;
    });
    QCursor::setPos(window.mapToGlobal(QPoint(150, 150)));
    // On a real display the pointer arrives a little later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::widgetAt(QCursor::pos()) == &window; }));
    EXPECT_EQ(DragFile(path), DROPEFFECT_COPY);
    EXPECT_EQ(window.paths, std::vector<QByteArray>{QFile::encodeName(path)});

    // Nowhere to drop: nothing taken.
    QCursor::setPos(window.mapToGlobal(QPoint(window.width() + 40, window.height() + 40)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::widgetAt(QCursor::pos()) == nullptr; }));
    EXPECT_EQ(DragFile(path), DROPEFFECT_NONE);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(window.messages, 1);
}

TEST_F(Shim, DragOutNeedsOleAndArguments) {
    const auto object = ComPtr<IDataObject>::adopt(TDataObject::Create());
    const auto source = ComPtr<IDropSource>::adopt(TDropSource::Create());
    DWORD effect = 0xFF;
    EXPECT_EQ(DoDragDrop(nullptr, source.get(), DROPEFFECT_COPY, &effect), E_INVALIDARG);
    EXPECT_EQ(DoDragDrop(object.get(), source.get(), DROPEFFECT_COPY, nullptr), E_INVALIDARG);
    OleUninitialize();
    EXPECT_EQ(DoDragDrop(object.get(), source.get(), DROPEFFECT_COPY, &effect),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(effect, DROPEFFECT_NONE);
    OleInitialize(nullptr);
}
