// The service's HTTP side: the SOAP endpoint, its WSDL, the ledger page and its pictures.

#pragma once

#include "tools/clocking-service/ClockingDesk.h"

#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace qv::clocking {

// Request bodies above this are refused with a fault before they are read into memory.
inline constexpr std::size_t kMaxRequestBytes = 16 * 1024 * 1024;

// The service's HTTP face: SOAP posts to any path ending in QuorvantisService.asmx, the WSDL
// at that path with ?WSDL, the page of the latest clock-ins at / and its pictures.
class HttpEndpoint {
public:
    explicit HttpEndpoint(ClockingDesk& desk);
    ~HttpEndpoint();
    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Binds the address (port 0 takes a free one) and returns the port; throws when it cannot.
    int bind(const std::string& host, int port);
    // Serves until stop(); returns when every request under way has been answered.
    void serve();
    // Safe from any thread.
    void stop();

private:
    void route();

    ClockingDesk& desk_;
    std::unique_ptr<httplib::Server> server_;
    std::string boundAddress_; // "host:port", for the WSDL when a request names no Host
};

} // namespace qv::clocking
