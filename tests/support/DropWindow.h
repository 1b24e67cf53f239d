#pragma once
// A window that receives the drop message the way the main window does and records it: every
// path, how many messages came, the size of the block and lParam. Like the folder list it may
// fail while handling the message; its line edit is where Qt's own text drops would land. Header
// only; whoever includes it links the dragdrop library.

#include "dragdrop/DropFiles.h"
#include "dragdrop/GlobalMemory.h"
#include "dragdrop/OleTypes.h"
#include "dragdrop/WindowMessage.h"
#include "platform/Failure.h"

#include <QByteArray>
#include <QEvent>
#include <QLineEdit>
#include <QWidget>

#include <optional>
#include <vector>

namespace quill::test {

class DropWindow : public QWidget {
public:
    DropWindow() {
        resize(300, 200);
        edit = new QLineEdit(this);
        edit->setGeometry(10, 10, 200, 24);
    }

    QLineEdit* edit;
    std::vector<QByteArray> paths;
    int messages = 0;
    std::optional<ole::SIZE_T> lockedBytes;
    ole::LPARAM lParam = -1;
    bool failWithInOutError = false;

protected:
    bool event(QEvent* event) override {
        using namespace ole;
        if (event->type() != WindowMessageEvent::eventType()) {
            return QWidget::event(event);
        }
        auto* message = static_cast<WindowMessageEvent*>(event);
        if (message->message() != WM_FILESDROPPED) {
            return false;
        }
        ++messages;
        const auto drop = reinterpret_cast<HDROP>(message->wParam());
        lockedBytes = globalBytesFrom(drop);
        lParam = message->lParam();
        const UINT count = DragQueryFileA(drop, kDragQueryCount, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            std::vector<char> path(DragQueryFileA(drop, i, nullptr, 0) + 1);
            DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size()));
            paths.emplace_back(path.data());
        }
        if (failWithInOutError) {
            throw InOutError(5);
        }
        message->setResult(0);
        return true;
    }
};

} // namespace quill::test
