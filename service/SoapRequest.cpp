// Writes the SOAP request document of a call (TSoapCallConverter::BuildRequest).

#include "platform/Errors.h"
#include "service/InterfaceRegistry.h"
#include "service/SoapCallConverter.h"
#include "service/SoapNamespaces.h"

#include <pugixml.hpp>
#include <sstream>

namespace qv {

namespace {

// Trims what a text writer may leave around the document: white space and control characters.
std::string trimmed(std::string text) {
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    std::size_t end = text.size();
    while (end > 0 && isBlank(text[end - 1])) {
        --end;
    }
    std::size_t begin = 0;
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    return text.substr(begin, end - begin);
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
    envelope.append_attribute("xmlns:SOAP-ENV") = SoapEnvelopeNamespace;
    envelope.append_attribute("xmlns:xsd") = XmlSchemaNamespace;
    envelope.append_attribute("xmlns:xsi") = XmlSchemaInstanceNamespace;
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
        call.append_child(name.c_str())
            .append_child(pugi::node_pcdata)
            .set_value(values[i].c_str());
    }

    std::ostringstream text;
    document.save(text, "", pugi::format_raw, pugi::encoding_utf8);
    return trimmed(std::move(text).str());
}

} // namespace qv
