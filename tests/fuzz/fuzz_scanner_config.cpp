// "ScannerConfig.CFG" is outside data: any text must split and look up safely, and a value that
// parses must be the number its digits say.

#include "capture/ScannerConfig.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = qv::SplitConfigLines(text);
    for (const std::string& line : lines) {
        if (line.find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
        const std::size_t equals = line.find('=');
        const std::string_view value = equals == std::string::npos
                                           ? std::string_view(line)
                                           : std::string_view(line).substr(equals + 1);
        // A parsed value prints back to the same decimal digits, leading blanks and '+' aside.
        if (const auto parsed = qv::ParseConfigInteger(value);
            parsed && value.find_first_of("$xX") == std::string_view::npos) {
            std::string_view digits = value.substr(value.find_first_not_of(" \t"));
            if (digits.front() == '+') {
                digits.remove_prefix(1);
            }
            const std::string printed = std::to_string(*parsed);
            const std::size_t significant = digits.find_first_not_of("-0");
            const std::string_view expected =
                significant == std::string_view::npos ? "0" : digits.substr(significant);
            const std::string_view actual = std::string_view(printed).substr(*parsed < 0 ? 1 : 0);
            if (expected != actual) {
                std::abort();
            }
        }
    }
    for (const char* id : {"virtual_image:0", "VIRTUAL_IMAGE:0", ""}) {
        (void)qv::ConfiguredResolution(lines, id);
    }
    return 0;
}
