// HTTP on libmicrohttpd, bounded against hostile peers, for routes that answer requests.

#pragma once

#include "tools/clocking-service/BodyBudget.h"
#include "tools/clocking-service/Doorkeeper.h"
#include "tools/clocking-service/RefusalLog.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct MHD_Connection;

namespace qv::clocking {

// One request, as the library has read it so far.
class HttpRequest {
public:
    HttpRequest(std::string target, std::string peer)
        : target_(std::move(target))
        , peer_(std::move(peer)) {}

    const std::string& method() const { return method_; }
    // Decoded, without the query.
    const std::string& path() const { return path_; }
    // As sent, still percent-encoded, with the query.
    const std::string& target() const { return target_; }
    // "address:port" of the caller.
    const std::string& peer() const { return peer_; }
    std::optional<std::string> header(const char* name) const;
    std::optional<std::string> argument(const char* name) const;
    // How many times the head gives this header, in any letter case.
    std::size_t headerCount(std::string_view name) const;
    // Whether the query has an argument of this name, in any letter case.
    bool hasArgument(std::string_view name) const;
    // The Content-Length given, or 0.
    std::size_t declaredLength() const;
    // A body is announced: a transfer coding, or a length other than 0.
    bool declaresBody() const;

    // The body, once read whole.
    std::string body;
    // What the log line of this request adds (identifier, outcome).
    std::string note;

private:
    friend class HttpServer;
    std::string target_;
    std::string peer_;
    std::string method_;
    std::string path_;
    MHD_Connection* connection_ = nullptr;
    bool begun_ = false;
    int status_ = 0;
    std::size_t budgeted_ = 0; // taken from the server's body budget
};

struct HttpReply {
    int status = 200;
    std::string body;
    const char* type = "text/plain; charset=utf-8";
    std::vector<std::pair<const char*, std::string>> headers;
    bool close = false; // the connection ends after this answer
};

// What a server serves. Called from the server's threads, for many requests at once.
class HttpRoutes {
public:
    virtual ~HttpRoutes() = default;
    // With the head read: an answer now (the body, if any, is then not read), or nothing
    // to have the body read and answer() called.
    virtual std::optional<HttpReply> refuseEarly(HttpRequest& request) = 0;
    virtual HttpReply answer(HttpRequest& request) = 0;
    // The memory for bodies is in use: an answer asking to try again later.
    virtual HttpReply busy(HttpRequest& request) = 0;
    // A body sent in chunks outgrew the limit; the connection is cut without an answer.
    virtual void refuseOversizedChunks(HttpRequest& request) = 0;
    // answer() or refuseEarly() threw.
    virtual HttpReply failed(const HttpRequest& request, const std::exception& error) = 0;
};

// Serves routes with a thread pool that reads every connection without blocking: the
// library bounds each connection's head and buffers (ConnectionLimits::memoryPerConnection),
// the total of connections and their silence; the head gate bounds the time to a first head
// and its form; the doorkeeper bounds connections per address and a connection's whole life;
// the body budget bounds the bytes of bodies held across all connections. Pipelined requests are
// answered in order.
class HttpServer {
public:
    HttpServer(HttpRoutes& routes, RequestLogger logger, ConnectionLimits limits,
               std::size_t maxBodyBytes);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds the address (port 0 takes a free one) and returns the port; throws when it cannot.
    int bind(const std::string& host, int port);
    // Serves until stop(); returns once the requests under way have been answered (or a
    // connection's life has gone by).
    void serve();
    // Safe from any thread, before or during serve().
    void stop();

    // The library's callbacks, which reach the members below.
    struct Callbacks;

private:
    int respond(HttpRequest& request, HttpReply reply);
    // Takes bytes for the request's body from the budget; false when they do not fit.
    bool budget(HttpRequest& request, std::size_t bytes);
    void finished(MHD_Connection* connection, HttpRequest& request, int termination);

    HttpRoutes& routes_;
    RequestLogger logger_;
    ConnectionLimits limits_;
    std::size_t maxBodyBytes_;
    BodyBudget bodies_;
    RefusalLog refusals_;
    std::optional<Doorkeeper> doorkeeper_;
    int listenFd_ = -1;
    bool ipv6_ = false;

    std::mutex state_;
    std::condition_variable changed_;
    bool stopRequested_ = false;
    long underWay_ = 0; // requests begun and not yet finished
    std::atomic<bool> closing_{false};
};

} // namespace qv::clocking
