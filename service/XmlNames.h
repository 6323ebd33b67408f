// Namespace-aware views of pugixml names and attributes.

#pragma once

#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace qv {

// pugixml keeps qualified names as written; these helpers give the namespace view of them.

// The part of a qualified name after its prefix.
std::string_view localName(std::string_view qualifiedName);
std::string_view localName(const pugi::xml_node& node);

// The URI a prefix ("" for the default namespace) is bound to where the node stands, found
// through the xmlns declarations of the node and its ancestors; empty when unbound.
std::string namespaceOfPrefix(pugi::xml_node node, std::string_view prefix);

// The namespace URI of an element's name.
std::string namespaceOf(const pugi::xml_node& element);

// The first attribute with this local name in this namespace ("" for unprefixed attributes).
pugi::xml_attribute attributeNS(const pugi::xml_node& element, std::string_view namespaceUri,
                                std::string_view local);

// All text and CDATA below the node, in document order.
std::string innerText(const pugi::xml_node& node);

// The node written out as XML text without indentation.
std::string outerXml(const pugi::xml_node& node);

} // namespace qv
