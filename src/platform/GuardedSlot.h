#pragma once
// Handlers of toolkit signals run inside the one guard (runGuarded), so that no failure unwinds
// through the toolkit's signal delivery. Where the toolkit raised the signal (a click, a timer, a
// key), a handler's failure is shown at the handler. Where program code raised it through
// emitRelayed (a list told to change its folder), the first failure of its handlers is raised
// again in that code once the signal has been delivered, as a direct call's failure would be.

#include "platform/MessageBox.h"

#include <QObject>
#include <concepts>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace quill {

namespace guard_detail {

// Makes relay the place where the handlers of the signal being delivered leave their failure
// (null: shown at the handler); returns the one it replaces.
std::exception_ptr* exchangeRelay(std::exception_ptr* relay) noexcept;

class RelayScope {
public:
    explicit RelayScope(std::exception_ptr* relay) noexcept : outer_(exchangeRelay(relay)) {}
    ~RelayScope() { exchangeRelay(outer_); }
    RelayScope(const RelayScope&) = delete;
    RelayScope& operator=(const RelayScope&) = delete;

private:
    std::exception_ptr* outer_;
};

} // namespace guard_detail

// Runs one handler of a signal. Its own code runs without the relay, so a signal it raises in
// turn without emitRelayed shows its handlers' failures at those handlers.
template <class Handler> void runHandler(Handler&& handler) noexcept {
    std::exception_ptr* const relay = guard_detail::exchangeRelay(nullptr);
    if (relay == nullptr) {
        runGuarded(std::forward<Handler>(handler));
    } else {
        try {
            std::forward<Handler>(handler)();
        } catch (...) {
            if (!*relay) {
                *relay = std::current_exception();
            }
        }
    }
    guard_detail::exchangeRelay(relay);
}

// Raises a signal from program code: every handler runs, and the first failure among the guarded
// ones is raised here afterwards.
template <class Raise> void emitRelayed(Raise&& raise) {
    std::exception_ptr failure;
    {
        const guard_detail::RelayScope scope(&failure);
        std::forward<Raise>(raise)();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

// A slot that runs handler inside the guard: a member function of receiver, or any callable.
// Arguments of the signal beyond those the handler takes are dropped, as Qt does.
template <class Receiver, class Handler> auto guardedSlot(Receiver* receiver, Handler handler) {
    if constexpr (std::is_member_function_pointer_v<Handler>) {
        return [ receiver, handler ](
            auto&&... args) requires std::invocable<Handler, Receiver*, decltype(args)...> {
            runHandler(
                [&] { std::invoke(handler, receiver, std::forward<decltype(args)>(args)...); });
        };
    } else {
        return [handler = std::move(handler)](
            auto&&... args) requires std::invocable<const Handler&, decltype(args)...> {
            runHandler([&] { std::invoke(handler, std::forward<decltype(args)>(args)...); });
        };
    }
}

// QObject::connect with the handler inside the guard; receiver is also the connection's context.
template <class Sender, class Signal, class Receiver, class Handler>
QMetaObject::Connection connectGuarded(const Sender* sender, Signal signal, Receiver* receiver,
                                       Handler handler,
                                       Qt::ConnectionType type = Qt::AutoConnection) {
    return QObject::connect(sender, signal, receiver, guardedSlot(receiver, std::move(handler)),
                            type);
}

} // namespace quill
