// Namespace-aware views of pugixml names and attributes.

#include "service/XmlNames.h"

#include "platform/TextCase.h"

#include <sstream>

namespace qv {

namespace {

constexpr std::string_view xmlPrefixNamespace = "http://www.w3.org/XML/1998/namespace";

std::string_view prefixOf(std::string_view qualifiedName) {
    const std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view{} : qualifiedName.substr(0, colon);
}

class TextCollector : public pugi::xml_tree_walker {
public:
    bool for_each(pugi::xml_node& node) override {
        if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            text += node.value();
        }
        return true;
    }
    std::string text;
};

} // namespace

std::string_view localName(std::string_view qualifiedName) {
    const std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

std::string_view localName(const pugi::xml_node& node) {
    return localName(node.name());
}

std::string namespaceOfPrefix(pugi::xml_node node, std::string_view prefix) {
    if (prefix == "xml") {
        return std::string(xmlPrefixNamespace);
    }
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (; node && node.type() == pugi::node_element; node = node.parent()) {
        if (const pugi::xml_attribute attr = node.attribute(declaration.c_str())) {
            return attr.value();
        }
    }
    return {};
}

std::string namespaceOf(const pugi::xml_node& element) {
    return namespaceOfPrefix(element, prefixOf(element.name()));
}

pugi::xml_attribute attributeNS(const pugi::xml_node& element, std::string_view namespaceUri,
                                std::string_view local) {
    for (pugi::xml_attribute attr = element.first_attribute(); attr; attr = attr.next_attribute()) {
        const std::string_view name = attr.name();
        if (localName(name) != local) {
            continue;
        }
        const std::string_view prefix = prefixOf(name);
        if (prefix == "xmlns") {
            continue;
        }
        // Unprefixed attributes are in no namespace, whatever the default namespace is.
        const std::string uri = prefix.empty() ? std::string{} : namespaceOfPrefix(element, prefix);
        if (uri == namespaceUri) {
            return attr;
        }
    }
    return {};
}

std::string innerText(const pugi::xml_node& node) {
    TextCollector collector;
    pugi::xml_node walked = node;
    walked.traverse(collector);
    return std::move(collector.text);
}

std::string outerXml(const pugi::xml_node& node) {
    std::ostringstream out;
    node.print(out, "", pugi::format_raw);
    return std::move(out).str();
}

} // namespace qv
