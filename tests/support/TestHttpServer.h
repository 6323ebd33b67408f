#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <httplib.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv::test {

struct RecordedRequest {
    std::string method;
    std::string target;
    std::string version;
    httplib::Headers headers;
    std::string body;
    int remotePort = -1;
};

// A real HTTP (or, given a certificate and key, HTTPS) server on an ephemeral 127.0.0.1 port.
// Every request, whatever its method and path, is recorded and then answered by the handler.
class TestHttpServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    TestHttpServer();
    // On this port, as a service that comes back where it was.
    explicit TestHttpServer(int port);
    TestHttpServer(const std::string& certificateFile, const std::string& keyFile);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port><path>" (https for a TLS server), or the same with another host
    // name that still resolves to this server.
    std::string url(const std::string& path, const std::string& host = "127.0.0.1") const;

    void setHandler(Handler handler);
    // Answers every request with this status and body.
    void respond(int status, std::string body, std::string contentType = "text/xml");

    std::vector<RecordedRequest> requests() const;

private:
    void start(int port = 0);

    std::unique_ptr<httplib::Server> server_;
    bool tls_ = false;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<RecordedRequest> requests_;
};

// A bare TCP listener for what an HTTP library hides: the exact bytes of a request (header
// order), and peers that misbehave on purpose: a head and then silence, a body trickling in,
// a connection reset half-way, a peer that accepts the connection and never says anything.
class RawHttpServer {
public:
    // A piece of the reply, sent after a pause.
    struct Piece {
        std::string bytes;
        std::chrono::milliseconds pauseBefore{0};
    };
    // What the server does once its pieces are out: close the connection, reset it, or hold
    // it open until the client gives up.
    enum class Ending { Close, Reset, Hold };
    // One connection: read one request, answer it piece by piece, end.
    struct Conversation {
        std::vector<Piece> pieces;
        Ending ending = Ending::Close;
    };

    // Answers the first request with these exact bytes. With an empty reply it never accepts
    // the connection at all, so the kernel completes the handshake and the client waits.
    explicit RawHttpServer(std::string reply);
    // Serves one conversation per connection, in order.
    explicit RawHttpServer(std::vector<Conversation> conversations);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    // The first request as it arrived: head and body. Waits for the serving thread to finish.
    std::string receivedRequest();
    // Every request, in order. Waits for the serving thread to finish.
    std::vector<std::string> receivedRequests();

private:
    void serve();
    bool converse(int peer, const Conversation& conversation);

    int listener_ = -1;
    int port_ = 0;
    std::vector<Conversation> conversations_;
    std::vector<std::string> received_;
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};

// A port on 127.0.0.1 on which nothing listens (taken from the kernel and released).
int unusedLoopbackPort();

} // namespace qv::test
