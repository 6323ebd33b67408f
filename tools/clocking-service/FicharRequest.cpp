// A received Fichar request read strictly: envelope, fields, Base64 WSQ print within limits.

#include "tools/clocking-service/FicharRequest.h"

#include "service/QuorvantisService.h"
#include "service/SoapNamespaces.h"
#include "service/XmlNames.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <array>
#include <pugixml.hpp>

namespace qv::clocking {

namespace {

// Refusals end the reading at once; the reader turns them into the request's refusal text.
struct Refused {
    std::string text;
};

constexpr std::string_view kOperation = "Fichar";

std::string expectedSoapAction() {
    return std::string(kQuorvantisServiceNamespace) + std::string(kOperation);
}

void checkSoapAction(std::string_view action) {
    if (action.size() >= 2 && action.front() == '"' && action.back() == '"') {
        action = action.substr(1, action.size() - 2);
    }
    if (action != expectedSoapAction()) {
        throw Refused{"Unknown SOAPAction '" + std::string(action) + "'; this service answers '" +
                      expectedSoapAction() + "'"};
    }
}

bool isElement(const pugi::xml_node& node) {
    return node.type() == pugi::node_element;
}

std::string qualified(const pugi::xml_node& element) {
    return "{" + namespaceOf(element) + "}" + std::string(localName(element));
}

pugi::xml_node parseEnvelope(std::string_view body, pugi::xml_document& document) {
    // DOCTYPE is parsed only to be refused: a SOAP message may not carry one.
    const auto parsed = document.load_buffer(
        body.data(), body.size(), pugi::parse_default | pugi::parse_doctype, pugi::encoding_auto);
    if (!parsed) {
        throw Refused{std::string("The request is not well-formed XML: ") + parsed.description() +
                      " at offset " + std::to_string(parsed.offset)};
    }
    for (const auto& node : document.children()) {
        if (node.type() == pugi::node_doctype) {
            throw Refused{"Document type declarations are not allowed in SOAP messages"};
        }
    }
    const auto envelope = document.document_element();
    if (localName(envelope) != "Envelope" || namespaceOf(envelope) != kSoapEnvelopeNamespace) {
        throw Refused{"Expected a SOAP 1.1 Envelope {" + std::string(kSoapEnvelopeNamespace) +
                      "}Envelope, found " + qualified(envelope)};
    }
    return envelope;
}

void checkHeader(const pugi::xml_node& header) {
    for (const auto& entry : header.children()) {
        if (!isElement(entry)) {
            continue;
        }
        const auto mustUnderstand = attributeNS(entry, kSoapEnvelopeNamespace, "mustUnderstand");
        if (std::string_view(mustUnderstand.value()) == "1") {
            throw Refused{"Header " + qualified(entry) + " must be understood, and is not"};
        }
    }
}

pugi::xml_node operationElement(const pugi::xml_node& envelope) {
    pugi::xml_node body;
    for (const auto& child : envelope.children()) {
        if (!isElement(child) || namespaceOf(child) != kSoapEnvelopeNamespace) {
            continue;
        }
        if (localName(child) == "Header" && !body) {
            checkHeader(child);
        } else if (localName(child) == "Body" && !body) {
            body = child;
        } else {
            throw Refused{"Unexpected " + qualified(child) + " in the Envelope"};
        }
    }
    if (!body) {
        throw Refused{"The Envelope has no Body"};
    }
    const auto operation = body.find_child(isElement);
    if (!operation) {
        throw Refused{"The Body is empty; expected {" + std::string(kQuorvantisServiceNamespace) +
                      "}Fichar"};
    }
    if (localName(operation) != kOperation ||
        namespaceOf(operation) != kQuorvantisServiceNamespace) {
        throw Refused{"Unknown operation " + qualified(operation) + "; this service answers {" +
                      std::string(kQuorvantisServiceNamespace) + "}Fichar"};
    }
    return operation;
}

// Document/literal: the operation holds its three parameters, in the service namespace, and
// nothing else.
void checkParameterNames(const pugi::xml_node& operation) {
    for (const auto& child : operation.children()) {
        const auto name = localName(child);
        const bool known = name == "AppId" || name == "huellaWSQ" || name == "modo";
        if (isElement(child) && (!known || namespaceOf(child) != kQuorvantisServiceNamespace)) {
            throw Refused{"Unexpected element " + qualified(child) + " in Fichar"};
        }
    }
}

// The text of the operation's single child of this name.
std::string parameter(const pugi::xml_node& operation, std::string_view name) {
    pugi::xml_node found;
    for (const auto& child : operation.children()) {
        if (!isElement(child) || localName(child) != name) {
            continue;
        }
        if (found) {
            throw Refused{"Fichar holds more than one " + std::string(name)};
        }
        found = child;
    }
    if (!found) {
        throw Refused{"Fichar lacks its " + std::string(name) + " element (in namespace " +
                      std::string(kQuorvantisServiceNamespace) + ")"};
    }
    if (found.find_child(isElement)) {
        throw Refused{std::string(name) + " must hold text, not elements"};
    }
    return innerText(found);
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80         ? 1
                                   : lead >> 5 == 0x6  ? 2
                                   : lead >> 4 == 0xE  ? 3
                                   : lead >> 3 == 0x1E ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// The identifier is echoed in the answer and shown on the page: XML 1.0 forbids most control
// characters, so a strict caller would reject an answer holding one.
void checkAppId(std::string& appId) {
    if (appId.size() > kMaxAppIdBytes) {
        const std::size_t sent = appId.size();
        appId = cutUtf8(appId, kMaxAppIdBytes);
        throw Refused{"AppId is " + std::to_string(sent) +
                      " bytes long; this service takes at most " + std::to_string(kMaxAppIdBytes)};
    }
    const bool control = std::any_of(appId.begin(), appId.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t') || byte == 0x7F;
    });
    if (control || !isValidUtf8(appId)) {
        throw Refused{"AppId holds control characters or is not UTF-8 text"};
    }
}

// Fills `out` as far as it gets, so a refused print is still recorded as received.
void decodePrint(std::string_view base64, const PrintLimits& limits,
                 std::optional<ReceivedPrint>& out) {
    auto decoded = decodeStrictBase64(base64, limits.maxWsqBytes);
    if (!decoded.ok) {
        throw Refused{"huellaWSQ is not valid Base64 text, or decodes to more than " +
                      std::to_string(limits.maxWsqBytes) + " bytes"};
    }
    if (decoded.bytes.empty()) {
        throw Refused{"huellaWSQ is empty: no fingerprint was sent"};
    }
    ReceivedPrint& print = out.emplace();
    print.wsq = std::move(decoded.bytes);
    wsq::DecodeLimits decodeLimits;
    decodeLimits.maxSide = limits.maxSide;
    decodeLimits.maxPixels = std::int64_t{limits.maxSide} * limits.maxSide;
    try {
        const auto image = wsq::decode(print.wsq, decodeLimits);
        print.width = image.width;
        print.height = image.height;
        print.ppi = image.ppi;
    } catch (const wsq::Error& error) {
        throw Refused{std::string("huellaWSQ is not a WSQ fingerprint this service can decode: ") +
                      error.what()};
    }
    if (print.width < limits.minSide || print.height < limits.minSide) {
        throw Refused{"The fingerprint is implausibly small (" + std::to_string(print.width) +
                      " x " + std::to_string(print.height) + " pixels; at least " +
                      std::to_string(limits.minSide) + " a side)"};
    }
}

} // namespace

std::string cutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end)) + "…";
}

