// A received Fichar request read strictly: envelope, fields, Base64 WSQ print within limits.

#include "tools/clocking-service/FicharRequest.h"

#include "service/QuorvantisService.h"
#include "service/SoapNamespaces.h"
#include "service/XmlNames.h"
#include "tools/clocking-service/DisplayText.h"
#include "wsq/Wsq.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <pugixml.hpp>
#include <unordered_map>
#include <utility>

namespace qv::clocking {

namespace {

// Refusals end the reading at once; the reader turns them into the request's refusal text.
struct Refused {
    std::string text;
};

constexpr std::string_view kOperation = "Fichar";
constexpr std::string_view kXmlPrefixNamespace = "http://www.w3.org/XML/1998/namespace";
// Names and texts of the caller's that a refusal quotes are cut to this.
constexpr std::size_t kEchoedBytes = 200;
constexpr std::size_t kMaxModeBytes = 16;
// A Fichar request holds a dozen elements and a few attributes; each costs the parser a node
// of memory, so far more than a request needs is refused before parsing.
constexpr std::size_t kMaxMarkup = 4096;

std::string expectedSoapAction() {
    return std::string(kQuorvantisServiceNamespace) + std::string(kOperation);
}

void checkSoapAction(std::string_view action) {
    if (action.size() >= 2 && action.front() == '"' && action.back() == '"') {
        action = action.substr(1, action.size() - 2);
    }
    if (action != expectedSoapAction()) {
        throw Refused{"Unknown SOAPAction '" + cleanText(action, kEchoedBytes) +
                      "'; this service answers '" + expectedSoapAction() + "'"};
    }
}

void checkMarkup(std::string_view body) {
    const auto marks = static_cast<std::size_t>(
        std::count_if(body.begin(), body.end(), [](char c) { return c == '<' || c == '='; }));
    if (marks > kMaxMarkup) {
        throw Refused{"The request holds " + std::to_string(marks) +
                      " tags and attributes; a Fichar request needs far fewer than " +
                      std::to_string(kMaxMarkup)};
    }
}

bool isElement(const pugi::xml_node& node) {
    return node.type() == pugi::node_element;
}

std::string_view prefixOf(std::string_view qualifiedName) {
    const std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view{} : qualifiedName.substr(0, colon);
}

// The namespace declarations in force at one element the reader looks at: its own, then
// those of the elements it sits in. Each element's attributes are read once, however many
// names are resolved through it, so no shape of request makes reading quadratic.
class Scope {
public:
    Scope(const pugi::xml_node& element, const Scope* outer)
        : element_(element)
        , outer_(outer) {
        for (auto attr = element.first_attribute(); attr; attr = attr.next_attribute()) {
            const std::string_view name = attr.name();
            if (name == "xmlns") {
                declared_.try_emplace(std::string_view{}, attr.value());
            } else if (name.starts_with("xmlns:")) {
                declared_.try_emplace(name.substr(6), attr.value());
            }
        }
    }

    const pugi::xml_node& element() const { return element_; }

