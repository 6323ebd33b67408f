// What the HTTP transport's tests share: the SOAP action, the texts they expect, small helpers.

#pragma once

#include "platform/Errors.h"
#include "platform/MemoryStream.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace qv::test {

inline const std::string kAction = "http://clocking.test/Fichar";
inline const std::string kOutcomeUnknown =
    " - The request had been sent: whether the service recorded it is unknown; check before "
    "sending it again";

// Proxy variables of the machine running the tests must not reroute loopback calls.
inline void clearProxyEnvironment() {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTPS_PROXY",
                             "ALL_PROXY", "NO_PROXY"}) {
        ::unsetenv(name);
    }
}

inline std::string textOf(const MemoryStream& stream) {
    return {reinterpret_cast<const char*>(stream.data()), stream.size()};
}

inline std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const GeneralError& error) {
        return error.what();
    }
    ADD_FAILURE() << "no error was raised";
    return {};
}

} // namespace qv::test
