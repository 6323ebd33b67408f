// Waiting on a socket until a deadline.

#include "platform/SocketWait.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>

namespace qv {

bool waitForSocket(int fd, short events, SocketDeadline deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd watched{fd, events, 0};
        const int ready = ::poll(
            &watched, 1, static_cast<int>(std::min<long long>(left.count(), 60 * 60 * 1000)));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return true;
        }
    }
}

bool peerHasLeft(int fd) {
    pollfd watched{fd, 0, 0};
    // POLLHUP only once both directions are shut: a peer that only finished sending still
    // waits for the answer.
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR)) != 0;
}

} // namespace qv
