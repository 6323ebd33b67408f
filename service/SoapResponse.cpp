// Reads the SOAP reply into the call's result (TSoapCallConverter::ReadResponse).

#include "platform/TextCase.h"
#include "service/InterfaceRegistry.h"
#include "service/RemoteTypeRegistry.h"
#include "service/SoapCallConverter.h"
#include "service/SoapErrors.h"
#include "service/SoapFault.h"
#include "service/SoapNamespaces.h"
#include "service/XmlNames.h"
#include "service/XmlParse.h"

#include <charconv>
#include <optional>
#include <vector>

namespace qv {

namespace {

struct EnvelopeParts {
    pugi::xml_node envelope;
    pugi::xml_node body; // null when the reply has none
};

pugi::xml_node firstElementChild(const pugi::xml_node& node) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            return child;
        }
    }
    return {};
}

// Header entries this station does not handle (it handles none) may only be ignored when the
// sender allows it.
void checkHeader(const pugi::xml_node& header) {
    for (const pugi::xml_node& entry : header.children()) {
        if (entry.type() != pugi::node_element) {
            continue;
        }
        const pugi::xml_attribute plain = entry.attribute("mustUnderstand");
        const pugi::xml_attribute qualified =
            attributeNS(entry, SoapEnvelopeNamespace, "mustUnderstand");
        if (std::string_view(plain.value()) == "1" || std::string_view(qualified.value()) == "1") {
            throw GeneralError("Soap header " + std::string(localName(entry)) +
                               " with attribute 'mustUnderstand' set to true was not handled");
        }
    }
}

EnvelopeParts readEnvelope(const pugi::xml_document& document) {
    const pugi::xml_node envelope = document.document_element();
    if (!envelope) {
        throw ESoapConvertError("Invalid SOAP Response");
    }
    const std::string envelopeNamespace = namespaceOf(envelope);
    if (localName(envelope) != "Envelope" || envelopeNamespace != SoapEnvelopeNamespace) {
        throw ESoapConvertError("DocumentElement " + std::string(SoapEnvelopeNamespace) +
                                ":Envelope expected, " + envelopeNamespace + ":" +
                                std::string(localName(envelope)) + " found");
    }
    if (!envelope.first_child()) {
        throw ESoapConvertError("Invalid SOAP request");
    }
    EnvelopeParts parts{envelope, {}};
    bool headerSeen = false;
    for (const pugi::xml_node& child : envelope.children()) {
        if (child.type() != pugi::node_element) {
            continue;
        }
        const std::string_view name = localName(child);
        if (name == "Header") {
            if (headerSeen) {
                throw ESoapConvertError("Invalid SOAP request");
            }
            headerSeen = true;
            checkHeader(child);
        } else if (name == "Body") {
            if (parts.body) {
                throw ESoapConvertError("Invalid SOAP request");
            }
            parts.body = child;
        }
    }
    return parts;
}

pugi::xml_node findResultElement(const pugi::xml_node& response,
                                 const std::vector<std::string>& returnNames) {
    std::size_t elements = 0;
    pugi::xml_node only;
    for (const pugi::xml_node& child : response.children()) {
        if (child.type() == pugi::node_element) {
            ++elements;
            only = child;
        }
    }
    if (elements == 1) {
        return only;
    }
    for (const pugi::xml_node& child : response.children()) {
        if (child.type() != pugi::node_element) {
            continue;
        }
        for (const std::string& name : returnNames) {
            if (equalsIgnoringCase(localName(child), name)) {
                return child;
            }
        }
    }
    return {};
}

// A result given by reference lives elsewhere in the reply under a matching id.
pugi::xml_node followHref(const pugi::xml_node& result, const EnvelopeParts& parts,
                          const pugi::xml_node& response) {
    const pugi::xml_attribute href = result.attribute("href");
    if (!href) {
        return result;
    }
    const std::string_view target = href.value();
    for (const pugi::xml_node& scope : {response, parts.body, parts.envelope}) {
        for (const pugi::xml_node& child : scope.children()) {
            const pugi::xml_attribute id = child.attribute("id");
            if (child.type() == pugi::node_element && id && target.size() > 0 && target[0] == '#' &&
                target.substr(1) == id.value()) {
                return child;
            }
        }
    }
    return {};
}

