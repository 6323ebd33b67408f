// HTTP on libmicrohttpd, bounded against hostile peers, for routes that answer requests.

#include "tools/clocking-service/HttpServer.h"

#include "platform/TextCase.h"
#include "tools/clocking-service/Clock.h"
#include "tools/clocking-service/DisplayText.h"
#include "tools/clocking-service/HeadGate.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <microhttpd.h>
#include <netdb.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace qv::clocking {

namespace {

constexpr int kListenBacklog = 128;

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

MHD_Result result(int queued) {
    return queued == MHD_YES ? MHD_YES : MHD_NO;
}

} // namespace

std::optional<std::string> HttpRequest::header(const char* name) const {
    const char* value = MHD_lookup_connection_value(connection_, MHD_HEADER_KIND, name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> HttpRequest::argument(const char* name) const {
    const char* value = MHD_lookup_connection_value(connection_, MHD_GET_ARGUMENT_KIND, name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

bool HttpRequest::hasArgument(std::string_view name) const {
    struct Search {
        std::string_view name;
        bool found = false;
    } search{name};
    MHD_get_connection_values(
        connection_, MHD_GET_ARGUMENT_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char*) {
            auto& s = *static_cast<Search*>(cls);
            s.found = s.found || equalsIgnoringCase(key, s.name);
            return MHD_YES;
        },
        &search);
    return search.found;
}

std::size_t HttpRequest::headerCount(std::string_view name) const {
    struct Count {
        std::string_view name;
        std::size_t seen = 0;
    } count{name};
    MHD_get_connection_values(
        connection_, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char*) {
            auto& c = *static_cast<Count*>(cls);
            c.seen += equalsIgnoringCase(key, c.name) ? 1 : 0;
            return MHD_YES;
        },
        &count);
    return count.seen;
}

std::size_t HttpRequest::declaredLength() const {
    const std::string length = header(MHD_HTTP_HEADER_CONTENT_LENGTH).value_or("0");
    std::size_t declared = 0;
    const auto [end, error] =
        std::from_chars(length.data(), length.data() + length.size(), declared);
    return error == std::errc{} && end == length.data() + length.size() ? declared : 0;
}

bool HttpRequest::declaresBody() const {
    return header(MHD_HTTP_HEADER_TRANSFER_ENCODING) ||
           header(MHD_HTTP_HEADER_CONTENT_LENGTH).value_or("0") != "0";
}

// The library calls C functions; these pass each call on and keep exceptions inside.
struct HttpServer::Callbacks {
    static void* uriReceived(void* self, const char* uri, MHD_Connection* connection) {
        auto* server = static_cast<HttpServer*>(self);
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        auto request = std::make_unique<HttpRequest>(uri ? uri : "",
                                                     peerText(info ? info->client_addr : nullptr));
        {
            std::lock_guard lock(server->state_);
            ++server->underWay_;
        }
        return request.release(); // owned by the library until requestEnded
    }

    static MHD_Result request(void* self, MHD_Connection* connection, const char* url,
                              const char* method, const char*, const char* upload,
                              size_t* uploadSize, void** context) {
        auto* server = static_cast<HttpServer*>(self);
        auto& request = *static_cast<HttpRequest*>(*context);
        request.connection_ = connection;
        try {
            if (!request.begun_) {
                request.begun_ = true;
                request.method_ = method;
                request.path_ = url;
                if (auto refusal = server->routes_.refuseEarly(request)) {
                    return result(server->respond(request, std::move(*refusal)));
                }
                const std::size_t declared = request.declaredLength();
                if (!server->budget(request, declared)) {
                    return result(server->respond(request, server->routes_.busy(request)));
                }
                request.body.reserve(declared);
                // Answered once the whole request is in: an answer queued before that makes
                // the library close the connection after it.
                return MHD_YES;
            }
            if (*uploadSize > 0) {
                if (request.body.size() + *uploadSize > server->maxBodyBytes_) {
                    // Only a chunked body gets here: nothing can be answered before its end,
                    // which may never come.
                    server->routes_.refuseOversizedChunks(request);
                    return MHD_NO;
                }
                const std::size_t needed = request.body.size() + *uploadSize;
                if (needed > request.budgeted_ &&
                    !server->budget(request, needed - request.budgeted_)) {
                    request.note = "cut: the memory for request bodies is in use";
                    return MHD_NO;
                }
                request.body.append(upload, *uploadSize);
                *uploadSize = 0;
                return MHD_YES;
            }
            return result(server->respond(request, server->routes_.answer(request)));
        } catch (const std::exception& error) {
            HttpReply failed = server->routes_.failed(request, error);
            failed.close = true;
            return result(server->respond(request, std::move(failed)));
        }
    }

    static void requestEnded(void* self, MHD_Connection* connection, void** context,
                             MHD_RequestTerminationCode code) {
        std::unique_ptr<HttpRequest> request(static_cast<HttpRequest*>(*context));
        *context = nullptr;
        if (request) {
            static_cast<HttpServer*>(self)->finished(connection, *request, code);
        }
    }

    static void connectionChanged(void* self, MHD_Connection* connection, void** context,
                                  MHD_ConnectionNotificationCode code) {
        auto& doorkeeper = *static_cast<HttpServer*>(self)->doorkeeper_;
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
        static_cast<HttpServer*>(self)->refusals_.write("HTTP library: " +
                                                        displayText(message, 200));
    }
};

HttpServer::HttpServer(HttpRoutes& routes, RequestLogger logger, ConnectionLimits limits,
                       std::size_t maxBodyBytes)
    : routes_(routes)
    , logger_(std::move(logger))
    , limits_(limits)
    , maxBodyBytes_(maxBodyBytes)
    , bodies_(limits.bodyBudget)
    , refusals_(logger_) {}

HttpServer::~HttpServer() {
    if (listenFd_ >= 0) {
        ::close(listenFd_);
    }
}

int HttpServer::respond(HttpRequest& request, HttpReply reply) {
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
        MHD_get_connection_info(request.connection_, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    const auto* visit =
        context ? static_cast<const Doorkeeper::Visit*>(context->socket_context) : nullptr;
    if (reply.close || closing_ || doorkeeper_->nearItsEnd(visit)) {
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONNECTION, "close");
    }
    request.status_ = reply.status;
    return MHD_queue_response(request.connection_, static_cast<unsigned>(reply.status),
                              response.get());
}

bool HttpServer::budget(HttpRequest& request, std::size_t bytes) {
    if (!bodies_.take(bytes)) {
        return false;
    }
    request.budgeted_ += bytes;
    return true;
}

void HttpServer::finished(MHD_Connection* connection, HttpRequest& request, int termination) {
    // Freed before it is given back, so that a trim finds the memory free.
    std::string().swap(request.body);
    bodies_.giveBack(std::exchange(request.budgeted_, 0));
    if (logger_) {
        int status = request.status_;
        if (status == 0) {
            const MHD_ConnectionInfo* queued =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS);
            status = queued ? static_cast<int>(queued->http_status) : 0;
        }
        std::string line = localTime(now(), "%Y-%m-%d %H:%M:%S") + "  " + request.peer() + "  " +
                           (request.begun_ ? displayText(request.method(), 8) : "-") + " " +
                           displayText(request.begun_ ? request.path() : request.target(), 60) +
                           "  " + (status ? std::to_string(status) : "-");
        const MHD_ConnectionInfo* context =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        const bool cut =
            termination != MHD_REQUEST_TERMINATED_COMPLETED_OK && context &&
            doorkeeper_->wasCut(static_cast<const Doorkeeper::Visit*>(context->socket_context));
        const std::string note = !request.note.empty() ? request.note
                                 : cut ? "cut: the connection was open longer than " +
                                             std::to_string(limits_.lifetime.count()) + " s"
                                       : std::string(terminationText(termination));
        if (!note.empty()) {
            line += "  " + note;
        }
        logger_(line);
    }
    std::lock_guard lock(state_);
    --underWay_;
    changed_.notify_all();
}

int HttpServer::bind(const std::string& host, int port) {
    const ListenSocket bound = listenOn(host, port);
    if (bound.fd < 0) {
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port) +
                                 " (is the port in use, or the address not on this machine?)");
    }
    listenFd_ = bound.fd;
    ipv6_ = bound.ipv6;
    return bound.port;
}

