// RAII owners of libcurl handles and the one-time global initialisation.

#include "service/CurlHandles.h"

#include "platform/Errors.h"

#include <mutex>

namespace qv {

void EnsureCurlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            throw GeneralError("The HTTP client library could not be initialised");
        }
    });
}

} // namespace qv
