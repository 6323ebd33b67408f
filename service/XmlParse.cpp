// Parses a reply into an XML tree, with its declared encoding and no DTD.

#include "service/XmlParse.h"

#include "service/ReplyText.h"
#include "service/SoapErrors.h"
#include "service/XmlWellFormed.h"

#include <algorithm>
#include <string>

namespace qv {

void parseXml(std::span<const std::uint8_t> bytes, pugi::xml_document& document) {
    const std::string text = ReplyAsUtf8(bytes);
    CheckWellFormed(text);
    const pugi::xml_parse_result result =
        document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!result) {
        const auto offset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0));
        throw EXmlParseError(XmlErrorMessage(result.description(), text, offset));
    }
}

} // namespace qv
