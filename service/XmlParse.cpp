// Parses a reply into an XML tree, with its declared encoding and no DTD.

#include "service/XmlParse.h"

#include "service/SoapErrors.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace qv {

namespace {

constexpr std::size_t excerptCharacters = 40;

// The first characters of the line holding the error, cut on a character boundary.
std::string lineExcerpt(std::string_view text, std::size_t offset) {
    std::size_t at = std::min(offset, text.size());
    while (at > 0 && text[at - 1] != '\n' && text[at - 1] != '\r') {
        --at;
    }
    std::string excerpt;
    std::size_t characters = 0;
    while (at < text.size() && text[at] != '\r' && text[at] != '\n') {
        const bool continuation = (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
        if (!continuation && characters++ == excerptCharacters) {
            break;
        }
        excerpt += text[at++];
    }
    return excerpt;
}

} // namespace

void parseXml(std::span<const std::uint8_t> bytes, pugi::xml_document& document) {
    const pugi::xml_parse_result result =
        document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (result) {
        return;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t offset =
        std::min(static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0)), text.size());
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
    throw EXmlParseError(std::string(result.description()) + "\r\nLine: " + std::to_string(line) +
                         "\r\n" + lineExcerpt(text, offset));
}

} // namespace qv
