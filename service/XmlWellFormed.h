#pragma once

#include <string_view>

namespace qv {

// Checks a UTF-8 reply against the rules of XML 1.0 that the tree parser lets pass: one root
// element and nothing but comments, processing instructions and blanks after it, entity
// references only to the five predefined entities, character references and raw characters
// only to what XML allows (no NUL), valid UTF-8. A document type declaration may stand but may
// declare no entities: a reply never needs them, and they are how entity bombs are built.
// Raises EXmlParseError with the reason, the line and an excerpt.
void CheckWellFormed(std::string_view utf8);

} // namespace qv
