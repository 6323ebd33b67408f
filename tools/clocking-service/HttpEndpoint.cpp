// The service's HTTP side: the SOAP endpoint, its WSDL, the ledger page and its pictures.

#include "tools/clocking-service/HttpEndpoint.h"

#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/DisplayText.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Page.h"
#include "tools/clocking-service/Wsdl.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <microhttpd.h>
#include <netdb.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qv::clocking {

namespace {

constexpr int kPageRows = 50;
constexpr int kThumbnailSide = 200;
constexpr int kListenBacklog = 128;
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

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A Host header is the client's text: only a plain host[:port] goes into the WSDL.
bool plausibleHost(const std::string& host) {
    return !host.empty() && host.size() <= 255 &&
           std::all_of(host.begin(), host.end(), [](unsigned char c) {
               return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
           });
}

std::string logTime() {
    return localTime(now(), "%Y-%m-%d %H:%M:%S");
}

std::string noteFor(const DeskReply& reply) {
    const std::string id = reply.appId ? "\"" + displayText(*reply.appId, 32) + "\"" : "-";
    return id + (reply.fault ? "  refused: " : "  ") + displayText(reply.outcome, 100);
}

// Why a request ended without its answer being sent whole.
const char* terminationText(int code) {
    switch (code) {
    case MHD_REQUEST_TERMINATED_COMPLETED_OK:
        return "";
    case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED:
        return "timed out: the caller fell silent";
    case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN:
        return "cut: the service is stopping";
    case MHD_REQUEST_TERMINATED_CLIENT_ABORT:
    case MHD_REQUEST_TERMINATED_READ_ERROR:
        return "the caller closed the connection, or it was cut";
    default:
        return "refused: not a well-formed HTTP request, or its head is too large";
    }
}

struct ListenSocket {
    int fd = -1;
    bool ipv6 = false;
    int port = 0;
};

ListenSocket listenOn(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return {};
    }
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, &::freeaddrinfo);
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return {};
    }
    // SO_REUSEADDR only: with SO_REUSEPORT a second service would share a port in use
    // instead of being refused it.
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, kListenBacklog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        ::close(fd);
        return {};
    }
    const int boundPort = bound.ss_family == AF_INET6
                              ? ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port)
                              : ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
    return {fd, found->ai_family == AF_INET6, boundPort};
}

struct DaemonStopper {
    void operator()(MHD_Daemon* daemon) const { MHD_stop_daemon(daemon); }
};
using Daemon = std::unique_ptr<MHD_Daemon, DaemonStopper>;

struct ResponseDestroyer {
    void operator()(MHD_Response* response) const { MHD_destroy_response(response); }
};

} // namespace

struct HttpEndpoint::Exchange {
    std::string target; // as sent, still percent-encoded
    std::string peer;
    std::string method;
    std::string path;
    MHD_Connection* connection = nullptr;
    bool begun = false;
    bool answered = false;
    std::string body;
    int status = 0;
    std::string note;

