#include "service/XmlWellFormed.h"

#include "service/ReplyText.h"
#include "service/SoapErrors.h"

#include <expat.h>
#include <limits>
#include <memory>
#include <string>

namespace qv {

namespace {

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter>;

// Why the checker stopped the parser itself; empty while expat's own reason applies.
struct Refusal {
    XML_Parser parser;
    std::string reason;
};

void refuse(void* user, const char* reason) {
    auto& refusal = *static_cast<Refusal*>(user);
    if (refusal.reason.empty()) {
        refusal.reason = reason;
        XML_StopParser(refusal.parser, XML_FALSE);
    }
}

void onEntityDeclaration(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                         const XML_Char*, const XML_Char*, const XML_Char*) {
    refuse(user, "entity declarations are not allowed in a reply");
}

// Expat lets a reference to an unknown entity pass when the document names an external DTD;
// the tree parser would keep it as literal text.
void onSkippedEntity(void* user, const XML_Char*, int) {
    refuse(user, "undefined entity");
}

} // namespace

void CheckWellFormed(std::string_view utf8) {
    // The encoding given here wins over the declaration: the text is UTF-8 by now.
    const ParserPtr parser(XML_ParserCreate("UTF-8"));
    if (!parser) {
        throw std::bad_alloc();
    }
    Refusal refusal{parser.get(), {}};
    XML_SetUserData(parser.get(), &refusal);
    XML_SetEntityDeclHandler(parser.get(), onEntityDeclaration);
    XML_SetSkippedEntityHandler(parser.get(), onSkippedEntity);
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);

    // Expat takes the length as an int; larger replies go in pieces.
    constexpr std::size_t piece = std::numeric_limits<int>::max() / 2;
    XML_Status status = XML_STATUS_OK;
    std::size_t done = 0;
    do {
        const std::size_t length = std::min(piece, utf8.size() - done);
        const bool last = done + length == utf8.size();
        status = XML_Parse(parser.get(), utf8.data() + done, static_cast<int>(length),
                           last ? XML_TRUE : XML_FALSE);
        done += length;
    } while (status == XML_STATUS_OK && done < utf8.size());
    if (status == XML_STATUS_OK) {
        return;
    }
    const XML_Index at = XML_GetCurrentByteIndex(parser.get());
    const std::string reason = refusal.reason.empty()
                                   ? std::string(XML_ErrorString(XML_GetErrorCode(parser.get())))
                                   : refusal.reason;
    throw EXmlParseError(XmlErrorMessage(reason, utf8, at < 0 ? 0 : static_cast<std::size_t>(at)));
}

} // namespace qv
