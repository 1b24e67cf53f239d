#pragma once
// Failures of the file lists: a name that names nothing usable, and an entry index outside a list.

#include "platform/Failure.h"

namespace quill {

// "Ungültiger Dateiname - %s" with the whole text that was given.
class InvalidFileName : public Failure {
public:
    explicit InvalidFileName(const QString& text)
        : Failure(QStringLiteral("Ungültiger Dateiname - %1").arg(text)) {}
};

// "Der Index der Liste überschreitet das Maximum (%d)" with the offending index.
class ListIndexError : public Failure {
public:
    explicit ListIndexError(int index)
        : Failure(QStringLiteral("Der Index der Liste überschreitet das Maximum (%1)").arg(index)),
          index_(index) {}
    int index() const noexcept { return index_; }

private:
    int index_;
};

} // namespace quill
