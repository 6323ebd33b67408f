// Who may hold a connection to the service, and for how long.

#pragma once

#include "tools/clocking-service/RefusalLog.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unordered_map>

namespace qv::clocking {

struct ConnectionLimits {
    // What the HTTP library gives one connection for its request head and its read buffer;
    // a head that does not fit is refused, however many lines it has.
    std::size_t memoryPerConnection = 64 * 1024;
    // Connections held at once from one address; more are closed as they arrive.
    unsigned perAddress = 16;
    // Connections held at once in all; more are not accepted.
    unsigned total = 256;
    // Time from a connection's opening to the end of its first request head; a caller still
    // sending its head by then is answered 408 and closed.
    std::chrono::seconds headDeadline{3};
    // Silence after which a connection is closed.
    std::chrono::seconds idle{10};
    // A connection's whole life, however busy: answers after lifetime - closingNotice ask the
    // client to close, and a connection still open at lifetime is cut.
    std::chrono::seconds lifetime{30};
    std::chrono::seconds closingNotice{10};
    // Bytes of request bodies held at once across all connections; a request whose body
    // does not fit is answered 503, asking it to try again later.
    std::size_t bodyBudget = std::size_t{256} * 1024 * 1024;
    // Threads that read, parse and answer; each serves many connections.
    unsigned threads = 8;
};

// "192.0.2.7:51234" ("[::1]:51234" for IPv6) and the address alone.
std::string peerText(const sockaddr* address);
std::string hostText(const sockaddr* address);

// Keeps account of open connections: refuses those over their address's share as they
// arrive, and cuts those open longer than their lifetime (a thread watches the clock).
// Refusals and cuts go to the refusal log.
class Doorkeeper {
public:
    struct Visit;

    Doorkeeper(const ConnectionLimits& limits, RefusalLog& log);
    ~Doorkeeper();
    Doorkeeper(const Doorkeeper&) = delete;
    Doorkeeper& operator=(const Doorkeeper&) = delete;

    // A connection has been accepted on `fd`. Returns its visit, or nullptr when its address
    // holds its share already; the connection is then shut at once.
    Visit* arrive(int fd, const sockaddr* address);
    // The connection of this visit is about to be closed (its socket is still open).
    void leave(Visit* visit);
    // Connections open in all.
    std::size_t open() const;
    // Connections open from this address (as hostText gives it).
    unsigned heldBy(const std::string& host) const;
    // Whether the connection of this visit was cut at the end of its life.
    bool wasCut(const Visit* visit) const;
    // Whether answers on this connection should ask the client to close it.
    bool nearItsEnd(const Visit* visit) const;

private:
    void watch();

    ConnectionLimits limits_;
    RefusalLog& log_;
    mutable std::mutex mutex_;
    std::unordered_map<const Visit*, std::unique_ptr<Visit>> visits_;
    std::map<std::string, unsigned> perAddress_;
    std::condition_variable stopping_;
    bool stopped_ = false;
    std::thread watcher_;
};

} // namespace qv::clocking
