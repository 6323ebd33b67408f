// Where connections wait for their first request head before the HTTP library takes them.

#include "tools/clocking-service/HeadGate.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace qv::clocking {

using SteadyClock = std::chrono::steady_clock;

struct HeadGate::Waiting {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    std::string host;
    SteadyClock::time_point deadline;
    // Answered: the rest of what the caller sends is read and dropped until it closes or the
    // deadline passes, so that closing does not reset the connection before the answer is read.
    bool answered = false;
};

namespace {

constexpr auto kDrainTime = std::chrono::seconds(2);
constexpr int kMaxEvents = 64;
// Once all but this part of the slots are in use, an address gets a few connections only, so
// that callers holding many cannot keep out a station holding none.
constexpr unsigned kKeptForFewPart = 8;
constexpr unsigned kFewConnections = 2;

const char* statusText(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 408:
        return "Request Timeout";
    case 414:
        return "URI Too Long";
    default:
        return "Request Header Fields Too Large";
    }
}

} // namespace

HeadGate::HeadGate(int listenFd, const ConnectionLimits& limits, const Doorkeeper& doorkeeper,
                   RefusalLog& log, Admit admit)
    : listenFd_(listenFd)
    , limits_(limits)
    , doorkeeper_(doorkeeper)
    , log_(log)
    , admit_(std::move(admit))
    , epoll_(::epoll_create1(EPOLL_CLOEXEC))
    , wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    , peeked_(limits.memoryPerConnection) {
    headLimits_.maxBytes = limits.memoryPerConnection;
    // Accepting goes on until none is left, which a blocking socket would wait out.
    ::fcntl(listenFd_, F_SETFL, ::fcntl(listenFd_, F_GETFL) | O_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake_;
    if (epoll_ < 0 || wake_ < 0 || ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event) != 0) {
        if (epoll_ >= 0) {
            ::close(epoll_);
        }
        if (wake_ >= 0) {
            ::close(wake_);
        }
        throw std::runtime_error("the HTTP server could not watch its connections");
    }
    listen(true);
    thread_ = std::thread([this] { run(); });
}

HeadGate::~HeadGate() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
    thread_.join();
    for (const auto& [fd, waiting] : waiting_) {
        ::close(fd);
    }
    ::close(wake_);
    ::close(epoll_);
}

void HeadGate::listen(bool on) {
    if (on == listening_) {
        return;
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listenFd_;
    ::epoll_ctl(epoll_, on ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, listenFd_, &event);
    listening_ = on;
}

void HeadGate::run() {
    std::array<epoll_event, kMaxEvents> events{};
    for (;;) {
        const int ready = ::epoll_wait(epoll_, events.data(), kMaxEvents, untilNextDeadlineMs());
        for (int i = 0; i < ready; ++i) {
            const int fd = events[static_cast<std::size_t>(i)].data.fd;
            if (fd == wake_) {
                return;
            }
            if (fd == listenFd_) {
                acceptAll();
            } else {
                inspect(fd, events[static_cast<std::size_t>(i)].events & (EPOLLRDHUP | EPOLLHUP));
            }
        }
        enforceDeadlines();
        listen(waiting_.size() < limits_.total);
    }
}

void HeadGate::acceptAll() {
    while (waiting_.size() < limits_.total) {
        Waiting waiting;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&waiting.address),
                                 &waiting.length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return; // none left, or the caller gave up already
        }
        const auto* address = reinterpret_cast<const sockaddr*>(&waiting.address);
        waiting.host = hostText(address);
        const auto waitingHere = perAddress_.find(waiting.host);
        const unsigned held = (waitingHere == perAddress_.end() ? 0 : waitingHere->second) +
                              doorkeeper_.heldBy(waiting.host);
        if (const unsigned share = shareNow(); held >= share) {
            log_.write(peerText(address) + "  connection refused: " + std::to_string(share) +
                       " from this address are open already");
            ::close(fd);
            continue;
        }
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
        event.data.fd = fd;
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) {
            ::close(fd);
            continue;
        }
        ++perAddress_[waiting.host];
        waiting.deadline = SteadyClock::now() + limits_.headDeadline;
        waiting_.emplace(fd, std::move(waiting));
        // Data that came with the connection raises no edge of its own.
        inspect(fd, false);
    }
}