// The class the reply names through its type attribute, when one deriving from the result
// class is registered; the result class itself otherwise.
std::unique_ptr<FichadaResult> createResult(const pugi::xml_node& element) {
    const pugi::xml_attribute type = attributeNS(element, XmlSchemaInstanceNamespace, "type");
    if (type) {
        const std::string_view qualified = type.value();
        const std::size_t colon = qualified.find(':');
        const std::string_view prefix =
            colon == std::string_view::npos ? std::string_view{} : qualified.substr(0, colon);
        std::unique_ptr<TRemoteObject> named = remoteTypeRegistry().createForXmlType(
            namespaceOfPrefix(element, prefix), std::string(localName(qualified)));
        if (auto* result = dynamic_cast<FichadaResult*>(named.get())) {
            named.release();
            return std::unique_ptr<FichadaResult>(result);
        }
    }
    return std::make_unique<FichadaResult>();
}

std::string singleText(const pugi::xml_node& element) {
    const pugi::xml_node child = element.first_child();
    if (!child) {
        return {};
    }
    if (child.type() != pugi::node_pcdata || child.next_sibling()) {
        throw EXmlNodeError("Element does not contain a single text node");
    }
    return child.value();
}

std::int32_t toInteger(const std::string& text) {
    std::string_view digits = text;
    const bool plus = digits.starts_with('+');
    if (plus) {
        digits.remove_prefix(1);
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || (plus && digits[0] == '-') || error != std::errc{} ||
        end != digits.data() + digits.size()) {
        throw EConvertError("'" + text + "' is not a valid integer value");
    }
    return value;
}

void assign(const PropertyRef& property, const std::string& text) {
    if (auto* const* integer = std::get_if<std::int32_t*>(&property.field)) {
        **integer = toInteger(text);
    } else {
        *std::get<std::string*>(property.field) = text;
    }
}

void fillProperties(TRemoteObject& object, const pugi::xml_node& element) {
    for (const PropertyRef& property : object.publishedProperties()) {
        std::optional<std::string> text;
        for (const pugi::xml_node& child : element.children()) {
            if (child.type() == pugi::node_element &&
                equalsIgnoringCase(localName(child), property.name)) {
                text = singleText(child);
                break;
            }
        }
        if (!text) {
            const std::string name(property.name);
            if (const pugi::xml_attribute attr = element.attribute(name.c_str())) {
                text = attr.value();
            }
        }
        if (text) {
            assign(property, *text);
        }
    }
}

} // namespace

std::unique_ptr<FichadaResult> TSoapCallConverter::ReadResponse(const MemoryStream& response,
                                                                const InterfaceInfo& intf) const {
    pugi::xml_document document;
    parseXml(response.bytes(), document);
    const EnvelopeParts parts = readEnvelope(document);
    if (!parts.body) {
        return nullptr;
    }
    const pugi::xml_node responseNode = firstElementChild(parts.body);
    if (!responseNode) {
        throw EListError("List index out of bounds (0)");
    }
    if (localName(responseNode) == "Fault") {
        throwSoapFault(responseNode);
    }

    pugi::xml_node result =
        findResultElement(responseNode, interfaceRegistry().returnParamNames(intf));
    if (!result) {
        if (Options.contains(TSoapConvertOption::soDocument)) {
            return nullptr;
        }
        throw ESoapConvertError("SOAP Response Packet: result element expected, received \"" +
                                outerXml(responseNode) + "\"");
    }
    result = followHref(result, parts, responseNode);
    if (!result) {
        return nullptr;
    }
    std::unique_ptr<FichadaResult> object = createResult(result);
    fillProperties(*object, result);
    return object;
}

} // namespace qv
