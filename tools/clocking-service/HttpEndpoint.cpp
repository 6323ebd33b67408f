// The service's HTTP side: the SOAP endpoint, its WSDL, the ledger page and its pictures.

#include "tools/clocking-service/HttpEndpoint.h"

#include "platform/TextCase.h"
#include "tools/clocking-service/DisplayText.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Page.h"
#include "tools/clocking-service/Wsdl.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <utility>
#include <vector>

namespace qv::clocking {

namespace {

constexpr int kPageRows = 50;
constexpr int kThumbnailSide = 200;
constexpr int kBusyRetrySeconds = 5;
constexpr char kXmlType[] = "text/xml; charset=utf-8";
constexpr char kTextType[] = "text/plain; charset=utf-8";
constexpr char kEndpointName[] = "/QuorvantisService.asmx";
constexpr char kTokenHeader[] = "X-Clocking-Token";
// The page loads its own pictures and nothing else; no script runs on it.
constexpr char kPagePolicy[] = "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; "
                               "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

bool isEndpoint(std::string_view path) {
    return path.ends_with("QuorvantisService.asmx");
}

// A Host header is the client's text: only a plain host[:port] goes into the WSDL.
bool plausibleHost(const std::string& host) {
    return !host.empty() && host.size() <= 255 &&
           std::all_of(host.begin(), host.end(), [](unsigned char c) {
               return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
           });
}

std::string noteFor(const DeskReply& reply) {
    const std::string id = reply.appId ? "\"" + displayText(*reply.appId, 32) + "\"" : "-";
    return id + (reply.fault ? "  refused: " : "  ") + displayText(reply.outcome, 100);
}

HttpReply text(int status, const std::string& line) {
    return {status, line + "\n", kTextType, {}, false};
}

// Pictures and the page are the service's own documents: never sniffed into something else.
void markOwnDocument(HttpReply& reply) {
    reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
    reply.headers.emplace_back("Content-Security-Policy", kPagePolicy);
    reply.headers.emplace_back("Referrer-Policy", "no-referrer");
}

// The path as the caller wrote it, when it is plain enough to be an address in the WSDL;
// the decoded path could hold anything.
std::string endpointPathOf(const HttpRequest& request) {
    const std::string& target = request.target();
    const std::string written = target.substr(0, target.find('?'));
    const bool plain =
        !written.empty() && written.front() == '/' && written.size() <= 1024 &&
        std::all_of(written.begin(), written.end(), [](unsigned char c) {
            return std::isalnum(c) || std::string_view("/-._~%").find(c) != std::string_view::npos;
        });
    return plain && isEndpoint(request.path()) ? written : kEndpointName;
}

} // namespace

HttpEndpoint::HttpEndpoint(ClockingDesk& desk, RequestLogger logger, ConnectionLimits limits)
    : desk_(desk)
    , server_(*this, std::move(logger), limits, kMaxRequestBytes)
    , thumbnails_(
          [this](std::int64_t row) {
              auto entry = desk_.read([&](Database& db) { return findEntry(db, row); });
              return entry && entry->printWidth ? std::move(entry->wsq)
                                                : std::vector<std::uint8_t>{};
          },
          kThumbnailSide) {
    // The page's first showing finds the thumbnails of the entries it lists made.
    const auto lines = desk_.read([](Database& db) { return latestEntries(db, kPageRows); });
    for (const auto& line : lines) {
        if (line.hasPrint) {
            thumbnails_.make(line.entry.entry);
        }
    }
}

std::optional<HttpReply> HttpEndpoint::refuseEarly(HttpRequest& request) {
    const bool endpoint = isEndpoint(request.path());
    const bool fichar = endpoint && request.method() == "POST";
    const bool unframed = !request.header("Content-Length") &&
                          !request.header("Transfer-Encoding") && request.method() != "GET" &&
                          request.method() != "HEAD";
    if (!access_->hostAllowed(request.header("Host").value_or(""))) {
        HttpReply refused =
            text(403, "This service answers requests for this machine's loopback names only");
        refused.close = request.declaresBody();
        return refused;
    }
    if (!endpoint && !access_->tokenAccepted(request.argument("token").value_or(
                         request.header(kTokenHeader).value_or("")))) {
        HttpReply refused =
            text(403, "The page needs the token that clocking-service serve printed");
        refused.close = request.declaresBody();
        return refused;
    }
    // A browser sends Origin; a page elsewhere must not make one clock in or fill the ledger.
    if (const auto origin = request.header("Origin");
        origin && request.method() == "POST" &&
        *origin != "http://" + request.header("Host").value_or("")) {
        HttpReply refused = text(403, "Requests from another site's pages are not accepted");
        refused.close = request.declaresBody();
        return refused;
    }
    const auto coding = request.header("Transfer-Encoding");
    // A connection's later requests pass the head gate no more; the library keeps only the
    // first of repeated headers.
    const bool repeated =
        request.headerCount("Content-Length") > 1 || request.headerCount("Transfer-Encoding") > 1;
    if (repeated ||
        (coding && (!equalsIgnoringCase(*coding, "chunked") || request.header("Content-Length")))) {
        // Any other coding, or a length as well, leaves where the body ends open to doubt.
        HttpReply refused = text(400, "A body is framed by Content-Length or by chunked "
                                      "Transfer-Encoding alone");
        refused.close = true;
        return refused;
    }
    if (unframed) {
        const std::string reason = "A request with a body must give its length (Content-Length) "
                                   "or send it in chunks";
        if (fichar) {
            return refusedUnread(request, 411, reason);
        }
        HttpReply refused = text(411, reason);
        refused.close = true;
        return refused;
    }
    if (!fichar) {
        if (!request.declaresBody()) {
            return std::nullopt;
        }
        HttpReply refused = text(405, "Only SOAP requests to the service's endpoint carry a body");
        refused.close = true;
        return refused;
    }
    const std::string length = request.header("Content-Length").value_or("0");
    std::uint64_t declared = 0;
    const auto [end, error] =
        std::from_chars(length.data(), length.data() + length.size(), declared);
    if (error != std::errc{} || end != length.data() + length.size() ||
        declared > kMaxRequestBytes) {
        return refusedUnread(request, 500,
                             "The request is larger than the " + std::to_string(kMaxRequestBytes) +
                                 " bytes this service accepts");
    }
    const std::string type = request.header("Content-Type").value_or("");
    if (type.starts_with("multipart/form-data")) {
        return refusedUnread(request, 500,
                             "The request is sent as a form (" + displayText(type, 80) +
                                 "); SOAP 1.1 requests are text/xml");
    }
    return std::nullopt;
}

HttpReply HttpEndpoint::refusedUnread(HttpRequest& request, int status, const std::string& reason) {
    const DeskReply reply = desk_.refuseUnread(reason, request.peer());
    request.note = noteFor(reply);
    // Whatever body follows is not read: the connection ends with the answer.
    return {status, reply.body, kXmlType, {}, true};
}

HttpReply HttpEndpoint::busy(HttpRequest& request) {
    // Not recorded: the caller is asked to come back, not refused.
    request.note = "busy: the memory for request bodies is in use";
    const std::string message =
        "The service is busy; try again in " + std::to_string(kBusyRetrySeconds) + " s";
    HttpReply reply = isEndpoint(request.path())
                          ? HttpReply{503, soapFaultXml("Server", message), kXmlType, {}, true}
                          : text(503, message);
    reply.close = true;
    reply.headers.emplace_back("Retry-After", std::to_string(kBusyRetrySeconds));
    return reply;
}

void HttpEndpoint::refuseOversizedChunks(HttpRequest& request) {
    refusedUnread(request, 500,
                  "The request is larger than the " + std::to_string(kMaxRequestBytes) +
                      " bytes this service accepts");
    request.note += "; connection cut";
}

HttpReply HttpEndpoint::failed(const HttpRequest& request, const std::exception& error) {
    // Only the SOAP endpoint answers in SOAP; the page and pictures answer in plain text.
    if (isEndpoint(request.path()) && request.method() == "POST") {
        return {500, soapFaultXml("Server", error.what()), kXmlType, {}, true};
    }
    return text(500, error.what());
}

HttpReply HttpEndpoint::answerFichar(HttpRequest& request) {
    const DeskReply reply = desk_.handle(std::move(request.body),
                                         request.header("SOAPAction").value_or(""), request.peer());
    if (reply.printEntry) {
        thumbnails_.make(reply.printEntry);
    }
    request.note = noteFor(reply);
    return {reply.fault ? 500 : 200, reply.body, kXmlType, {}, false};
}

HttpReply HttpEndpoint::answerWsdl(const HttpRequest& request) const {
    if (!request.hasArgument("wsdl")) {
        return text(200, "Development clocking service. POST SOAP 1.1 requests for "
                         "Fichar here; the WSDL is at this address with ?WSDL.");
    }
    const std::string host = request.header("Host").value_or("");
    return {200,
            wsdlDocument("http://" + (plausibleHost(host) ? host : boundAddress_) +
                         endpointPathOf(request)),
            kXmlType,
            {},
            false};
}

HttpReply HttpEndpoint::answerPicture(const HttpRequest& request) {
    // /entries/<number>/print.jpg or /entries/<number>/photo.jpg
    const std::string_view path = request.path();
    constexpr std::string_view prefix = "/entries/";
    const auto slash = path.find('/', prefix.size());
    const std::string_view number = path.substr(prefix.size(), slash - prefix.size());
    const std::string_view file = slash == std::string_view::npos ? "" : path.substr(slash + 1);
    std::int64_t row = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), row);
    const bool print = file == "print.jpg";
    if (number.size() > 18 || error != std::errc{} || end != number.data() + number.size() ||
        !(print || file == "photo.jpg")) {
        return text(404, "Not found");
    }
    HttpReply reply = text(404, "No such picture");
    markOwnDocument(reply);
    ThumbnailCache::Jpeg jpeg;
    if (print) {
        const auto made = thumbnails_.find(row);
        if (!made) {
            thumbnails_.make(row);
            HttpReply later = text(503, "The thumbnail is being made; try again in a moment");
            later.headers.emplace_back("Retry-After", "1");
            return later;
        }
        jpeg = *made;
    } else {
        auto entry = desk_.read([&](Database& db) { return findEntry(db, row); });
        jpeg = entry ? std::make_shared<const std::vector<std::uint8_t>>(std::move(entry->photo))
                     : nullptr;
    }
    if (!jpeg || jpeg->empty()) {
        return reply;
    }
    reply.status = 200;
    reply.body.assign(jpeg->begin(), jpeg->end());
    reply.type = "image/jpeg";
    reply.headers.emplace_back("Cache-Control", "private, max-age=86400");
    return reply;
}

HttpReply HttpEndpoint::answer(HttpRequest& request) {
    if (isEndpoint(request.path()) && request.method() == "POST") {
        return answerFichar(request);
    }
    if (request.method() != "GET" && request.method() != "HEAD") {
        return text(405, "This address answers GET only");
    }
    if (isEndpoint(request.path())) {
        return answerWsdl(request);
    }
    if (request.path() == "/") {
        const auto lines = desk_.read([](Database& db) { return latestEntries(db, kPageRows); });
        HttpReply page{200,
                       renderLedgerPage(lines, access_->token()),
                       "text/html; charset=utf-8",
                       {{"Cache-Control", "no-store"}},
                       false};
        markOwnDocument(page);
        return page;
    }
    if (request.path().starts_with("/entries/")) {
        return answerPicture(request);
    }
    return text(404, "Not found");
}

int HttpEndpoint::bind(const std::string& host, int port) {
    const int bound = server_.bind(host, port);
    access_.emplace(host);
    boundAddress_ = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                    std::to_string(bound);
    return bound;
}

const std::string& HttpEndpoint::token() const {
    static const std::string none;
    return access_ ? access_->token() : none;
}

} // namespace qv::clocking
