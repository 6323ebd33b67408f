// Waiting on a socket until a deadline, for exchanges that must end in time whatever the peer
// does: one deadline for the whole exchange, not a time-out that every byte renews.

#pragma once

#include <chrono>

namespace qv {

using SocketDeadline = std::chrono::steady_clock::time_point;

// Waits until the socket is ready for the poll events asked (POLLIN, POLLOUT) or the deadline
// passes. True when it is ready, or when the peer hung up or failed, so that the next call on
// the socket tells which; false when the deadline passed first.
bool waitForSocket(int fd, short events, SocketDeadline deadline);

// Whether the peer of a connected stream socket has closed it altogether (not merely stopped
// sending): nobody is left to read an answer.
bool peerHasLeft(int fd);

} // namespace qv
