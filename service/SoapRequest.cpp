// Writes the SOAP request document of a call (TSoapCallConverter::BuildRequest).

#include "platform/Errors.h"
#include "platform/TextTrim.h"
#include "service/InterfaceRegistry.h"
#include "service/SoapCallConverter.h"
#include "service/SoapNamespaces.h"

#include <cstdio>
#include <optional>
#include <pugixml.hpp>
#include <sstream>
#include <string_view>

namespace qv {

namespace {

// The first character of `text` that an XML 1.0 document cannot hold, with its position
// (counted in characters from 1); kNotUtf8 stands for bytes that are not valid UTF-8.
struct Unwritable {
    char32_t character;
    std::size_t position;
};

bool allowedInXml(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// Decodes one UTF-8 character at `at`; kNotUtf8 for a malformed or overlong sequence.
char32_t nextCharacter(std::string_view text, std::size_t& at) {
    constexpr char32_t invalid = kNotUtf8;
    const auto lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80) {
        return lead;
    }
    const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || lead > 0xF4 || at + static_cast<std::size_t>(extra) > text.size()) {
        return invalid;
    }
    char32_t c = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        const auto next = static_cast<unsigned char>(text[at++]);
        if ((next & 0xC0) != 0x80) {
            return invalid;
        }
        c = (c << 6) | (next & 0x3F);
    }
    constexpr char32_t shortest[] = {0, 0x80, 0x800, 0x10000};
    return c < shortest[extra] ? invalid : c;
}

std::optional<Unwritable> firstUnwritable(std::string_view text) {
    std::size_t position = 0;
    for (std::size_t at = 0; at < text.size();) {
        ++position;
        const char32_t c = nextCharacter(text, at);
        if (!allowedInXml(c)) {
            return Unwritable{c, position};
        }
    }
    return std::nullopt;
}

std::string describe(char32_t c) {
    if (c == kNotUtf8) {
        return "a byte that is not UTF-8 text";
    }
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    return std::string("the character ") + code;
}

} // namespace

std::string TSoapCallConverter::BuildRequest(const InterfaceInfo& intf,
                                             const OperationInfo& operation,
                                             std::span<const std::string> values) const {
    if (!Options.contains(TSoapConvertOption::soDocument)) {
        throw GeneralError("Only document-style SOAP requests are supported");
    }
    if (values.size() != operation.params.size()) {
        throw GeneralError("Operation " + operation.name + " takes " +
                           std::to_string(operation.params.size()) + " values, " +
                           std::to_string(values.size()) + " given");
    }
    const TInterfaceRegistry& registry = interfaceRegistry();

    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";

    pugi::xml_node envelope = document.append_child("SOAP-ENV:Envelope");
    envelope.append_attribute("xmlns:SOAP-ENV") = kSoapEnvelopeNamespace;
    envelope.append_attribute("xmlns:xsd") = kXmlSchemaNamespace;
    envelope.append_attribute("xmlns:xsi") = kXmlSchemaInstanceNamespace;
    pugi::xml_node body = envelope.append_child("SOAP-ENV:Body");

    // Document style: the operation element carries the service namespace as its default,
    // which its parameter elements inherit.
    const std::string operationName = registry.externalOperationName(intf, operation.name);
    pugi::xml_node call = body.append_child(operationName.c_str());
    call.append_attribute("xmlns") = registry.namespaceUri(intf).c_str();
    for (std::size_t i = 0; i < operation.params.size(); ++i) {
        const ParamInfo& param = operation.params[i];
        if (param.passing == ParamPassing::Out) {
            continue;
        }
        const std::string name = registry.externalParamName(intf, operation.name, param.name);
        // A strict peer refuses the whole request over one such character, and a NUL would cut
        // the value short without a word: refuse before anything is sent.
        if (const auto bad = firstUnwritable(values[i])) {
            throw GeneralError("Cannot send " + operationName + ": " + name + " holds " +
                               describe(bad->character) + " at position " +
                               std::to_string(bad->position) +
                               ", which an XML 1.0 document cannot carry");
        }
        call.append_child(name.c_str())
            .append_child(pugi::node_pcdata)
            .set_value(values[i].c_str());
    }

    std::ostringstream text;
    document.save(text, "", pugi::format_raw, pugi::encoding_utf8);
    // What the writer may leave around the document is no part of it.
    return std::string(
        trimmed(std::string_view(text.view()), [](char c) { return isBlankOrControl(c); }));
}

} // namespace qv
