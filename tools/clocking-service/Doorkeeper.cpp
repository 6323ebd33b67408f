// Who may hold a connection to the service, and for how long.

#include "tools/clocking-service/Doorkeeper.h"

#include <array>
#include <netdb.h>

namespace qv::clocking {

using SteadyClock = std::chrono::steady_clock;

struct Doorkeeper::Visit {
    int fd = -1;
    std::string host;
    SteadyClock::time_point openedAt;
    bool cut = false;
};

namespace {

constexpr auto kWatchStep = std::chrono::milliseconds(500);

struct NumericAddress {
    std::string host;
    std::string port;
};

NumericAddress numeric(const sockaddr* address) {
    std::array<char, NI_MAXHOST> host{};
    std::array<char, NI_MAXSERV> port{};
    if (address == nullptr) {
        return {"?", "?"};
    }
    const socklen_t length =
        address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (::getnameinfo(address, length, host.data(), host.size(), port.data(), port.size(),
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return {"?", "?"};
    }
    return {host.data(), port.data()};
}

} // namespace

std::string hostText(const sockaddr* address) {
    return numeric(address).host;
}

std::string peerText(const sockaddr* address) {
    const NumericAddress parts = numeric(address);
    const bool v6 = parts.host.find(':') != std::string::npos;
    return (v6 ? "[" + parts.host + "]" : parts.host) + ":" + parts.port;
}

Doorkeeper::Doorkeeper(const ConnectionLimits& limits, RefusalLog& log)
    : limits_(limits)
    , log_(log)
    , watcher_([this] { watch(); }) {}

Doorkeeper::~Doorkeeper() {
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    stopping_.notify_all();
    watcher_.join();
}

Doorkeeper::Visit* Doorkeeper::arrive(int fd, const sockaddr* address) {
    auto visit = std::make_unique<Visit>(Visit{fd, hostText(address), SteadyClock::now(), false});
    std::unique_lock lock(mutex_);
    unsigned& held = perAddress_[visit->host];
    if (held >= limits_.perAddress) {
        lock.unlock();
        // Shut, not closed: the socket is the library's, which closes it when it sees the end.
        ::shutdown(fd, SHUT_RDWR);
        log_.write(peerText(address) + "  connection refused: " +
                   std::to_string(limits_.perAddress) + " from this address are open already");
        return nullptr;
    }
    ++held;
    Visit* raw = visit.get();
    visits_.emplace(raw, std::move(visit));
    return raw;
}

void Doorkeeper::leave(Visit* visit) {
    if (visit == nullptr) {
        return;
    }
    std::lock_guard lock(mutex_);
    if (const auto held = perAddress_.find(visit->host);
        held != perAddress_.end() && --held->second == 0) {
        perAddress_.erase(held);
    }
    visits_.erase(visit);
}

std::size_t Doorkeeper::open() const {
    std::lock_guard lock(mutex_);
    return visits_.size();
}

unsigned Doorkeeper::heldBy(const std::string& host) const {
    std::lock_guard lock(mutex_);
    const auto held = perAddress_.find(host);
    return held == perAddress_.end() ? 0 : held->second;
}

bool Doorkeeper::wasCut(const Visit* visit) const {
    std::lock_guard lock(mutex_);
    return visit != nullptr && visit->cut;
}

bool Doorkeeper::nearItsEnd(const Visit* visit) const {
    return visit == nullptr ||
           SteadyClock::now() - visit->openedAt >= limits_.lifetime - limits_.closingNotice;
}

void Doorkeeper::watch() {
    std::unique_lock lock(mutex_);
    while (!stopping_.wait_for(lock, kWatchStep, [this] { return stopped_; })) {
        const auto now = SteadyClock::now();
        for (auto& [key, visit] : visits_) {
            if (!visit->cut && now - visit->openedAt >= limits_.lifetime) {
                // The library closes the socket only after leave(), which waits for this lock:
                // the descriptor cannot have been reused by another connection yet.
                ::shutdown(visit->fd, SHUT_RDWR);
                visit->cut = true;
                log_.write(visit->host + "  connection cut: open longer than " +
                           std::to_string(limits_.lifetime.count()) + " s");
            }
        }
    }
}

} // namespace qv::clocking
