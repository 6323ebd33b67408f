// The PIN checker: answers each connection on its socket with yes, no or locked.

#include "tools/kiosk-pin-checker/PinCheckServer.h"

#include "platform/FileDescriptor.h"
#include "platform/JournalEvents.h"
#include "platform/OperatorPin.h"
#include "platform/SocketWait.h"
#include "tools/kiosk-pin-checker/PinConnectionNotes.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <list>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <vector>

namespace qv {
namespace {

// A PIN, its line end, and one byte to tell an overlong one.
constexpr std::size_t kMaxRequestBytes = kOperatorPinMaxLength + 2;
// How much of an overlong line is read before the answer anyway.
constexpr std::size_t kMaxDrainedBytes = 65536;
// Each connection's whole time, from taken to answered: a peer that trickles its line or sends
// nothing is dropped then, however it paces its bytes. The kiosk gives up a little later.
constexpr std::chrono::seconds kConnectionDeadline(2);
// Connections served at once, all users together and each user alone: one member's open
// connections leave room for everybody else's, the kiosk's among them.
constexpr std::size_t kMaxConnections = 32;
constexpr std::size_t kMaxConnectionsPerUser = 4;

using Clock = std::chrono::steady_clock;

struct Connection {
    Connection(int fd, std::optional<long long> peer, Clock::time_point now)
        : socket(fd)
        , uid(peer)
        , deadline(now + kConnectionDeadline) {}

    FileDescriptor socket;
    std::optional<long long> uid;
    Clock::time_point deadline;
    // The line so far, cut after kMaxRequestBytes, and how much was read in all.
    std::string request;
    std::size_t received = 0;
};

enum class Reading { More, Line, Cut };

// Reads what the peer has sent so far. A whole line, or whatever came before the peer stopped
// sending, is a request; a peer that closed without sending a byte cut the connection. The
// rest of an overlong line is read and dropped, so that the answer is not lost to a reset.
Reading readRequest(Connection& connection) {
    char buffer[512];
    for (;;) {
        const ssize_t count = ::recv(connection.socket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return errno == EAGAIN ? Reading::More : Reading::Cut;
        }
        if (count == 0) {
            return connection.received == 0 ? Reading::Cut : Reading::Line;
        }
        const std::string_view part(buffer, static_cast<std::size_t>(count));
        connection.received += part.size();
        connection.request.append(part.substr(
            0, kMaxRequestBytes - std::min(connection.request.size(), kMaxRequestBytes)));
        if (part.find('\n') != std::string_view::npos || connection.received >= kMaxDrainedBytes) {
            connection.request.resize(
                std::min(connection.request.find('\n'), connection.request.size()));
            return Reading::Line;
        }
    }
}

std::optional<long long> peerUser(int fd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return std::nullopt;
    }
    return credentials.uid;
}

} // namespace

PinChecker::PinChecker(std::string pinFile, std::string lockoutFile)
    : pinFile_(std::move(pinFile))
    , lockoutFile_(std::move(lockoutFile))
    , lockout_(readLockout(lockoutFile_)) {}

PinVerdict PinChecker::check(std::string_view pin, std::chrono::system_clock::time_point now) {
    if (const auto left = lockoutLeft(lockout_, now); left.count() > 0) {
        return {PinAnswer::Locked, left};
    }
    if (pin.empty()) {
        return {PinAnswer::Wrong, std::chrono::seconds(0)};
    }
    bool right = false;
    try {
        // Read at every try: a new PIN counts from the next one, without a restart.
        right = operatorPinMatches(readOperatorPinFile(pinFile_), pin);
    } catch (const std::exception&) {
        return {PinAnswer::NoPin};
    }
    if (right) {
        lockout_ = {};
        writeLockout(lockoutFile_, lockout_);
        return {PinAnswer::Right};
    }
    lockout_ = afterWrongTry(lockout_, now);
    // Held here even when the file cannot be written: only a restart would forget it.
    writeLockout(lockoutFile_, lockout_);
    return {PinAnswer::Wrong, lockoutAfterFailures(lockout_.failures)};
}

namespace {

// The connections under way and the notes about those that brought no try.
class PinCheckService {
public:
    PinCheckService(int listeningSocket, PinChecker& checker)
        : listeningSocket_(listeningSocket)
        , checker_(checker) {}

