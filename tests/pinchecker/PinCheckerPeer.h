// A peer of the PIN checker that is no kiosk: it connects and then does what a member of the
// group might, holding its connection, trickling bytes or leaving before the answer.

#pragma once

#include "platform/FileDescriptor.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

namespace qv::test {

class PinCheckerPeer {
public:
    explicit PinCheckerPeer(const std::string& socketPath)
        : socket_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
        if (!socket_.valid() ||
            ::connect(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot connect to " + socketPath);
        }
    }

    void leave() { socket_.close(); }
    // A wrong try without its line end, then gone at once, answer or not.
    void tryAndLeave() {
        ::send(socket_.get(), "731064", 6, MSG_NOSIGNAL);
        socket_.close();
    }
    // One digit at a time, a fifth of a second apart, never a line end, until the checker
    // drops the connection or the peer goes.
    void trickle() {
        trickle_ = std::jthread([fd = socket_.get()](std::stop_token stop) {
            while (!stop.stop_requested() && ::send(fd, "4", 1, MSG_NOSIGNAL) == 1) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        });
    }

private:
    FileDescriptor socket_;
    // Declared last so that it is stopped and joined before the socket it writes to closes.
    std::jthread trickle_;
};

} // namespace qv::test
