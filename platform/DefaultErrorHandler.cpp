// The single place errors leaving an event handler are handed to.

#include "platform/DefaultErrorHandler.h"

namespace qv {
namespace {

ErrorHandler& installedHandler() {
    static ErrorHandler handler;
    return handler;
}

} // namespace

void setDefaultErrorHandler(ErrorHandler handler) {
    installedHandler() = std::move(handler);
}

void handleError(const std::exception_ptr& error) {
    const ErrorHandler& handler = installedHandler();
    if (!handler) {
        std::rethrow_exception(error);
    }
    handler(error);
}

} // namespace qv
