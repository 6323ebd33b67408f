// The single place errors leaving an event handler are handed to.

#pragma once

#include <exception>
#include <functional>
#include <utility>

namespace qv {

// The program's single default handler for errors that leave an event handler. The GUI
// installs it at start-up; until then (and in programs without a GUI) errors pass on.
using ErrorHandler = std::function<void(const std::exception_ptr&)>;

void setDefaultErrorHandler(ErrorHandler handler);

// Hands the error to the default handler, or rethrows it when none is installed.
void handleError(const std::exception_ptr& error);

// Wraps a handler of a GUI signal so that an error it raises goes to the default handler right
// there: the toolkit's code between a signal and its emitter is not built to let exceptions
// pass, and unwinding through it would leave its events and guards behind.
template <typename Handler> auto guarded(Handler handler) {
    return [handler = std::move(handler)] {
        try {
            handler();
        } catch (...) {
            handleError(std::current_exception());
        }
    };
}

} // namespace qv