    // False once the listening socket has failed.
    bool serveOnce() {
        dropLateConnections(Clock::now());
        std::vector<pollfd> watched{{listeningSocket_, POLLIN, 0}};
        for (const Connection& connection : connections_) {
            watched.push_back({connection.socket.get(), POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), pollTimeout(Clock::now())) < 0) {
            return errno == EINTR;
        }
        auto connection = connections_.begin();
        for (auto entry = watched.begin() + 1; entry != watched.end(); ++entry) {
            connection = entry->revents != 0 ? serve(connection) : std::next(connection);
        }
        return watched.front().revents == 0 || acceptWaiting();
    }

private:
    using Connections = std::list<Connection>;

    Connections::iterator serve(Connections::iterator connection) {
        const Reading reading = readRequest(*connection);
        if (reading == Reading::More) {
            return std::next(connection);
        }
        if (reading == Reading::Cut) {
            cut_.add(connection->uid, Clock::now());
        } else if (peerHasLeft(connection->socket.get())) {
            // Its kiosk gave up on it and told the operator so: checked now, a right PIN would
            // end a lock-out unseen and a wrong one would count.
            left_.add(connection->uid, Clock::now());
        } else {
            answer(*connection);
        }
        return connections_.erase(connection);
    }

    void answer(const Connection& connection) {
        const PinVerdict verdict =
            checker_.check(connection.request, std::chrono::system_clock::now());
        if (!connection.request.empty()) {
            journalOperatorPinCheck(verdict.answer, connection.uid, checker_.failures(),
                                    verdict.wait);
        }
        const std::string line = pinVerdictLine(verdict) + '\n';
        // A few bytes into an empty socket buffer: sent at once or never.
        ::send(connection.socket.get(), line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }

    // Takes every connection waiting on the listening socket, refusing those beyond the limits.
    bool acceptWaiting() {
        for (;;) {
            const int peer =
                ::accept4(listeningSocket_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (peer < 0) {
                // A peer gone before it was taken, or a signal: the socket itself is sound.
                return errno == EAGAIN || errno == EINTR || errno == ECONNABORTED;
            }
            const std::optional<long long> uid = peerUser(peer);
            const auto sameUser = std::count_if(connections_.begin(), connections_.end(),
                                                [&](const Connection& c) { return c.uid == uid; });
            const bool tooMany = connections_.size() >= kMaxConnections ||
                                 static_cast<std::size_t>(sameUser) >= kMaxConnectionsPerUser;
            connections_.emplace_back(peer, uid, Clock::now());
            if (tooMany) {
                refused_.add(uid, Clock::now());
                connections_.pop_back();
            }
        }
    }

    void dropLateConnections(Clock::time_point now) {
        std::erase_if(connections_, [&](const Connection& connection) {
            if (connection.deadline > now) {
                return false;
            }
            timedOut_.add(connection.uid, now);
            return true;
        });
        for (PinConnectionNote* note : notes()) {
            note->flush(now);
        }
    }

    // Until the next connection's deadline or the next note due, in milliseconds; -1 for none.
    int pollTimeout(Clock::time_point now) const {
        std::optional<Clock::time_point> wake;
        const auto earliest = [&](Clock::time_point time) {
            wake = wake ? std::min(*wake, time) : time;
        };
        for (const Connection& connection : connections_) {
            earliest(connection.deadline);
        }
        for (const PinConnectionNote* note : notes()) {
            if (const auto due = note->nextFlush()) {
                earliest(*due);
            }
        }
        if (!wake) {
            return -1;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wake - now);
        return static_cast<int>(std::max<long long>(left.count(), 0));
    }

    std::array<PinConnectionNote*, 4> notes() { return {&refused_, &timedOut_, &cut_, &left_}; }
    std::array<const PinConnectionNote*, 4> notes() const {
        return {&refused_, &timedOut_, &cut_, &left_};
    }

    int listeningSocket_;
    PinChecker& checker_;
    Connections connections_;
    PinConnectionNote refused_{"refused"};
    PinConnectionNote timedOut_{"timed-out"};
    PinConnectionNote cut_{"cut"};
    PinConnectionNote left_{"left"};
};

} // namespace

void servePinChecks(int listeningSocket, PinChecker& checker) {
    const int flags = ::fcntl(listeningSocket, F_GETFL);
    if (flags < 0 || ::fcntl(listeningSocket, F_SETFL, flags | O_NONBLOCK) != 0) {
        return;
    }
    PinCheckService service(listeningSocket, checker);
    while (service.serveOnce()) {
    }
}

} // namespace qv
