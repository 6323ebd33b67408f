// ASCII-only letter-case helpers, independent of the locale.

#pragma once

#include <algorithm>
#include <string_view>

namespace qv {

// Letter case as the station's files and protocols ignore it: the letters A to Z only, so the
// result never depends on the machine's locale.
constexpr char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

constexpr bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

} // namespace qv
