#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>

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

QPalette darkPalette() {
    const QColor window(53, 53, 53);
    QPalette palette(Qt::white, window, window.lighter(150), window.darker(150), window.darker(120),
                     Qt::white, Qt::white, QColor(42, 42, 42), window);
    palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    return palette;
}

double contrastRatio(QColor a, QColor b) {
    const auto luminance = [](QColor c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
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