unsigned HeadGate::shareNow() const {
    const std::size_t inUse = waiting_.size() + doorkeeper_.open();
    if (inUse >= limits_.total) {
        return 0;
    }
    return inUse + limits_.total / kKeptForFewPart >= limits_.total ? kFewConnections
                                                                    : limits_.perAddress;
}

void HeadGate::inspect(int fd, bool peerDone) {
    const auto found = waiting_.find(fd);
    if (found == waiting_.end()) {
        return;
    }
    Waiting& waiting = found->second;
    if (waiting.answered) {
        ssize_t dropped = 0;
        while ((dropped = ::recv(fd, peeked_.data(), peeked_.size(), 0)) > 0) {
        }
        if (dropped == 0 || errno != EAGAIN) {
            close(fd);
        }
        return;
    }
    const ssize_t received = ::recv(fd, peeked_.data(), peeked_.size(), MSG_PEEK);
    if (received == 0 || (received < 0 && errno != EAGAIN && errno != EINTR)) {
        close(fd); // gone before its request was whole
        return;
    }
    if (received < 0) {
        return;
    }
    const HeadVerdict verdict =
        judgeHead({peeked_.data(), static_cast<std::size_t>(received)}, headLimits_);
    if (verdict.kind == HeadVerdict::Kind::Refused) {
        refuse(fd, verdict.status, verdict.reason);
    } else if (verdict.kind == HeadVerdict::Kind::Complete) {
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        const Waiting admitted = std::move(waiting);
        leave(admitted.host);
        waiting_.erase(found);
        admit_(fd, reinterpret_cast<const sockaddr*>(&admitted.address), admitted.length);
    } else if (peerDone) {
        refuse(fd, 400, "The request head ended unfinished");
    }
}

void HeadGate::refuse(int fd, int status, const std::string& reason) {
    Waiting& waiting = waiting_.at(fd);
    const std::string body = reason + "\n";
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + statusText(status) +
                               "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    // Small enough for any socket's buffer: it is sent whole or the caller is gone.
    [[maybe_unused]] const auto sent =
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(fd, SHUT_WR);
    log_.write(peerText(reinterpret_cast<const sockaddr*>(&waiting.address)) + "  " +
               std::to_string(status) + "  refused: " + reason);
    waiting.answered = true;
    waiting.deadline = SteadyClock::now() + kDrainTime;
    inspect(fd, false);
}

void HeadGate::leave(const std::string& host) {
    if (const auto held = perAddress_.find(host);
        held != perAddress_.end() && --held->second == 0) {
        perAddress_.erase(held);
    }
}

void HeadGate::close(int fd) {
    const auto found = waiting_.find(fd);
    leave(found->second.host);
    waiting_.erase(found);
    ::close(fd); // leaves the epoll set with it
}

void HeadGate::enforceDeadlines() {
    const auto now = SteadyClock::now();
    std::vector<int> late;
    for (const auto& [fd, waiting] : waiting_) {
        if (waiting.deadline <= now) {
            late.push_back(fd);
        }
    }
    for (const int fd : late) {
        if (waiting_.at(fd).answered) {
            close(fd);
        } else {
            refuse(fd, 408,
                   "The request head was not complete within " +
                       std::to_string(limits_.headDeadline.count()) + " s");
        }
    }
}

int HeadGate::untilNextDeadlineMs() const {
    auto next = SteadyClock::now() + std::chrono::seconds(1);
    for (const auto& [fd, waiting] : waiting_) {
        next = std::min(next, waiting.deadline);
    }
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(next - SteadyClock::now()).count();
    return static_cast<int>(std::max<long>(wait + 1, 0));
}

} // namespace qv::clocking
