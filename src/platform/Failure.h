#pragma once
// The program's failures. Each carries the German text the user sees; handlers catch the kinds
// they turn into their own message, the rest reach the top of event dispatch and are shown there.

#include <QString>
#include <exception>
#include <string>

namespace quill {

class Failure : public std::exception {
public:
    explicit Failure(QString text) : text_(std::move(text)), utf8_(text_.toStdString()) {}
    const QString& text() const noexcept { return text_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString text_;
    std::string utf8_;
};

// A file system operation failed: "E/A-Fehler %d" with the error number.
class InOutError : public Failure {
public:
    explicit InOutError(int errorCode)
        : Failure(QStringLiteral("E/A-Fehler %1").arg(errorCode)), errorCode_(errorCode) {}
    int errorCode() const noexcept { return errorCode_; }

private:
    int errorCode_;
};

// The text of a failure that reached a handler's edge: a Failure's own text, else what the
// exception says, else "Unbekannter Fehler".
QString failureText(const std::exception_ptr& failure);

} // namespace quill
