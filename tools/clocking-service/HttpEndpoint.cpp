// The service's HTTP side: the SOAP endpoint, its WSDL, the ledger page and its pictures.

#include "tools/clocking-service/HttpEndpoint.h"

#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/DisplayText.h"
#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Page.h"
#include "tools/clocking-service/PrintThumbnail.h"
#include "tools/clocking-service/Wsdl.h"

#include <algorithm>
#include <cctype>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>

namespace qv::clocking {

namespace {

constexpr int kPageRows = 50;
constexpr int kThumbnailSide = 200;
constexpr char kXmlType[] = "text/xml; charset=utf-8";
constexpr char kTextType[] = "text/plain; charset=utf-8";
constexpr char kEndpointPath[] = R"(.*QuorvantisService\.asmx)";
constexpr char kEndpointName[] = "/QuorvantisService.asmx";
constexpr char kTokenHeader[] = "X-Clocking-Token";
// The page loads its own pictures and nothing else; no script runs on it.
constexpr char kPagePolicy[] = "default-src 'none'; img-src 'self'; style-src 'unsafe-inline'; "
                               "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// What kEndpointPath matches.
bool isEndpoint(std::string_view path) {
    return path.ends_with("QuorvantisService.asmx");
}

bool hasWsdlQuery(const httplib::Request& request) {
    return std::any_of(request.params.begin(), request.params.end(), [](const auto& param) {
        std::string key = param.first;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return key == "wsdl";
    });
}

// A Host header is the client's text: only a plain host[:port] goes into the WSDL.
bool plausibleHost(const std::string& host) {
    return !host.empty() && host.size() <= 255 &&
           std::all_of(host.begin(), host.end(), [](unsigned char c) {
               return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
           });
}

// The path as the caller wrote it (still percent-encoded), when it is plain enough to be
// an address in the WSDL; the decoded path could hold anything.
std::string endpointPathOf(const httplib::Request& request) {
    const std::string path = request.target.substr(0, request.target.find('?'));
    const bool plain =
        !path.empty() && path.front() == '/' && path.size() <= 1024 &&
        std::all_of(path.begin(), path.end(), [](unsigned char c) {
            return std::isalnum(c) || std::string_view("/-._~%").find(c) != std::string_view::npos;
        });
    return plain && isEndpoint(request.path) ? path : kEndpointName;
}

std::string peerOf(const httplib::Request& request) {
    return request.remote_addr + ":" + std::to_string(request.remote_port);
}

void sendText(httplib::Response& response, int status, const std::string& text) {
    response.status = status;
    response.set_content(text + "\n", kTextType);
}

// Pictures and the page are the service's own documents: never sniffed into something else.
void markOwnDocument(httplib::Response& response) {
    response.set_header("X-Content-Type-Options", "nosniff");
    response.set_header("Content-Security-Policy", kPagePolicy);
    response.set_header("Referrer-Policy", "no-referrer");
}

bool declaresBody(const httplib::Request& request) {
    return request.has_header("Transfer-Encoding") ||
           request.get_header_value<std::uint64_t>("Content-Length") > 0;
}

std::string logLine(const httplib::Request& request, const httplib::Response& response,
                    const std::string& note) {
    std::string line = localTime(now(), "%Y-%m-%d %H:%M:%S") + "  " + peerOf(request) + "  " +
                       displayText(request.method, 8) + " " + displayText(request.path, 60) + "  " +
                       std::to_string(response.status);
    return note.empty() ? line : line + "  " + note;
}

std::string noteFor(const DeskReply& reply) {
    const std::string id = reply.appId ? "\"" + displayText(*reply.appId, 32) + "\"" : "-";
    return id + (reply.fault ? "  refused: " : "  ") + displayText(reply.outcome, 100);
}

} // namespace

HttpEndpoint::HttpEndpoint(ClockingDesk& desk, RequestLogger logger, ConnectionLimits limits)
    : desk_(desk)
    , logger_(std::move(logger))
    , server_(std::make_unique<GuardedServer>(limits)) {
    // Stopping waits for idle kept-alive connections to time out; keep that short.
    server_->set_keep_alive_timeout(2);
    // The library's default adds SO_REUSEPORT, which would let a second service share a port
    // in use instead of refusing it. No Nagle delay: an answer is written in two pieces, and
    // the second would wait for the caller's delayed acknowledgement of the first.
    server_->set_socket_options([](int socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    });
    route();
}

HttpEndpoint::~HttpEndpoint() = default;

bool HttpEndpoint::refuseEarly(const httplib::Request& request, httplib::Response& response) {
    const bool endpoint = isEndpoint(request.path);
    if (!access_->hostAllowed(request.get_header_value("Host"))) {
        sendText(response, 403,
                 "This service answers requests for this machine's loopback names only");
    } else if (!endpoint && !access_->tokenAccepted(request.has_param("token")
                                                        ? request.get_param_value("token")
                                                        : request.get_header_value(kTokenHeader))) {
        sendText(response, 403, "The page needs the token that clocking-service serve printed");
    } else if (!(endpoint && request.method == "POST")) {
        if (!declaresBody(request)) {
            return false;
        }
        sendText(response, 405, "Only SOAP requests to the service's endpoint carry a body");
    } else if (request.get_header_value<std::uint64_t>("Content-Length") > kMaxRequestBytes) {
        const DeskReply reply =
            desk_.refuseUnread("The request is larger than the " +
                                   std::to_string(kMaxRequestBytes) + " bytes this service accepts",
                               peerOf(request));
        GuardedServer::noteForLog(noteFor(reply));
        response.status = 500;
        response.set_content(reply.body, kXmlType);
    } else if (request.is_multipart_form_data()) {
        const DeskReply reply = desk_.refuseUnread("The request is sent as a form (" +
                                                       request.get_header_value("Content-Type") +
                                                       "); SOAP 1.1 requests are text/xml",
                                                   peerOf(request));
        GuardedServer::noteForLog(noteFor(reply));
        response.status = 500;
        response.set_content(reply.body, kXmlType);
    } else {
        return false;
    }
    if (declaresBody(request)) {
        GuardedServer::closeAfterReply();
        response.set_header("Connection", "close");
    }
    return true;
}

void HttpEndpoint::answerFichar(const httplib::Request& request, httplib::Response& response,
                                const httplib::ContentReader& reader) {
    std::string body;
    bool tooLarge = false;
    const bool whole = reader([&](const char* data, std::size_t length) {
        if (body.size() + length > kMaxRequestBytes) {
            tooLarge = true;
            return false;
        }
        body.append(data, length);
        return true;
    });
    if (!whole && !tooLarge) {
        // Cut off by its deadline or by the caller: no request arrived, so none is recorded.
        GuardedServer::closeAfterReply();
        response.set_header("Connection", "close");
        sendText(response, 408, "The request did not arrive in time");
        return;
    }
    DeskReply reply;
    if (tooLarge) {
        body = {};
        reply =
            desk_.refuseUnread("The request is larger than the " +
                                   std::to_string(kMaxRequestBytes) + " bytes this service accepts",
                               peerOf(request));
        GuardedServer::closeAfterReply();
        response.set_header("Connection", "close");
    } else {
        reply = desk_.handle(body, request.get_header_value("SOAPAction"), peerOf(request));
    }
    GuardedServer::noteForLog(noteFor(reply));
    response.status = reply.fault ? 500 : 200;
    response.set_content(reply.body, kXmlType);
}

void HttpEndpoint::answerWsdl(const httplib::Request& request, httplib::Response& response) {
    if (!hasWsdlQuery(request)) {
        response.set_content("Development clocking service. POST SOAP 1.1 requests for "
                             "Fichar here; the WSDL is at this address with ?WSDL.\n",
                             kTextType);
        return;
    }
    const std::string host = request.get_header_value("Host");
    response.set_content(wsdlDocument("http://" + (plausibleHost(host) ? host : boundAddress_) +
                                      endpointPathOf(request)),
                         kXmlType);
}

void HttpEndpoint::route() {
    server_->set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            return refuseEarly(request, response) ? httplib::Server::HandlerResponse::Handled
                                                  : httplib::Server::HandlerResponse::Unhandled;
        });

    server_->Post(
        kEndpointPath,
        [this](const httplib::Request& request, httplib::Response& response,
               const httplib::ContentReader& reader) { answerFichar(request, response, reader); });

    server_->Get(kEndpointPath,
                 [this](const httplib::Request& request, httplib::Response& response) {
                     answerWsdl(request, response);
                 });

    server_->Get("/", [this](const httplib::Request&, httplib::Response& response) {
        const auto lines = desk_.read([](Database& db) { return latestEntries(db, kPageRows); });
        markOwnDocument(response);
        response.set_header("Cache-Control", "no-store");
        response.set_content(renderLedgerPage(lines, access_->token()), "text/html; charset=utf-8");
    });

    server_->Get(R"(/entries/(\d{1,18})/(print|photo)\.jpg)", [this](
                                                                  const httplib::Request& request,
                                                                  httplib::Response& response) {
        const auto entry = desk_.read(
            [&](Database& db) { return findEntry(db, std::stoll(request.matches[1].str())); });
        const bool print = request.matches[2] == "print";
        markOwnDocument(response);
        if (!entry || (print ? entry->wsq.empty() || !entry->printWidth : entry->photo.empty())) {
            sendText(response, 404, "No such picture");
            return;
        }
        const auto jpeg = print ? printThumbnail(entry->wsq, kThumbnailSide) : entry->photo;
        response.set_header("Cache-Control", "private, max-age=86400");
        response.set_content(std::string(jpeg.begin(), jpeg.end()), "image/jpeg");
    });

    // Only the SOAP endpoint answers in SOAP; the page and pictures answer in plain text.
    server_->set_exception_handler(
        [](const httplib::Request& request, httplib::Response& response, std::exception_ptr error) {
            std::string text = "internal error";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                text = e.what();
            } catch (...) {
            }
            if (isEndpoint(request.path) && request.method == "POST") {
                response.status = 500;
                response.set_content(soapFaultXml("Server", text), kXmlType);
            } else {
                sendText(response, 500, text);
            }
        });

    server_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        const std::string note = GuardedServer::takeLogNote();
        if (logger_) {
            logger_(logLine(request, response, note));
        }
    });
}

int HttpEndpoint::bind(const std::string& host, int port) {
    const int bound = port == 0 ? server_->bind_to_any_port(host.c_str())
                                : (server_->bind_to_port(host.c_str(), port) ? port : -1);
    if (bound <= 0) {
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) +
                                 " (is the port in use, or the address not on this machine?)");
    }
    access_.emplace(host);
    boundAddress_ = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                    std::to_string(bound);
    return bound;
}

const std::string& HttpEndpoint::token() const {
    static const std::string none;
    return access_ ? access_->token() : none;
}

void HttpEndpoint::serve() {
    server_->listen_after_bind();
}

void HttpEndpoint::stop() {
    server_->stop();
}

} // namespace qv::clocking
