// An HTTP server whose connections one slow or hostile peer cannot use up.

#include "tools/clocking-service/GuardedServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace qv::clocking {

namespace {

using Clock = std::chrono::steady_clock;

// Answered to a peer over its share of connections; it holds no worker for long.
constexpr std::string_view kBusyReply =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
    "Connection: close\r\nContent-Length: 47\r\n\r\nToo many connections from your address at "
    "once\n";

// After a refused body the client may still be sending it; reading on for a moment lets it
// see the reply instead of a reset connection.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr auto kPollStep = std::chrono::milliseconds(100);

int waitFor(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd entry{fd, events, 0};
    const int ready =
        ::poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(0, timeout.count())));
    return ready > 0 ? ready : 0;
}

std::chrono::milliseconds untilThen(Clock::time_point then) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(then - Clock::now());
}

void addressOf(int fd, bool peer, std::string& ip, int& port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(fd, raw, &length) : ::getsockname(fd, raw, &length)) != 0) {
        return;
    }
    std::array<char, NI_MAXHOST> host{};
    std::array<char, NI_MAXSERV> service{};
    if (::getnameinfo(raw, length, host.data(), host.size(), service.data(), service.size(),
                      NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host.data();
        port = std::atoi(service.data());
    }
}

// One connection's reads and writes. Reads stop at the request's deadline however the bytes
// trickle in; reads are buffered because the library reads a request head a byte at a time.
class DeadlineStream : public httplib::Stream {
public:
    DeadlineStream(int fd, std::chrono::milliseconds idle, std::chrono::milliseconds writeWait)
        : fd_(fd)
        , idle_(idle)
        , writeWait_(writeWait) {}

    void startRequest(std::chrono::milliseconds deadline) { deadline_ = Clock::now() + deadline; }
    void stopReading() { closing_ = true; }
    bool closing() const { return closing_; }

    bool is_readable() const override {
        return !closing_ && (begin_ < end_ || waitFor(fd_, POLLIN, readWait()) > 0);
    }
    bool is_writable() const override { return waitFor(fd_, POLLOUT, writeWait_) > 0; }

    ssize_t read(char* into, size_t size) override {
        if (closing_) {
            return -1;
        }
        if (begin_ == end_) {
            if (waitFor(fd_, POLLIN, readWait()) == 0) {
                return -1;
            }
            const ssize_t got = ::recv(fd_, buffer_.data(), buffer_.size(), 0);
            if (got <= 0) {
                return got;
            }
            begin_ = 0;
            end_ = static_cast<std::size_t>(got);
        }
        const std::size_t n = std::min(size, end_ - begin_);
        std::memcpy(into, buffer_.data() + begin_, n);
        begin_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* from, size_t size) override {
        if (!is_writable()) {
            return -1;
        }
        return ::send(fd_, from, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        addressOf(fd_, true, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        addressOf(fd_, false, ip, port);
    }
    socket_t socket() const override { return fd_; }

private:
    std::chrono::milliseconds readWait() const {
        return std::min(idle_, std::max(untilThen(deadline_), std::chrono::milliseconds(0)));
    }

    int fd_;
    std::chrono::milliseconds idle_;
    std::chrono::milliseconds writeWait_;
    Clock::time_point deadline_ = Clock::now();
    bool closing_ = false;
    std::array<char, 16 * 1024> buffer_{};
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// What the handlers of the request under way on this thread may ask of its connection.
struct ConnectionState {
    DeadlineStream* stream = nullptr;
    std::string note;
};
thread_local ConnectionState current;

void lingerThenClose(int fd) {
    ::shutdown(fd, SHUT_WR);
    const auto until = Clock::now() + kLingerTime;
    std::array<char, 16 * 1024> discard{};
    while (waitFor(fd, POLLIN, untilThen(until)) > 0 &&
           ::recv(fd, discard.data(), discard.size(), 0) > 0) {
    }
    ::close(fd);
}

} // namespace

GuardedServer::GuardedServer(ConnectionLimits limits)
    : limits_(limits) {
    const auto workers = static_cast<std::size_t>(limits_.workers);
    // The library takes ownership of the queue it is handed.
    new_task_queue = [workers] { return std::make_unique<httplib::ThreadPool>(workers).release(); };
}

void GuardedServer::closeAfterReply() {
    if (current.stream) {
        current.stream->stopReading();
    }
}

void GuardedServer::noteForLog(std::string note) {
    current.note = std::move(note);
}

std::string GuardedServer::takeLogNote() {
    return std::exchange(current.note, {});
}

bool GuardedServer::admit(const std::string& address) {
    std::lock_guard lock(mutex_);
    int& count = perAddress_[address];
    if (count >= limits_.perAddress) {
        return false;
    }
    ++count;
    return true;
}

void GuardedServer::release(const std::string& address) {
    std::lock_guard lock(mutex_);
    if (--perAddress_[address] == 0) {
        perAddress_.erase(address);
    }
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    std::string address;
    int port = 0;
    addressOf(sock, true, address, port);
    if (!admit(address)) {
        ::send(sock, kBusyReply.data(), kBusyReply.size(), MSG_NOSIGNAL);
        lingerThenClose(sock);
        return false;
    }
    using std::chrono::milliseconds;
    using std::chrono::seconds;
    DeadlineStream stream(sock,
                          std::chrono::duration_cast<milliseconds>(seconds(read_timeout_sec_)),
                          std::chrono::duration_cast<milliseconds>(seconds(write_timeout_sec_)));
    current.stream = &stream;
    bool served = true;
    for (std::size_t left = keep_alive_max_count_; left > 0 && served; --left) {
        // Idle between requests: wait in short steps so that stopping is not held up.
        const auto idleUntil = Clock::now() + seconds(keep_alive_timeout_sec_);
        bool ready = false;
        while (!ready && svr_sock_ != INVALID_SOCKET && Clock::now() < idleUntil) {
            ready =
                waitFor(sock, POLLIN, std::min(untilThen(idleUntil), milliseconds(kPollStep))) > 0;
        }
        if (!ready || svr_sock_ == INVALID_SOCKET) {
            break;
        }
        stream.startRequest(limits_.requestDeadline);
        bool connectionClosed = false;
        served = process_request(stream, left == 1, connectionClosed, nullptr) &&
                 !connectionClosed && !stream.closing();
    }
    current = {};
    release(address);
    if (stream.closing()) {
        lingerThenClose(sock);
    } else {
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
    }
    return true;
}

} // namespace qv::clocking
