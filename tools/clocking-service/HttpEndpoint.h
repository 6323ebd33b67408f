// The service's HTTP side: the SOAP endpoint, its WSDL, the ledger page and its pictures.

#pragma once

#include "tools/clocking-service/AccessRule.h"
#include "tools/clocking-service/ClockingDesk.h"
#include "tools/clocking-service/HttpServer.h"
#include "tools/clocking-service/Thumbnailer.h"

#include <optional>
#include <string>

namespace qv::clocking {

// Request bodies above this are refused with a fault however they are framed, before more is
// read into memory.
inline constexpr std::size_t kMaxRequestBytes = 16 * 1024 * 1024;

// The service's HTTP face: SOAP posts to any path ending in QuorvantisService.asmx, the WSDL
// at that path with ?WSDL, the page of the latest clock-ins at / and its pictures.
class HttpEndpoint : private HttpRoutes {
public:
    explicit HttpEndpoint(ClockingDesk& desk, RequestLogger logger = {},
                          ConnectionLimits limits = {});
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Binds the address (port 0 takes a free one) and returns the port; throws when it cannot.
    int bind(const std::string& host, int port);
    // What the page and pictures need on this bind (empty on loopback); known after bind().
    const std::string& token() const;
    // Serves until stop(); returns when every request under way has been answered.
    void serve() { server_.serve(); }
    // Safe from any thread, before or during serve().
    void stop() { server_.stop(); }

private:
    // Host and token rules, framing, bodies where none belong and oversized ones: answered
    // before any body is read.
    std::optional<HttpReply> refuseEarly(HttpRequest& request) override;
    HttpReply answer(HttpRequest& request) override;
    HttpReply busy(HttpRequest& request) override;
    void refuseOversizedChunks(HttpRequest& request) override;
    HttpReply failed(const HttpRequest& request, const std::exception& error) override;

    HttpReply answerFichar(HttpRequest& request);
    HttpReply answerWsdl(const HttpRequest& request) const;
    HttpReply answerPicture(const HttpRequest& request);
    HttpReply refusedUnread(HttpRequest& request, int status, const std::string& reason);

    ClockingDesk& desk_;
    HttpServer server_;
    std::optional<AccessRule> access_;
    Thumbnailer thumbnails_;
    std::string boundAddress_; // "host:port", for the WSDL when a request names no Host
};

} // namespace qv::clocking