    std::optional<std::string> header(const char* name) const {
        const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::optional<std::string> argument(const char* name) const {
        const char* value = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    bool hasWsdlQuery() const {
        bool found = false;
        MHD_get_connection_values(
            connection, MHD_GET_ARGUMENT_KIND,
            [](void* cls, MHD_ValueKind, const char* key, const char*) {
                *static_cast<bool*>(cls) = *static_cast<bool*>(cls) || sameLetters(key, "wsdl");
                return MHD_YES;
            },
            &found);
        return found;
    }
    bool declaresBody() const {
        return header(MHD_HTTP_HEADER_TRANSFER_ENCODING) ||
               header(MHD_HTTP_HEADER_CONTENT_LENGTH).value_or("0") != "0";
    }
    // The path as the caller wrote it, when it is plain enough to be an address in the WSDL;
    // the decoded path could hold anything.
    std::string endpointPath() const {
        const std::string written = target.substr(0, target.find('?'));
        const bool plain = !written.empty() && written.front() == '/' && written.size() <= 1024 &&
                           std::all_of(written.begin(), written.end(), [](unsigned char c) {
                               return std::isalnum(c) ||
                                      std::string_view("/-._~%").find(c) != std::string_view::npos;
                           });
        return plain && isEndpoint(path) ? written : kEndpointName;
    }
};

struct HttpEndpoint::Reply {
    int status = 200;
    std::string body;
    const char* type = kTextType;
    std::vector<std::pair<const char*, std::string>> headers;
    bool close = false; // the connection ends after this answer
    // Pictures and the page are the service's own documents: never sniffed into something else.
    Reply& ownDocument() {
        headers.emplace_back("X-Content-Type-Options", "nosniff");
        headers.emplace_back("Content-Security-Policy", kPagePolicy);
        headers.emplace_back("Referrer-Policy", "no-referrer");
        return *this;
    }
};

namespace {

HttpEndpoint::Reply text(int status, const std::string& line) {
    return {status, line + "\n", kTextType, {}, false};
}

MHD_Result result(int queued) {
    return queued == MHD_YES ? MHD_YES : MHD_NO;
}

} // namespace

// The library calls C functions; these pass each call on and keep exceptions inside.
struct HttpEndpoint::Callbacks {
    static void* uriReceived(void* self, const char* uri, MHD_Connection* connection) {
        auto* endpoint = static_cast<HttpEndpoint*>(self);
        auto exchange = std::make_unique<Exchange>();
        exchange->target = uri ? uri : "";
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        exchange->peer = peerText(info ? info->client_addr : nullptr);
        {
            std::lock_guard lock(endpoint->state_);
            ++endpoint->underWay_;
        }
        return exchange.release(); // owned by the library until requestEnded
    }

    static MHD_Result request(void* self, MHD_Connection* connection, const char* url,
                              const char* method, const char*, const char* upload,
                              size_t* uploadSize, void** context) {
        auto* endpoint = static_cast<HttpEndpoint*>(self);
        auto& exchange = *static_cast<Exchange*>(*context);
        exchange.connection = connection;
        try {
            if (!exchange.begun) {
                exchange.begun = true;
                exchange.method = method;
                exchange.path = url;
                if (auto refusal = endpoint->refuseEarly(exchange)) {
                    return result(endpoint->respond(exchange, std::move(*refusal)));
                }
                // Answered once the whole request is in: an answer queued before that makes
                // the library close the connection after it.
                return MHD_YES;
            }
            if (*uploadSize > 0) {
                if (exchange.body.size() + *uploadSize > kMaxRequestBytes) {
                    // Framed in chunks, it outgrew the limit: nothing can be answered before
                    // the body's end, which may never come. Recorded, and the connection cut.
                    endpoint->desk_.refuseUnread("The request is larger than the " +
                                                     std::to_string(kMaxRequestBytes) +
                                                     " bytes this service accepts",
                                                 exchange.peer);
                    exchange.note = "body larger than allowed: connection cut";
                    return MHD_NO;
                }
                exchange.body.append(upload, *uploadSize);
                *uploadSize = 0;
                return MHD_YES;
            }
            return result(endpoint->respond(exchange, endpoint->answer(exchange)));
        } catch (const std::exception& error) {
            Reply failed = text(500, error.what());
            if (isEndpoint(exchange.path) && exchange.method == "POST") {
                failed.body = soapFaultXml("Server", error.what());
                failed.type = kXmlType;
            }
            failed.close = true;
            return result(endpoint->respond(exchange, std::move(failed)));
        }
    }

    static void requestEnded(void* self, MHD_Connection* connection, void** context,
                             MHD_RequestTerminationCode code) {
        std::unique_ptr<Exchange> exchange(static_cast<Exchange*>(*context));
        *context = nullptr;
        if (exchange) {
            static_cast<HttpEndpoint*>(self)->finished(connection, *exchange, code);
        }
    }

    static void connectionChanged(void* self, MHD_Connection* connection, void** context,
                                  MHD_ConnectionNotificationCode code) {
        auto& doorkeeper = *static_cast<HttpEndpoint*>(self)->doorkeeper_;
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* fd =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            const MHD_ConnectionInfo* address =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            *context = doorkeeper.arrive(fd->connect_fd, address ? address->client_addr : nullptr);
        } else {
            doorkeeper.leave(static_cast<Doorkeeper::Visit*>(*context));
            *context = nullptr;
        }
    }

    // The library's own reports: connections over the total limit, malformed requests.
    static void libraryMessage(void* self, const char* format, va_list arguments) {
        std::array<char, 512> line{};
        std::vsnprintf(line.data(), line.size(), format, arguments);
        std::string message = line.data();
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
            message.pop_back();
        }
        static_cast<HttpEndpoint*>(self)->refusals_.write("HTTP library: " +
                                                          displayText(message, 200));
    }
};

HttpEndpoint::HttpEndpoint(ClockingDesk& desk, RequestLogger logger, ConnectionLimits limits)
    : desk_(desk)
    , logger_(std::move(logger))
    , limits_(limits)
    , refusals_(logger_) {}

HttpEndpoint::~HttpEndpoint() {
    if (listenFd_ >= 0) {
        ::close(listenFd_);
    }
}

