// A plain TCP connection to the service for requests no HTTP client would send.

#include "tests/clocking/RawConnection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace qv::test {

namespace {

sockaddr_in addressOf(const std::string& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
        throw std::runtime_error("not an IPv4 address: " + host);
    }
    return address;
}

} // namespace

RawConnection::RawConnection(const std::string& host, int port, const std::string& source) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        throw std::runtime_error("socket failed");
    }
    if (!source.empty()) {
        const sockaddr_in local = addressOf(source, 0);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd_);
            throw std::runtime_error("cannot bind to " + source);
        }
    }
    const sockaddr_in remote = addressOf(host, port);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(fd_);
        throw std::runtime_error("cannot connect to " + host + ":" + std::to_string(port));
    }
}

RawConnection::~RawConnection() {
    ::close(fd_);
}

bool RawConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        pollfd entry{fd_, POLLOUT, 0};
        if (::poll(&entry, 1, 30'000) != 1 || (entry.revents & (POLLERR | POLLHUP))) {
            return false;
        }
        const auto sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::size_t RawConnection::sendFiller(std::size_t total, std::string_view pattern) {
    std::string piece;
    while (piece.size() < 64 * 1024) {
        piece += pattern;
    }
    std::size_t sent = 0;
    while (sent < total) {
        pollfd entry{fd_, POLLOUT | POLLIN, 0};
        if (::poll(&entry, 1, 30'000) != 1 || (entry.revents & (POLLIN | POLLERR | POLLHUP))) {
            break; // an answer, or the end: the service stopped reading
        }
        const auto n = ::send(fd_, piece.data(), std::min(piece.size(), total - sent),
                              MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    return sent;
}

void RawConnection::finishSending() {
    ::shutdown(fd_, SHUT_WR);
}

std::string RawConnection::readUntilClosed(int waitMs) {
    std::array<char, 16 * 1024> buffer{};
    for (;;) {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, waitMs) != 1) {
            break;
        }
        const auto n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            break;
        }
        received_.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return received_;
}

bool RawConnection::closedByService(int waitMs) {
    std::array<char, 4096> buffer{};
    for (;;) {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, waitMs) != 1) {
            return false;
        }
        if (::recv(fd_, buffer.data(), buffer.size(), 0) <= 0) {
            return true;
        }
    }
}

int statusOf(const std::string& reply) {
    if (reply.rfind("HTTP/1.", 0) != 0 || reply.size() < 12) {
        return 0;
    }
    return std::stoi(reply.substr(9, 3));
}

std::string bodyOf(const std::string& reply) {
    const auto end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

} // namespace qv::test
