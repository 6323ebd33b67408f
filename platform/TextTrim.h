// Trimming characters off both ends of a text, and the sets of characters the station trims.

#pragma once

#include <string_view>

namespace qv {

// The text without the leading and trailing characters for which removed() holds.
template <typename Char, typename Removed>
constexpr std::basic_string_view<Char> trimmed(std::basic_string_view<Char> text, Removed removed) {
    while (!text.empty() && removed(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && removed(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

constexpr bool isSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

constexpr bool isLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// Blanks and control characters in UTF-8: a byte is only tested alone when it is no part of a
// longer character, so the C1 controls (two bytes each) are not among them.
constexpr bool isBlankOrControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F;
}

// Blanks and control characters in UTF-16, the C1 controls included.
constexpr bool isBlankOrControl(char16_t c) {
    return c <= u' ' || (c >= 0x7F && c <= 0x9F);
}

} // namespace qv
