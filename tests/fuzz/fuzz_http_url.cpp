// Splits arbitrary text as a service address, as the settings may hold any. A refusal must be
// the invalid-url error; an accepted address must have the parts the transport relies on.

#include "platform/Errors.h"
#include "service/HttpUrl.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const qv::HttpUrl url = qv::SplitHttpUrl(text);
        if (url.host.empty() || url.target.empty() || url.target.front() != '/') {
            __builtin_trap();
        }
    } catch (const qv::GeneralError& error) {
        if (std::string(error.what()).rfind("Invalid url '", 0) != 0) {
            __builtin_trap();
        }
    }
    return 0;
}