void HttpServer::serve() {
    doorkeeper_.emplace(limits_, refusals_);
    // Connections reach the library through the head gate, which owns the listening socket
    // and keeps to the total; the library's own limit leaves room for those it is still
    // closing.
    const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ITC |
                           MHD_USE_ERROR_LOG | MHD_USE_NO_LISTEN_SOCKET |
                           (ipv6_ ? MHD_USE_IPv6 : 0);
    Daemon daemon(MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Callbacks::request, this, MHD_OPTION_EXTERNAL_LOGGER,
        &Callbacks::libraryMessage, this, MHD_OPTION_THREAD_POOL_SIZE, limits_.threads,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.memoryPerConnection,
        MHD_OPTION_CONNECTION_LIMIT, limits_.total * 2, MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(limits_.idle.count()), MHD_OPTION_STRICT_FOR_CLIENT, 1,
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::connectionChanged, this,
        MHD_OPTION_URI_LOG_CALLBACK, &Callbacks::uriReceived, this, MHD_OPTION_NOTIFY_COMPLETED,
        &Callbacks::requestEnded, this, MHD_OPTION_END));
    if (!daemon) {
        doorkeeper_.reset();
        throw std::runtime_error("the HTTP server could not start");
    }
    std::optional<HeadGate> gate(
        std::in_place, listenFd_, limits_, *doorkeeper_, refusals_,
        [library = daemon.get()](int fd, const sockaddr* address, socklen_t length) {
            // The library closes the socket when it cannot take it.
            MHD_add_connection(library, fd, address, length);
        });
    std::unique_lock lock(state_);
    changed_.wait(lock, [this] { return stopRequested_; });
    // No new connections; the requests under way are answered, for at most a connection's
    // life, and their connections closed after their answers.
    closing_ = true;
    gate.reset();
    changed_.wait_for(lock, limits_.lifetime, [this] { return underWay_ == 0; });
    lock.unlock();
    daemon.reset();
    doorkeeper_.reset();
}

void HttpServer::stop() {
    std::lock_guard lock(state_);
    stopRequested_ = true;
    changed_.notify_all();
}

} // namespace qv::clocking
