// Texts from callers made fit to keep, echo and show: strict UTF-8 of characters XML 1.0
// allows, cut to a stated length. The one place where the service cleans text.

#include "tools/clocking-service/DisplayText.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace qv::clocking {

namespace {

constexpr std::string_view kReplacement = "?";
constexpr std::string_view kCutMark = "…";

// The character starting at text[at] and its length in bytes; length 0 for a byte that does
// not start a strictly encoded character.
struct Decoded {
    char32_t code = 0;
    std::size_t length = 0;
};

Decoded decodeAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    char32_t code = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, smallest = 0x10000;
    } else {
        return {};
    }
    if (at + length > text.size()) {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return {};
        }
        code = code << 6 | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (code < smallest || code > 0x10FFFF || surrogate) {
        return {};
    }
    return {code, length};
}

// Characters that reorder the text around them or show nothing: a name holding them can
// pass for another, or turn the rest of a line about.
bool invisibleOrReordering(char32_t code) {
    constexpr std::pair<char32_t, char32_t> ranges[] = {
        {0x00AD, 0x00AD}, {0x034F, 0x034F},   {0x061C, 0x061C},  {0x115F, 0x1160},
        {0x17B4, 0x17B5}, {0x180B, 0x180F},   {0x200B, 0x200F},  {0x202A, 0x202E},
        {0x2060, 0x206F}, {0x3164, 0x3164},   {0xFEFF, 0xFEFF},  {0xFFA0, 0xFFA0},
        {0xFFF9, 0xFFFB}, {0x1D173, 0x1D17A}, {0xE0000, 0xE007F}};
    return std::any_of(std::begin(ranges), std::end(ranges), [&](const auto& range) {
        return code >= range.first && code <= range.second;
    });
}

bool allowed(char32_t code) {
    const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
    const bool nonCharacter = (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE;
    return (code == '\t' || !control) && !nonCharacter && !invisibleOrReordering(code);
}

// Cleans character by character until `fits` says the next piece would not fit.
template <typename Fits> std::string clean(std::string_view text, Fits fits) {
    std::string kept;
    std::size_t characters = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Decoded next = decodeAt(text, at);
        const std::string_view piece =
            next.length > 0 && allowed(next.code) ? text.substr(at, next.length) : kReplacement;
        if (!fits(kept.size() + piece.size(), characters + 1)) {
            return kept + std::string(kCutMark);
        }
        kept += piece;
        ++characters;
        at += std::max<std::size_t>(next.length, 1);
    }
    return kept;
}

} // namespace

bool isCleanText(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Decoded next = decodeAt(text, at);
        if (next.length == 0 || !allowed(next.code)) {
            return false;
        }
        at += next.length;
    }
    return true;
}

std::string cleanText(std::string_view text, std::size_t maxBytes) {
    return clean(text, [&](std::size_t bytes, std::size_t) { return bytes <= maxBytes; });
}

std::string displayText(std::string_view text, std::size_t width) {
    std::string shown =
        clean(text, [&](std::size_t, std::size_t characters) { return characters <= width; });
    // A tab would break a table's columns.
    std::replace(shown.begin(), shown.end(), '\t', '?');
    return shown;
}

std::size_t displayWidth(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

} // namespace qv::clocking