std::optional<HttpEndpoint::Reply> HttpEndpoint::refuseEarly(Exchange& exchange) {
    const bool endpoint = isEndpoint(exchange.path);
    const bool fichar = endpoint && exchange.method == "POST";
    const bool unframed = !exchange.header(MHD_HTTP_HEADER_CONTENT_LENGTH) &&
                          !exchange.header(MHD_HTTP_HEADER_TRANSFER_ENCODING) &&
                          exchange.method != "GET" && exchange.method != "HEAD";
    const auto faultReply = [&](int status, const std::string& reason) {
        const DeskReply reply = desk_.refuseUnread(reason, exchange.peer);
        exchange.note = noteFor(reply);
        return Reply{status, reply.body, kXmlType, {}, exchange.declaresBody() || unframed};
    };
    if (!access_->hostAllowed(exchange.header(MHD_HTTP_HEADER_HOST).value_or(""))) {
        Reply refused =
            text(403, "This service answers requests for this machine's loopback names only");
        refused.close = exchange.declaresBody();
        return refused;
    }
    if (!endpoint && !access_->tokenAccepted(exchange.argument("token").value_or(
                         exchange.header(kTokenHeader).value_or("")))) {
        Reply refused = text(403, "The page needs the token that clocking-service serve printed");
        refused.close = exchange.declaresBody();
        return refused;
    }
    const auto coding = exchange.header(MHD_HTTP_HEADER_TRANSFER_ENCODING);
    if (coding &&
        (!sameLetters(*coding, "chunked") || exchange.header(MHD_HTTP_HEADER_CONTENT_LENGTH))) {
        // Any other coding, or a length as well, leaves where the body ends open to doubt.
        Reply refused = text(400, "A body is framed by Content-Length or by chunked "
                                  "Transfer-Encoding alone");
        refused.close = true;
        return refused;
    }
    if (unframed) {
        const std::string reason = "A request with a body must give its length (Content-Length) "
                                   "or send it in chunks";
        if (fichar) {
            return faultReply(411, reason);
        }
        Reply refused = text(411, reason);
        refused.close = true;
        return refused;
    }
    if (!fichar) {
        if (!exchange.declaresBody()) {
            return std::nullopt;
        }
        Reply refused = text(405, "Only SOAP requests to the service's endpoint carry a body");
        refused.close = true;
        return refused;
    }
    const std::string length = exchange.header(MHD_HTTP_HEADER_CONTENT_LENGTH).value_or("0");
    std::uint64_t declared = 0;
    const auto [end, error] =
        std::from_chars(length.data(), length.data() + length.size(), declared);
    if (error != std::errc{} || end != length.data() + length.size() ||
        declared > kMaxRequestBytes) {
        return faultReply(500, "The request is larger than the " +
                                   std::to_string(kMaxRequestBytes) +
                                   " bytes this service accepts");
    }
    const std::string type = exchange.header(MHD_HTTP_HEADER_CONTENT_TYPE).value_or("");
    if (type.starts_with("multipart/form-data")) {
        return faultReply(500, "The request is sent as a form (" + displayText(type, 80) +
                                   "); SOAP 1.1 requests are text/xml");
    }
    return std::nullopt;
}

HttpEndpoint::Reply HttpEndpoint::answerFichar(Exchange& exchange) {
    const DeskReply reply =
        desk_.handle(exchange.body, exchange.header("SOAPAction").value_or(""), exchange.peer);
    exchange.body = {};
    exchange.note = noteFor(reply);
    return {reply.fault ? 500 : 200, reply.body, kXmlType, {}, false};
}

HttpEndpoint::Reply HttpEndpoint::answerWsdl(const Exchange& exchange) const {
    if (!exchange.hasWsdlQuery()) {
        return text(200, "Development clocking service. POST SOAP 1.1 requests for "
                         "Fichar here; the WSDL is at this address with ?WSDL.");
    }
    const std::string host = exchange.header(MHD_HTTP_HEADER_HOST).value_or("");
    return {200,
            wsdlDocument("http://" + (plausibleHost(host) ? host : boundAddress_) +
                         exchange.endpointPath()),
            kXmlType,
            {},
            false};
}

HttpEndpoint::Reply HttpEndpoint::answerPicture(const Exchange& exchange) {
    // /entries/<number>/print.jpg or /entries/<number>/photo.jpg
    const std::string_view path = exchange.path;
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
    Reply reply = text(404, "No such picture");
    reply.ownDocument();
    ThumbnailCache::Jpeg jpeg = print ? thumbnails_.find(row) : nullptr;
    if (!jpeg) {
        const auto entry = desk_.read([&](Database& db) { return findEntry(db, row); });
        if (!entry || (print ? entry->wsq.empty() || !entry->printWidth : entry->photo.empty())) {
            return reply;
        }
        jpeg = print ? thumbnails_.keep(row, printThumbnail(entry->wsq, kThumbnailSide))
                     : std::make_shared<const std::vector<std::uint8_t>>(entry->photo);
    }
    reply.status = 200;
    reply.body.assign(jpeg->begin(), jpeg->end());
    reply.type = "image/jpeg";
    reply.headers.emplace_back("Cache-Control", "private, max-age=86400");
    return reply;
}

