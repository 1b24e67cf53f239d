#include "platform/Failure.h"

namespace quill {

QString failureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Failure& known) {
        return known.text();
    } catch (const std::exception& other) {
        return QString::fromLocal8Bit(other.what());
    } catch (...) {
    }
    return QStringLiteral("Unbekannter Fehler");
}

} // namespace quill
