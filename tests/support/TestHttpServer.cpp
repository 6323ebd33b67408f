#include "tests/support/TestHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace qv::test {

namespace {

// Every wait of the helpers is bounded so a broken client cannot hang the suite.
constexpr int kWaitMs = 10'000;

int boundLoopbackSocket(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        throw std::runtime_error("socket() failed");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind() on 127.0.0.1 failed");
    }
    port = ntohs(address.sin_port);
    return fd;
}

bool waitReadable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, kWaitMs) == 1;
}

std::size_t contentLength(const std::string& head) {
    std::string lower = head;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::stoul(lower.substr(at + 17));
}

} // namespace

TestHttpServer::TestHttpServer()
    : server_(std::make_unique<httplib::Server>()) {
    start();
}

TestHttpServer::TestHttpServer(int port)
    : server_(std::make_unique<httplib::Server>()) {
    start(port);
}

TestHttpServer::TestHttpServer(const std::string& certificateFile, const std::string& keyFile)
    : server_(std::make_unique<httplib::SSLServer>(certificateFile.c_str(), keyFile.c_str()))
    , tls_(true) {
    if (!server_->is_valid()) {
        throw std::runtime_error("the TLS test server could not load " + certificateFile);
    }
    start();
}

void TestHttpServer::start(int port) {
    respond(200, "");
    auto record = [this](const httplib::Request& request, httplib::Response& response) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({request.method, request.target, request.version, request.headers,
                                 request.body, request.remote_port});
            handler = handler_;
        }
        handler(request, response);
        // The answer leaves only after this: a test that reads requests() once it has the
        // answer also sees what the handler wrote, in the eyes of ThreadSanitizer too (which
        // cannot see the order a socket gives).
        const std::lock_guard lock(mutex_);
    };
    server_->Post(".*", record);
    server_->Get(".*", record);
    port_ = port == 0 ? server_->bind_to_any_port("127.0.0.1")
                      : (server_->bind_to_port("127.0.0.1", port) ? port : -1);
    if (port_ <= 0) {
        throw std::runtime_error("the test server could not bind 127.0.0.1");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!server_->is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TestHttpServer::~TestHttpServer() {
    server_->stop();
    thread_.join();
}

std::string TestHttpServer::url(const std::string& path, const std::string& host) const {
    return std::string(tls_ ? "https://" : "http://") + host + ":" + std::to_string(port_) + path;
}

void TestHttpServer::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void TestHttpServer::respond(int status, std::string body, std::string contentType) {
    setHandler([status, body = std::move(body), contentType = std::move(contentType)](
                   const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_content(body, contentType.c_str());
    });
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

RawHttpServer::RawHttpServer(std::string reply)
    : RawHttpServer(reply.empty() ? std::vector<Conversation>{}
                                  : std::vector<Conversation>{
                                        Conversation{{Piece{std::move(reply)}}, Ending::Close}}) {}

RawHttpServer::RawHttpServer(std::vector<Conversation> conversations)
    : conversations_(std::move(conversations)) {
    listener_ = boundLoopbackSocket(port_);
    if (::listen(listener_, 8) != 0) {
        ::close(listener_);
        throw std::runtime_error("listen() failed");
    }
    if (!conversations_.empty()) {
        thread_ = std::thread([this] { serve(); });
    }
}

RawHttpServer::~RawHttpServer() {
    stopping_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    ::close(listener_);
}

std::string RawHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string RawHttpServer::receivedRequest() {
    const auto requests = receivedRequests();
    return requests.empty() ? std::string() : requests.front();
}

std::vector<std::string> RawHttpServer::receivedRequests() {
    if (thread_.joinable()) {
        thread_.join();
    }
    return received_;
}

void RawHttpServer::serve() {
    for (const Conversation& conversation : conversations_) {
        if (!waitReadable(listener_)) {
            return;
        }
        const int peer = ::accept(listener_, nullptr, nullptr);
        if (peer < 0) {
            return;
        }
        const bool resetting = converse(peer, conversation) && conversation.ending == Ending::Reset;
        if (resetting) {
            const linger abortive{1, 0}; // close with RST instead of FIN
            ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        } else {
            ::shutdown(peer, SHUT_RDWR);
        }
        ::close(peer);
    }
}

// Returns false when the client went away before the conversation was over.
bool RawHttpServer::converse(int peer, const Conversation& conversation) {
    std::string data;
    char buffer[4096];
    std::size_t headEnd = std::string::npos;
    while (waitReadable(peer)) {
        const ssize_t count = ::recv(peer, buffer, sizeof buffer, 0);
        if (count <= 0) {
            break;
        }
        data.append(buffer, static_cast<std::size_t>(count));
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
        }
        if (headEnd != std::string::npos &&
            data.size() >= headEnd + 4 + contentLength(data.substr(0, headEnd + 2))) {
            break;
        }
    }
    received_.push_back(data);

    // A pause ends early when the client closes: nothing is left to wait for.
    const auto clientLeft = [&](std::chrono::milliseconds pause) {
        const auto until = std::chrono::steady_clock::now() + pause;
        do {
            pollfd entry{peer, POLLIN, 0};
            if (::poll(&entry, 1, 20) == 1 && ::recv(peer, buffer, sizeof buffer, 0) <= 0) {
                return true;
            }
        } while (!stopping_ && std::chrono::steady_clock::now() < until);
        return false;
    };
    for (const Piece& piece : conversation.pieces) {
        if ((piece.pauseBefore.count() > 0 && clientLeft(piece.pauseBefore)) ||
            ::send(peer, piece.bytes.data(), piece.bytes.size(), MSG_NOSIGNAL) < 0) {
            return false;
        }
    }
    if (conversation.ending == Ending::Hold) {
        while (!stopping_ && !clientLeft(std::chrono::milliseconds(kWaitMs))) {
        }
    }
    return true;
}

int unusedLoopbackPort() {
    int port = 0;
    ::close(boundLoopbackSocket(port));
    return port;
}

} // namespace qv::test
