// Parses a reply into an XML tree, with its declared encoding and no DTD.

#pragma once

#include <cstdint>
#include <pugixml.hpp>
#include <span>

namespace qv {

// Parses a reply into a tree: encoding from the byte-order mark or the declaration (UTF-8
// otherwise, see ReplyAsUtf8), well-formed XML 1.0 only (see CheckWellFormed), white-space-only
// text between elements dropped, no entities beyond the predefined ones. Raises EXmlParseError
// with the reason, the line and an excerpt of the offending line.
void parseXml(std::span<const std::uint8_t> bytes, pugi::xml_document& document);

} // namespace qv
