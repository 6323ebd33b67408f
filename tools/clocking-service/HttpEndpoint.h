// The service's HTTP side: the SOAP endpoint, its WSDL, the ledger page and its pictures.

#pragma once

#include "tools/clocking-service/AccessRule.h"
#include "tools/clocking-service/ClockingDesk.h"
#include "tools/clocking-service/GuardedServer.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qv::clocking {

// Request bodies above this are refused with a fault however they are framed, before more is
// read into memory.
inline constexpr std::size_t kMaxRequestBytes = 16 * 1024 * 1024;

// Receives one line per request answered, from any worker thread.
using RequestLogger = std::function<void(const std::string& line)>;

// The service's HTTP face: SOAP posts to any path ending in QuorvantisService.asmx, the WSDL
// at that path with ?WSDL, the page of the latest clock-ins at / and its pictures.
class HttpEndpoint {
public:
    explicit HttpEndpoint(ClockingDesk& desk, RequestLogger logger = {},
                          ConnectionLimits limits = {});
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Binds the address (port 0 takes a free one) and returns the port; throws when it cannot.
    int bind(const std::string& host, int port);
    // What the page and pictures need on this bind (empty on loopback); known after bind().
    const std::string& token() const;
    // Serves until stop(); returns when every request under way has been answered.
    void serve();
    // Safe from any thread.
    void stop();

private:
    void route();
    // Host and token rules, bodies where none belong and oversized ones: answered before any
    // body is read. True when the request has been answered.
    bool refuseEarly(const httplib::Request& request, httplib::Response& response);
    void answerFichar(const httplib::Request& request, httplib::Response& response,
                      const httplib::ContentReader& reader);
    void answerWsdl(const httplib::Request& request, httplib::Response& response);

    ClockingDesk& desk_;
    RequestLogger logger_;
    std::unique_ptr<GuardedServer> server_;
    std::optional<AccessRule> access_;
    std::string boundAddress_; // "host:port", for the WSDL when a request names no Host
};

} // namespace qv::clocking