StrictBase64 decodeStrictBase64(std::string_view text, std::size_t maxBytes) {
    static const auto table = [] {
        std::array<std::int8_t, 256> values{};
        values.fill(-1);
        const std::string_view alphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (std::size_t i = 0; i < alphabet.size(); ++i) {
            values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
        }
        return values;
    }();
    StrictBase64 result;
    result.bytes.reserve(std::min(text.size() / 4 * 3, maxBytes));
    std::uint32_t group = 0;
    int count = 0;
    int padding = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            continue;
        }
        if (c == '=') {
            if (count < 2 || ++padding + count > 4) {
                return {};
            }
            continue;
        }
        const auto value = table[static_cast<unsigned char>(c)];
        if (value < 0 || padding > 0) { // nothing may follow the padding
            return {};
        }
        group = group << 6 | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            if (result.bytes.size() + 3 > maxBytes) {
                return {};
            }
            result.bytes.push_back(static_cast<std::uint8_t>(group >> 16));
            result.bytes.push_back(static_cast<std::uint8_t>(group >> 8));
            result.bytes.push_back(static_cast<std::uint8_t>(group));
            group = 0;
            count = 0;
        }
    }
    if (count == 1 || (count > 0 && count + padding != 4) || (count == 0 && padding > 0)) {
        return {};
    }
    if (count > 0) {
        group <<= 6 * (4 - count);
        result.bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (count == 3) {
            result.bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        }
        if (result.bytes.size() > maxBytes) {
            return {};
        }
    }
    result.ok = true;
    return result;
}

FicharRequest readFicharRequest(std::string_view body, std::string_view soapAction,
                                const PrintLimits& limits) {
    FicharRequest request;
    try {
        checkSoapAction(soapAction);
        pugi::xml_document document;
        const auto operation = operationElement(parseEnvelope(body, document));
        checkParameterNames(operation);
        request.appId = parameter(operation, "AppId");
        checkAppId(*request.appId);
        const std::string fingerprint = parameter(operation, "huellaWSQ");
        request.mode = parameter(operation, "modo");
        if (*request.mode != "I" && *request.mode != "E") {
            throw Refused{"modo must be \"I\" (entry) or \"E\" (exit), not \"" + *request.mode +
                          "\""};
        }
        decodePrint(fingerprint, limits, request.print);
    } catch (const Refused& refused) {
        request.refusal = refused.text;
    }
    return request;
}

} // namespace qv::clocking
