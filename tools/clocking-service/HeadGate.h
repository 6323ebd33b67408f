// Where connections wait for their first request head before the HTTP library takes them.

#pragma once

#include "tools/clocking-service/Doorkeeper.h"
#include "tools/clocking-service/RefusalLog.h"
#include "tools/clocking-service/RequestHead.h"

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace qv::clocking {

// Accepts connections on a listening socket and reads each one's first request head without
// taking it from the socket. A head that is complete and sound within the deadline passes
// the connection on, its bytes still unread; one that is malformed, too large or too slow is
// answered here and the connection closed. The library's own slots are thereby only held by
// callers that have sent a whole head, and the last eighth of them only by addresses that
// hold few.
class HeadGate {
public:
    // Takes a connection whose head has arrived; owns its descriptor from then on.
    using Admit = std::function<void(int fd, const sockaddr* address, socklen_t length)>;

    // The doorkeeper counts the connections passed on, which make up an address's share
    // with those waiting here.
    HeadGate(int listenFd, const ConnectionLimits& limits, const Doorkeeper& doorkeeper,
             RefusalLog& log, Admit admit);
    ~HeadGate();
    HeadGate(const HeadGate&) = delete;
    HeadGate& operator=(const HeadGate&) = delete;

private:
    struct Waiting;

    void run();
    void acceptAll();
    void inspect(int fd, bool peerDone);
    void refuse(int fd, int status, const std::string& reason);
    void close(int fd);
    // One connection of this address waits here no more.
    void leave(const std::string& host);
    void enforceDeadlines();
    int untilNextDeadlineMs() const;
    void listen(bool on);
    // Connections an address may hold now, here and passed on.
    unsigned shareNow() const;

    int listenFd_;
    ConnectionLimits limits_;
    HeadLimits headLimits_;
    const Doorkeeper& doorkeeper_;
    RefusalLog& log_;
    Admit admit_;
    int epoll_ = -1;
    int wake_ = -1;
    bool listening_ = false;
    std::map<int, Waiting> waiting_;
    std::map<std::string, unsigned> perAddress_;
    std::vector<char> peeked_;
    std::thread thread_;
};

} // namespace qv::clocking
