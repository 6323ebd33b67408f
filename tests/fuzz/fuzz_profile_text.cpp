// Profile (INI) text from disk is outside data: reading any text must be safe, and writing a key
// into any text must make exactly that value readable again.

#include "platform/ProfileFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"FlipHorizontal", "Host", "Titulo"}) {
        (void)qv::findProfileValue(text, "Config", key);
    }

    // A value made of the input's letters and digits comes back unchanged after a write.
    std::string value;
    for (const char c : text.substr(0, qv::kProfileValueMaxLength)) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            value += c;
        }
    }
    const std::string updated = qv::setProfileValue(text, "config", "HOST", value);
    if (qv::findProfileValue(updated, "Config", "Host") != value) {
        std::abort();
    }
    // Writing the same value again changes nothing.
    if (qv::setProfileValue(updated, "Config", "Host", value) != updated) {
        std::abort();
    }
    return 0;
}
