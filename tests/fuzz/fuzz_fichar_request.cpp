// Reads arbitrary bytes as a Fichar request to the development clocking service. The reader
// must never throw or crash, and what it accepts must be a complete, plausible clock-in.

#include "service/QuorvantisService.h"
#include "tools/clocking-service/FicharRequest.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string body(reinterpret_cast<const char*>(data), size);
    const std::string action = "\"" + std::string(qv::kQuorvantisServiceNamespace) + "Fichar\"";
    const auto request = qv::clocking::readFicharRequest(std::move(body), action);
    if (!request.refusal) {
        const bool complete = request.appId && request.mode && request.print &&
                              (*request.mode == "I" || *request.mode == "E") &&
                              request.print->width >= 64 && request.print->height >= 64;
        if (!complete) {
            __builtin_trap();
        }
    }
    return 0;
}
