// Texts from callers made fit to show: control characters replaced, long ones shortened.

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::clocking {

// Control characters become "?"; the text is cut to `width` characters (UTF-8 aware), with
// "…" marking the cut.
std::string displayText(std::string_view text, std::size_t width);

// Characters, not bytes, of UTF-8 text.
std::size_t displayWidth(std::string_view text);

} // namespace qv::clocking
