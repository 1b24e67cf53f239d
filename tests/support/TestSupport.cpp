#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QWidget>

namespace quill::test {

MessageRecorder::MessageRecorder() {
    previous_ = setMessageHandler([this](const MessageRequest& request) {
        shown_.push_back(request);
        if (!answers_.empty()) {
            MsgResult result = answers_.front();
            answers_.pop_front();
            return result;
        }
        return request.defaultButton;
    });
}

MessageRecorder::~MessageRecorder() {
    setMessageHandler(std::move(previous_));
}

void clickAt(QWidget* target, QPoint pos, Qt::KeyboardModifiers modifiers) {
    const QPoint global = target->mapToGlobal(pos);
    QMouseEvent press(QEvent::MouseButtonPress, pos, global, Qt::LeftButton, Qt::LeftButton,
                      modifiers);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, global, Qt::LeftButton, Qt::NoButton,
                        modifiers);
    QApplication::sendEvent(target, &release);
}

QStringList MessageRecorder::texts() const {
    QStringList list;
    for (const MessageRequest& request : shown_) {
        list << request.text;
    }
    return list;
}

DialogScript::DialogScript(DialogRunner runner) {
    previous_ = setDialogRunner([this, runner = std::move(runner)](QDialog& dialog) {
        ++runs_;
        return runner(dialog);
    });
}

DialogScript::~DialogScript() {
    setDialogRunner(std::move(previous_));
}

QString hostileDir() {
    return QDir::cleanPath(QStringLiteral(QUILL_HOSTILE_DIR));
}

QString hostileFile(const QString& name) {
    return hostileDir() + QLatin1Char('/') + name;
}

} // namespace quill::test
