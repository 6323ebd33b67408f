// A SOAP reply's bytes turned into UTF-8 text, whatever encoding they declared.

#include "service/ReplyText.h"

#include "platform/TextCase.h"
#include "service/SoapErrors.h"

#include <algorithm>
#include <array>

namespace qv {

namespace {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE, Latin1, Latin9, Windows1252 };

constexpr std::size_t kExcerptCharacters = 40;

bool startsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// windows-1252 differs from ISO-8859-1 in 0x80-0x9F only; its five unassigned bytes keep the
// C1 code points, as Windows itself maps them.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t latin9(std::uint8_t b) {
    switch (b) {
    case 0xA4:
        return 0x20AC;
    case 0xA6:
        return 0x0160;
    case 0xA8:
        return 0x0161;
    case 0xB4:
        return 0x017D;
    case 0xB8:
        return 0x017E;
    case 0xBC:
        return 0x0152;
    case 0xBD:
        return 0x0153;
    case 0xBE:
        return 0x0178;
    default:
        return b;
    }
}

std::string fromSingleByte(std::span<const std::uint8_t> bytes, Encoding encoding) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const std::uint8_t b : bytes) {
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else if (encoding == Encoding::Windows1252 && b < 0xA0) {
            appendUtf8(out, kWindows1252High[b - 0x80]);
        } else {
            appendUtf8(out, encoding == Encoding::Latin9 ? latin9(b) : b);
        }
    }
    return out;
}

[[noreturn]] void failAt(const std::string& reason, const std::string& decoded) {
    throw EXmlParseError(xmlErrorMessage(reason, decoded, decoded.size()));
}

std::string fromUtf16(std::span<const std::uint8_t> bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2 + bytes.size() / 8);
    const auto unit = [&](std::size_t i) {
        return static_cast<char16_t>(bigEndian ? (bytes[i] << 8) | bytes[i + 1]
                                               : (bytes[i + 1] << 8) | bytes[i]);
    };
    if (bytes.size() % 2 != 0) {
        failAt("incomplete UTF-16 character at the end",
               fromUtf16(bytes.first(bytes.size() - 1), bigEndian));
    }
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const char16_t first = unit(i);
        if (first >= 0xDC00 && first <= 0xDFFF) {
            failAt("invalid UTF-16 surrogate", out);
        }
        if (first < 0xD800 || first > 0xDBFF) {
            appendUtf8(out, first);
            continue;
        }
        const char16_t second = i + 3 < bytes.size() ? unit(i + 2) : 0;
        if (second < 0xDC00 || second > 0xDFFF) {
            failAt("invalid UTF-16 surrogate", out);
        }
        appendUtf8(out, 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00));
        i += 2;
    }
    return out;
}

std::string fromUtf32(std::span<const std::uint8_t> bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 4 + bytes.size() / 16);
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        const char32_t c = bigEndian ? (char32_t{bytes[i]} << 24) | (bytes[i + 1] << 16) |
                                           (bytes[i + 2] << 8) | bytes[i + 3]
                                     : (char32_t{bytes[i + 3]} << 24) | (bytes[i + 2] << 16) |
                                           (bytes[i + 1] << 8) | bytes[i];
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            failAt("invalid UTF-32 character", out);
        }
        appendUtf8(out, c);
    }
    if (bytes.size() % 4 != 0) {
        failAt("incomplete UTF-32 character at the end", out);
    }
    return out;
}

// The value of the encoding pseudo-attribute of a leading XML declaration, with where it
// stands; empty when there is none.
std::pair<std::string, std::size_t> declaredEncoding(std::string_view text) {
    if (!text.starts_with("<?xml")) {
        return {};
    }
    const std::string_view declaration = text.substr(0, text.find("?>"));
    auto at = declaration.find("encoding");
    if (at == std::string_view::npos) {
        return {};
    }
    at = declaration.find_first_of("\"'", at);
    if (at == std::string_view::npos) {
        return {};
    }
    const auto end = declaration.find(declaration[at], at + 1);
    if (end == std::string_view::npos) {
        return {};
    }
    std::string name(declaration.substr(at + 1, end - at - 1));
    // XML's EncName: a letter, then letters, digits, '.', '_' and '-'. Anything else is a
    // malformed declaration, which the well-formedness check reports as such.
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const bool valid =
        !name.empty() && letter(name[0]) && std::all_of(name.begin(), name.end(), [&](char c) {
            return letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        });
    if (!valid) {
        return {};
    }
    std::transform(name.begin(), name.end(), name.begin(), lowerAscii);
    return {name, at + 1};
}

Encoding eightBitEncoding(std::string_view text) {
    // Not a structured binding: clang 14 cannot capture one in the lambda below.
    const std::pair<std::string, std::size_t> declared = declaredEncoding(text);
    const std::string& name = declared.first;
    const auto is = [&name](std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    if (name.empty() || is({"utf-8", "utf8", "us-ascii", "ascii", "utf-16", "utf-32", "ucs-2"})) {
        return Encoding::Utf8;
    }
    if (is({"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1", "cp819",
            "iso-ir-100"})) {
        return Encoding::Latin1;
    }
    if (is({"iso-8859-15", "iso8859-15", "iso_8859-15", "latin9", "latin-9"})) {
        return Encoding::Latin9;
    }
    if (is({"windows-1252", "cp1252", "x-cp1252"})) {
        return Encoding::Windows1252;
    }
    throw EXmlParseError(
        xmlErrorMessage("unsupported character encoding '" + name + "'", text, declared.second));
}

} // namespace

std::string replyAsUtf8(std::span<const std::uint8_t> bytes) {
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF})) {
        const auto rest = bytes.subspan(3);
        return {reinterpret_cast<const char*>(rest.data()), rest.size()};
    }
    if (startsWith(bytes, {0xFF, 0xFE, 0, 0})) {
        return fromUtf32(bytes.subspan(4), false);
    }
    if (startsWith(bytes, {0, 0, 0xFE, 0xFF})) {
        return fromUtf32(bytes.subspan(4), true);
    }
    if (startsWith(bytes, {0xFF, 0xFE})) {
        return fromUtf16(bytes.subspan(2), false);
    }
    if (startsWith(bytes, {0xFE, 0xFF})) {
        return fromUtf16(bytes.subspan(2), true);
    }
    if (startsWith(bytes, {'<', 0, 0, 0})) {
        return fromUtf32(bytes, false);
    }
    if (startsWith(bytes, {0, 0, 0, '<'})) {
        return fromUtf32(bytes, true);
    }
    if (startsWith(bytes, {'<', 0})) {
        return fromUtf16(bytes, false);
    }
    if (startsWith(bytes, {0, '<'})) {
        return fromUtf16(bytes, true);
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const Encoding encoding = eightBitEncoding(text);
    return encoding == Encoding::Utf8 ? std::string(text) : fromSingleByte(bytes, encoding);
}

std::string xmlErrorMessage(const std::string& reason, std::string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
            ++line;
            lineStart = i + 1;
        }
    }
    std::string excerpt;
    std::size_t characters = 0;
    for (std::size_t at = lineStart; at < text.size() && text[at] != '\r' && text[at] != '\n';
         ++at) {
        const bool continuation = (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
        if (!continuation && characters++ == kExcerptCharacters) {
            break;
        }
        // A control character (a NUL above all) would spoil the message it is shown in.
        const auto c = static_cast<unsigned char>(text[at]);
        excerpt += c < 0x20 && c != '\t' ? '?' : text[at];
    }
    return reason + "\r\nLine: " + std::to_string(line) + "\r\n" + excerpt;
}

} // namespace qv
