#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>

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
