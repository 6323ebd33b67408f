// Texts from callers made fit to show: control characters replaced, long ones shortened.

#include "tools/clocking-service/DisplayText.h"

#include <algorithm>

namespace qv::clocking {

std::string displayText(std::string_view text, std::size_t width) {
    std::string shown;
    std::size_t characters = 0;
    for (const char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        const bool continuation = (c & 0xC0) == 0x80;
        if (!continuation && ++characters > width) {
            return shown + "…";
        }
        shown += c < 0x20 || c == 0x7F ? '?' : byte;
    }
    return shown;
}

std::size_t displayWidth(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace qv::clocking
