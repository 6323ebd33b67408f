// Texts from callers made fit to keep, echo and show: strict UTF-8 of characters XML 1.0
// allows, cut to a stated length. The one place where the service cleans text.

#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv::clocking {

// Whether the text is strict UTF-8 (no overlong forms, surrogates or code points above
// U+10FFFF) of characters XML 1.0 allows, with no noncharacter (U+FDD0 to U+FDEF, and the
// last two of every plane), no control character other than tab, and no bidirectional
// control or invisible formatting character.
bool isCleanText(std::string_view text);

// The text with every byte that is not part of such a character, and every control,
// bidirectional or invisible character, replaced by "?", cut after at most `maxBytes` bytes at a
// character's end, with "…" marking the cut.
std::string cleanText(std::string_view text, std::size_t maxBytes);

// cleanText, cut to `width` characters instead of bytes, for tables and log lines.
std::string displayText(std::string_view text, std::size_t width);

// Characters, not bytes, of UTF-8 text.
std::size_t displayWidth(std::string_view text);

} // namespace qv::clocking
