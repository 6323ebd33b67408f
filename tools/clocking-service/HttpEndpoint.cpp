// The service's HTTP side: the SOAP endpoint, its WSDL, the ledger page and its pictures.

#include "tools/clocking-service/HttpEndpoint.h"

#include "tools/clocking-service/Ledger.h"
#include "tools/clocking-service/Page.h"
#include "tools/clocking-service/PrintThumbnail.h"
#include "tools/clocking-service/Wsdl.h"

#include <algorithm>
#include <cctype>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>

namespace qv::clocking {

namespace {

constexpr int kPageRows = 50;
constexpr int kThumbnailSide = 200;
constexpr char kXmlType[] = "text/xml; charset=utf-8";
constexpr char kEndpointPath[] = R"((.*QuorvantisService\.asmx))";

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

void sendFault(httplib::Response& response, const std::string& body) {
    response.status = 500;
    response.set_content(body, kXmlType);
}

std::string peerOf(const httplib::Request& request) {
    return request.remote_addr + ":" + std::to_string(request.remote_port);
}

} // namespace

HttpEndpoint::HttpEndpoint(ClockingDesk& desk)
    : desk_(desk)
    , server_(std::make_unique<httplib::Server>()) {
    server_->set_payload_max_length(kMaxRequestBytes);
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

void HttpEndpoint::route() {
    server_->Post(
        kEndpointPath, [this](const httplib::Request& request, httplib::Response& response) {
            const DeskReply reply =
                desk_.handle(request.body, request.get_header_value("SOAPAction"), peerOf(request));
            response.status = reply.fault ? 500 : 200;
            response.set_content(reply.body, kXmlType);
        });

    server_->Get(kEndpointPath, [this](const httplib::Request& request,
                                       httplib::Response& response) {
        if (!hasWsdlQuery(request)) {
            response.set_content("Development clocking service. POST SOAP 1.1 requests for "
                                 "Fichar here; the WSDL is at this address with ?WSDL.\n",
                                 "text/plain; charset=utf-8");
            return;
        }
        const std::string host = request.get_header_value("Host");
        response.set_content(
            wsdlDocument("http://" + (plausibleHost(host) ? host : boundAddress_) + request.path),
            kXmlType);
    });

    server_->Get("/", [this](const httplib::Request&, httplib::Response& response) {
        const auto lines = desk_.read([](Database& db) { return latestEntries(db, kPageRows); });
        response.set_header("Cache-Control", "no-store");
        response.set_content(renderLedgerPage(lines), "text/html; charset=utf-8");
    });

    server_->Get(R"(/entries/(\d{1,18})/(print|photo)\.jpg)", [this](
                                                                  const httplib::Request& request,
                                                                  httplib::Response& response) {
        const auto entry = desk_.read(
            [&](Database& db) { return findEntry(db, std::stoll(request.matches[1].str())); });
        const bool print = request.matches[2] == "print";
        if (!entry || (print ? entry->wsq.empty() || !entry->printWidth : entry->photo.empty())) {
            response.status = 404;
            return;
        }
        const auto jpeg = print ? printThumbnail(entry->wsq, kThumbnailSide) : entry->photo;
        response.set_header("Cache-Control", "max-age=86400");
        response.set_content(std::string(jpeg.begin(), jpeg.end()), "image/jpeg");
    });

    // A body over a cap is refused before it is read; SOAP callers still get a fault, and the
    // ledger still records the attempt.
    server_->set_error_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            if (response.status != 413 || request.method != "POST") {
                return;
            }
            const auto length = request.get_header_value<std::uint64_t>("Content-Length");
            const std::string reason =
                length > kMaxRequestBytes
                    ? "The request is larger than the " + std::to_string(kMaxRequestBytes) +
                          " bytes this service accepts"
                    : "The request is sent as a form (" + request.get_header_value("Content-Type") +
                          "); SOAP 1.1 requests are text/xml";
            const DeskReply reply = desk_.refuseUnread(reason, peerOf(request));
            sendFault(response, reply.body);
        });
    server_->set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr error) {
            std::string text = "internal error";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                text = e.what();
            } catch (...) {
            }
            sendFault(response, soapFaultXml("Server", text));
        });
}

int HttpEndpoint::bind(const std::string& host, int port) {
    const int bound = port == 0 ? server_->bind_to_any_port(host.c_str())
                                : (server_->bind_to_port(host.c_str(), port) ? port : -1);
    if (bound <= 0) {
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) +
                                 " (is the port in use, or the address not on this machine?)");
    }
    boundAddress_ = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                    std::to_string(bound);
    return bound;
}

void HttpEndpoint::serve() {
    server_->listen_after_bind();
}

void HttpEndpoint::stop() {
    server_->stop();
}

} // namespace qv::clocking