    std::string_view uriOf(std::string_view prefix) const {
        if (prefix == "xml") {
            return kXmlPrefixNamespace;
        }
        for (const Scope* scope = this; scope; scope = scope->outer_) {
            if (const auto found = scope->declared_.find(prefix); found != scope->declared_.end()) {
                return found->second;
            }
        }
        return {};
    }
    std::string_view uri() const { return uriOf(prefixOf(element_.name())); }
    bool is(std::string_view uri, std::string_view local) const {
        return localName(element_) == local && this->uri() == uri;
    }
    // "{namespace}name", as a refusal quotes it.
    std::string qualified() const {
        return "{" + cleanText(uri(), kEchoedBytes) + "}" +
               cleanText(localName(element_), kEchoedBytes);
    }
    // Whether an attribute mustUnderstand in the envelope's namespace says "1".
    bool mustBeUnderstood() const {
        for (auto attr = element_.first_attribute(); attr; attr = attr.next_attribute()) {
            const std::string_view name = attr.name();
            const std::string_view prefix = prefixOf(name);
            // Unprefixed attributes are in no namespace, whatever the default namespace is.
            if (!prefix.empty() && localName(name) == "mustUnderstand" &&
                uriOf(prefix) == kSoapEnvelopeNamespace && std::string_view(attr.value()) == "1") {
                return true;
            }
        }
        return false;
    }

private:
    pugi::xml_node element_;
    const Scope* outer_;
    std::unordered_map<std::string_view, std::string_view> declared_;
};

// XML 1.0's Char production.
bool xmlAllows(std::uint32_t code) {
    return code == '\t' || code == '\n' || code == '\r' || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// The code point of the character reference starting at text[at] ("&#...;"), or a value XML
// never allows when it is malformed.
std::uint32_t referencedCode(std::string_view text, std::size_t at) {
    constexpr std::uint32_t kNever = 0;
    const bool hex = at + 2 < text.size() && text[at + 2] == 'x';
    const std::size_t digits = at + (hex ? 3 : 2);
    const std::size_t end = text.find(';', digits);
    if (end == std::string_view::npos || end == digits || end - digits > 8) {
        return kNever;
    }
    std::uint32_t code = 0;
    const auto [last, error] =
        std::from_chars(text.data() + digits, text.data() + end, code, hex ? 16 : 10);
    return error == std::errc{} && last == text.data() + end ? code : kNever;
}

// The parser ends a text at the first NUL and takes a control character from a reference;
// either would let a field be read as less than was sent, so neither reaches it.
void checkCharacters(std::string_view body) {
    for (std::size_t at = 0; at < body.size(); ++at) {
        const auto c = static_cast<unsigned char>(body[at]);
        if (c < 0x20 && !xmlAllows(c)) {
            throw Refused{"The request holds the control character " + std::to_string(c) +
                          ", which XML 1.0 does not allow"};
        }
        if (c == '&' && at + 1 < body.size() && body[at + 1] == '#' &&
            !xmlAllows(referencedCode(body, at))) {
            throw Refused{"The request refers to a character XML 1.0 does not allow (" +
                          cleanText(body.substr(at, body.find(';', at) + 1 - at), 12) + ")"};
        }
    }
}

// Parsed in place: a request of many megabytes is never copied whole.
pugi::xml_node parseEnvelope(std::string& body, pugi::xml_document& document) {
    checkMarkup(body);
    checkCharacters(body);
    // DOCTYPE is parsed only to be refused: a SOAP message may not carry one.
    const auto parsed = document.load_buffer_inplace(
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
    return document.document_element();
}

void checkHeader(const Scope& header) {
    for (const auto& entry : header.element().children()) {
        if (!isElement(entry)) {
            continue;
        }
        const Scope scope(entry, &header);
        if (scope.mustBeUnderstood()) {
            throw Refused{"Header " + scope.qualified() + " must be understood, and is not"};
        }
    }
}

pugi::xml_node bodyElement(const Scope& envelope) {
    pugi::xml_node body;
    for (const auto& child : envelope.element().children()) {
        if (!isElement(child)) {
            continue;
        }
        const Scope scope(child, &envelope);
        if (scope.uri() != kSoapEnvelopeNamespace) {
            continue;
        }
        if (localName(child) == "Header" && !body) {
            checkHeader(scope);
        } else if (localName(child) == "Body" && !body) {
            body = child;
        } else {
            throw Refused{"Unexpected " + scope.qualified() + " in the Envelope"};
        }
    }
    if (!body) {
        throw Refused{"The Envelope has no Body"};
    }
    return body;
}

// Document/literal: the operation holds its three parameters, in the service namespace, and
// nothing else. Each text is a view into the parsed request, joined only when the caller split
// it (by CDATA sections or comments).
struct Parameters {
    std::string_view appId;
    std::string_view huellaWSQ;
    std::string_view modo;
    std::array<std::string, 3> joined;
};

std::string_view textOf(const pugi::xml_node& element, std::string& joined) {
    const pugi::xml_node first = element.first_child();
    const bool textOnly =
        first && (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata);
    if (!first || (textOnly && !first.next_sibling())) {
        return first.value();
    }
    for (const auto& child : element.children()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            joined += child.value();
        }
    }
    return joined;
}

void readParameters(const Scope& operation, Parameters& read) {
    const std::array<std::pair<std::string_view, std::string_view*>, 3> slots{
        {{"AppId", &read.appId}, {"huellaWSQ", &read.huellaWSQ}, {"modo", &read.modo}}};
    std::array<bool, 3> found{};
    for (const auto& child : operation.element().children()) {
        if (!isElement(child)) {
            continue;
        }
        const Scope scope(child, &operation);
        const auto slot = std::find_if(slots.begin(), slots.end(), [&](const auto& known) {
            return scope.is(kQuorvantisServiceNamespace, known.first);
        });
        if (slot == slots.end()) {
            throw Refused{"Unexpected element " + scope.qualified() + " in Fichar"};
        }
        const std::string name(slot->first);
        const auto index = static_cast<std::size_t>(slot - slots.begin());
        if (std::exchange(found[index], true)) {
            throw Refused{"Fichar holds more than one " + name};
        }
        if (child.find_child(isElement)) {
            throw Refused{name + " must hold text, not elements"};
        }
        *slot->second = textOf(child, read.joined[index]);
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (!found[i]) {
            throw Refused{"Fichar lacks its " + std::string(slots[i].first) +
                          " element (in namespace " + std::string(kQuorvantisServiceNamespace) +
                          ")"};
        }
    }
}

// The identifier is echoed in the answer and shown on the page: it must be clean text that
// a strict XML reader takes. A refused one is kept cleaned and cut.
void checkAppId(std::string& appId) {
    if (appId.size() > kMaxAppIdBytes) {
        const std::size_t sent = appId.size();
        appId = cleanText(appId, kMaxAppIdBytes);
        throw Refused{"AppId is " + std::to_string(sent) +
                      " bytes long; this service takes at most " + std::to_string(kMaxAppIdBytes)};
    }
    if (!isCleanText(appId)) {
        appId = cleanText(appId, kMaxAppIdBytes);
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
        // The pixels are only needed for the page's thumbnail and exports, which decode the
        // stored file again; a clock-in only needs to know the print is sound.
        const auto image = wsq::check(print.wsq, decodeLimits);
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

StrictBase64 decodeStrictBase64(std::string_view text, std::size_t maxBytes) {
    // One lookup classes every character, so the alphabet characters that make up nearly all
    // of a print cost a single test.
    static constexpr std::int8_t kInvalid = -1;
    static constexpr std::int8_t kBlank = -2;
    static constexpr std::int8_t kPadding = -3;
    static const auto table = [] {
        std::array<std::int8_t, 256> values{};
        values.fill(kInvalid);
        const std::string_view alphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (std::size_t i = 0; i < alphabet.size(); ++i) {
            values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
        }
        for (const char blank : {' ', '\t', '\r', '\n'}) {
            values[static_cast<unsigned char>(blank)] = kBlank;
        }
        values['='] = kPadding;
        return values;
    }();
    StrictBase64 result;
    // Written in place up to the bound, then cut to what was decoded.
    std::vector<std::uint8_t> bytes(std::min(text.size() / 4 * 3, maxBytes));
    std::size_t written = 0;
    std::uint32_t group = 0;
    int count = 0;
    int padding = 0;
    for (const char c : text) {
        const auto value = table[static_cast<unsigned char>(c)];
        if (value >= 0 && padding == 0) {
            group = group << 6 | static_cast<std::uint32_t>(value);
            if (++count == 4) {
                if (written + 3 > bytes.size()) {
                    return {};
                }
                bytes[written] = static_cast<std::uint8_t>(group >> 16);
                bytes[written + 1] = static_cast<std::uint8_t>(group >> 8);
                bytes[written + 2] = static_cast<std::uint8_t>(group);
                written += 3;
                group = 0;
                count = 0;
            }
        } else if (value == kBlank) {
            continue;
        } else if (value != kPadding || count < 2 || ++padding + count > 4) {
            return {}; // not the alphabet, padding out of place, or anything after padding
        }
    }
    if (count == 1 || (count > 0 && count + padding != 4) || (count == 0 && padding > 0)) {
        return {};
    }
    if (count > 0) {
        group <<= 6 * (4 - count);
        const std::size_t tail = static_cast<std::size_t>(count - 1);
        if (written + tail > maxBytes) {
            return {};
        }
        bytes[written++] = static_cast<std::uint8_t>(group >> 16);
        if (count == 3) {
            bytes[written++] = static_cast<std::uint8_t>(group >> 8);
        }
    }
    bytes.resize(written);
    result.bytes = std::move(bytes);
    result.ok = true;
    return result;
}

FicharRequest readFicharRequest(std::string body, std::string_view soapAction,
                                const PrintLimits& limits) {
    FicharRequest request;
    try {
        checkSoapAction(soapAction);
        pugi::xml_document document;
        const Scope envelope(parseEnvelope(body, document), nullptr);
        if (!envelope.is(kSoapEnvelopeNamespace, "Envelope")) {
            throw Refused{"Expected a SOAP 1.1 Envelope {" + std::string(kSoapEnvelopeNamespace) +
                          "}Envelope, found " + envelope.qualified()};
        }
        const Scope body(bodyElement(envelope), &envelope);
        const auto operation = body.element().find_child(isElement);
        if (!operation) {
            throw Refused{"The Body is empty; expected {" +
                          std::string(kQuorvantisServiceNamespace) + "}Fichar"};
        }
        const Scope fichar(operation, &body);
        if (!fichar.is(kQuorvantisServiceNamespace, kOperation)) {
            throw Refused{"Unknown operation " + fichar.qualified() + "; this service answers {" +
                          std::string(kQuorvantisServiceNamespace) + "}Fichar"};
        }
        Parameters parameters;
        readParameters(fichar, parameters);
        request.appId = std::string(parameters.appId);
        checkAppId(*request.appId);
        request.mode = cleanText(parameters.modo, kMaxModeBytes);
        if (parameters.modo != "I" && parameters.modo != "E") {
            throw Refused{"modo must be \"I\" (entry) or \"E\" (exit), not \"" + *request.mode +
                          "\""};
        }
        decodePrint(parameters.huellaWSQ, limits, request.print);
    } catch (const Refused& refused) {
        request.refusal = refused.text;
    }
    return request;
}

} // namespace qv::clocking