HttpEndpoint::Reply HttpEndpoint::answer(Exchange& exchange) {
    if (isEndpoint(exchange.path) && exchange.method == "POST") {
        return answerFichar(exchange);
    }
    if (exchange.method != "GET" && exchange.method != "HEAD") {
        return text(405, "This address answers GET only");
    }
    if (isEndpoint(exchange.path)) {
        return answerWsdl(exchange);
    }
    if (exchange.path == "/") {
        const auto lines = desk_.read([](Database& db) { return latestEntries(db, kPageRows); });
        Reply page{200,
                   renderLedgerPage(lines, access_->token()),
                   "text/html; charset=utf-8",
                   {{"Cache-Control", "no-store"}},
                   false};
        page.ownDocument();
        return page;
    }
    if (exchange.path.starts_with("/entries/")) {
        return answerPicture(exchange);
    }
    return text(404, "Not found");
}

int HttpEndpoint::respond(Exchange& exchange, Reply reply) {
    const std::unique_ptr<MHD_Response, ResponseDestroyer> response(MHD_create_response_from_buffer(
        reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY));
    if (!response) {
        return MHD_NO;
    }
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE, reply.type);
    for (const auto& [name, value] : reply.headers) {
        MHD_add_response_header(response.get(), name, value.c_str());
    }
    const MHD_ConnectionInfo* context =
        MHD_get_connection_info(exchange.connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    const auto* visit =
        context ? static_cast<const Doorkeeper::Visit*>(context->socket_context) : nullptr;
    if (reply.close || closing_ || doorkeeper_->nearItsEnd(visit)) {
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONNECTION, "close");
    }
    exchange.status = reply.status;
    exchange.answered = true;
    return MHD_queue_response(exchange.connection, static_cast<unsigned>(reply.status),
                              response.get());
}

void HttpEndpoint::finished(MHD_Connection* connection, Exchange& exchange, int termination) {
    if (logger_) {
        int status = exchange.status;
        if (status == 0) {
            const MHD_ConnectionInfo* queued =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS);
            status = queued ? static_cast<int>(queued->http_status) : 0;
        }
        std::string line = logTime() + "  " + exchange.peer + "  " +
                           (exchange.begun ? displayText(exchange.method, 8) : "-") + " " +
                           displayText(exchange.begun ? exchange.path : exchange.target, 60) +
                           "  " + (status ? std::to_string(status) : "-");
        const std::string note =
            exchange.note.empty() ? std::string(terminationText(termination)) : exchange.note;
        if (!note.empty()) {
            line += "  " + note;
        }
        logger_(line);
    }
    std::lock_guard lock(state_);
    --underWay_;
    changed_.notify_all();
}

int HttpEndpoint::bind(const std::string& host, int port) {
    const ListenSocket bound = listenOn(host, port);
    if (bound.fd < 0) {
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) +
                                 " (is the port in use, or the address not on this machine?)");
    }
    listenFd_ = bound.fd;
    ipv6_ = bound.ipv6;
    access_.emplace(host);
    boundAddress_ = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                    std::to_string(bound.port);
    return bound.port;
}

const std::string& HttpEndpoint::token() const {
    static const std::string none;
    return access_ ? access_->token() : none;
}

void HttpEndpoint::serve() {
    doorkeeper_.emplace(limits_, refusals_);
    const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ITC |
                           MHD_USE_ERROR_LOG | (ipv6_ ? MHD_USE_IPv6 : 0);
    Daemon daemon(MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Callbacks::request, this, MHD_OPTION_EXTERNAL_LOGGER,
        &Callbacks::libraryMessage, this, MHD_OPTION_LISTEN_SOCKET, listenFd_,
        MHD_OPTION_THREAD_POOL_SIZE, limits_.threads, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        limits_.memoryPerConnection, MHD_OPTION_CONNECTION_LIMIT, limits_.total,
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(limits_.idle.count()),
        MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_NOTIFY_CONNECTION,
        &Callbacks::connectionChanged, this, MHD_OPTION_URI_LOG_CALLBACK, &Callbacks::uriReceived,
        this, MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::requestEnded, this, MHD_OPTION_END));
    if (!daemon) {
        doorkeeper_.reset();
        throw std::runtime_error("the HTTP server could not start");
    }
    std::unique_lock lock(state_);
    changed_.wait(lock, [this] { return stopRequested_; });
    // No new connections; the requests under way are answered, for at most a connection's
    // life, and their connections closed after their answers.
    closing_ = true;
    MHD_quiesce_daemon(daemon.get());
    changed_.wait_for(lock, limits_.lifetime, [this] { return underWay_ == 0; });
    lock.unlock();
    daemon.reset();
    doorkeeper_.reset();
}

void HttpEndpoint::stop() {
    std::lock_guard lock(state_);
    stopRequested_ = true;
    changed_.notify_all();
}

} // namespace qv::clocking
