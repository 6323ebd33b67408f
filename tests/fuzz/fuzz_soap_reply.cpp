// Reads arbitrary bytes as a reply to the clock-in call. Any failure must be one of the
// program's errors with a message; anything else (a crash, another exception) is a finding. A
// reply refused as malformed must say where: its message carries the line.

#include "platform/Errors.h"
#include "service/QuorvantisService.h"
#include "service/SoapCallConverter.h"
#include "service/SoapErrors.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::RegisterQuorvantisService();
    const qv::MemoryStream reply(std::vector<std::uint8_t>(data, data + size));
    for (const bool document : {true, false}) {
        qv::TSoapCallConverter converter;
        if (document) {
            converter.Options.insert(qv::TSoapConvertOption::soDocument);
        }
        try {
            converter.ReadResponse(reply, qv::QuorvantisServiceSoap::interfaceInfo());
        } catch (const qv::EXmlParseError& error) {
            if (std::string(error.what()).find("\r\nLine: ") == std::string::npos) {
                __builtin_trap();
            }
        } catch (const qv::GeneralError&) {
        }
    }
    return 0;
}
