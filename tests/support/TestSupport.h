#pragma once
// Shared helpers for the tests: answering message boxes and modal dialogs, and fixture paths.

#include "controls/Modal.h"
#include "platform/MessageBox.h"

#include <QColor>
#include <QPalette>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <ostream>
#include <vector>

// Readable texts in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '[' << texts.join(QStringLiteral(", ")).toStdString() << ']';
}

class QApplication;
class QWidget;

namespace quill::test {

// Makes the test program's application object instead of a plain QApplication, when one of its
// files sets it in a namespace-scope initialiser (before main runs).
extern std::unique_ptr<QApplication> (*makeTestApplication)(int& argc, char** argv);

// Records every message box shown while it lives and answers them: with the queued answers in
// order, then with each box's default button.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    void answer(MsgResult result) { answers_.push_back(result); }
    const std::vector<MessageRequest>& shown() const { return shown_; }
    QStringList texts() const;
    void clear() { shown_.clear(); }

private:
    std::vector<MessageRequest> shown_;
    std::deque<MsgResult> answers_;
    MessageHandler previous_;
};

// Answers every modal dialog run while it lives with the given function.
class DialogScript {
public:
    explicit DialogScript(DialogRunner runner);
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;
    int runs() const { return runs_; }

private:
    DialogRunner previous_;
    int runs_ = 0;
};

// A desktop's dark palette: light texts on dark windows, buttons and fields.
QPalette darkPalette();

// The contrast of two colours as screen-reading guidelines measure it: 1 (equal) to 21.
double contrastRatio(QColor a, QColor b);

// A left click (press and release) at pos inside target, with the keys held.
void clickAt(QWidget* target, QPoint pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Folder of the hostile sample pictures kept with the tests (tests/data/hostile).
QString hostileDir();
QString hostileFile(const QString& name);

} // namespace quill::test
