// The service's HTTP side: the SOAP endpoint, its WSDL, the ledger page and its pictures.

#pragma once

#include "tools/clocking-service/AccessRule.h"
#include "tools/clocking-service/ClockingDesk.h"
#include "tools/clocking-service/Doorkeeper.h"
#include "tools/clocking-service/PrintThumbnail.h"
#include "tools/clocking-service/RefusalLog.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct MHD_Connection;

namespace qv::clocking {

// Request bodies above this are refused with a fault however they are framed, before more is
// read into memory.
inline constexpr std::size_t kMaxRequestBytes = 16 * 1024 * 1024;

// The service's HTTP face: SOAP posts to any path ending in QuorvantisService.asmx, the WSDL
// at that path with ?WSDL, the page of the latest clock-ins at / and its pictures. The HTTP
// library bounds what each connection may send and hold; the doorkeeper bounds who may
// connect and for how long.
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
    // Safe from any thread, before or during serve().
    void stop();

    // One request on its way through the library's callbacks.
    struct Exchange;
    struct Reply;
    // The library's callbacks, which reach the members below.
    struct Callbacks;

private:
    Reply answer(Exchange& exchange);
    std::optional<Reply> refuseEarly(Exchange& exchange);
    Reply answerFichar(Exchange& exchange);
    Reply answerWsdl(const Exchange& exchange) const;
    Reply answerPicture(const Exchange& exchange);
    int respond(Exchange& exchange, Reply reply);
    void finished(MHD_Connection* connection, Exchange& exchange, int termination);

    ClockingDesk& desk_;
    RequestLogger logger_;
    ConnectionLimits limits_;
    RefusalLog refusals_;
    std::optional<Doorkeeper> doorkeeper_;
    std::optional<AccessRule> access_;
    ThumbnailCache thumbnails_;
    int listenFd_ = -1;
    bool ipv6_ = false;
    std::string boundAddress_; // "host:port", for the WSDL when a request names no Host

    std::mutex state_;
    std::condition_variable changed_;
    bool stopRequested_ = false;
    long underWay_ = 0; // requests begun and not yet finished
    std::atomic<bool> closing_{false};
};

} // namespace qv::clocking
