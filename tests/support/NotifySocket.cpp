#include "tests/support/NotifySocket.h"

#include <cstdlib>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>

namespace qv::test {

NotifySocket::NotifySocket(std::optional<std::chrono::microseconds> watchdog)
    : socket_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
    const std::string path = folder_.path("notify");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (path.size() >= sizeof(address.sun_path) ||
        ::bind(socket_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        throw std::runtime_error("cannot make a notification socket at " + path);
    }
    ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    ::unsetenv("WATCHDOG_PID");
    if (watchdog) {
        ::setenv("WATCHDOG_USEC", std::to_string(watchdog->count()).c_str(), 1);
    } else {
        ::unsetenv("WATCHDOG_USEC");
    }
}

NotifySocket::~NotifySocket() {
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
}

std::vector<std::string> NotifySocket::received() {
    std::vector<std::string> messages;
    char buffer[4096];
    for (ssize_t size; (size = ::recv(socket_.get(), buffer, sizeof(buffer), 0)) >= 0;) {
        messages.emplace_back(buffer, static_cast<std::size_t>(size));
    }
    return messages;
}

bool NotifySocket::awaitMessage(std::string_view text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (const std::string& message : received()) {
            if (message.find(text) != std::string::npos) {
                return true;
            }
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{socket_.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
    }
}

} // namespace qv::test
