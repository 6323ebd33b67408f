// The kiosk's question to the PIN checker and its answer: one line each way over a local
// socket.

#include "platform/OperatorPinCheck.h"

#include "platform/FileDescriptor.h"
#include "platform/SocketWait.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <utility>

namespace qv {
namespace {

constexpr std::string_view kYes = "yes";
constexpr std::string_view kNo = "no ";
constexpr std::string_view kLocked = "locked ";
constexpr std::string_view kNoPin = "no-pin";
// The longest answer line, its line end included: "locked " and a wait in seconds.
constexpr std::size_t kMaxAnswerBytes = 32;

std::optional<long long> parseSeconds(std::string_view text) {
    long long seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 0) {
        return std::nullopt;
    }
    return seconds;
}

bool sendAll(int fd, std::string_view data, SocketDeadline deadline) {
    while (!data.empty()) {
        if (!waitForSocket(fd, POLLOUT, deadline)) {
            return false;
        }
        const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Everything the peer sends until it closes, up to limit bytes; nothing on a failure or when
// the deadline passes first.
std::optional<std::string> receiveUntilClosed(int fd, std::size_t limit, SocketDeadline deadline) {
    std::string received;
    char buffer[64];
    while (received.size() <= limit) {
        if (!waitForSocket(fd, POLLIN, deadline)) {
            return std::nullopt;
        }
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            return received;
        }
        received.append(buffer, static_cast<std::size_t>(count));
    }
    return std::nullopt;
}

} // namespace

std::string pinVerdictLine(const PinVerdict& verdict) {
    switch (verdict.answer) {
    case PinAnswer::Right:
        return std::string(kYes);
    case PinAnswer::Wrong:
        return std::string(kNo) + std::to_string(verdict.wait.count());
    case PinAnswer::Locked:
        return std::string(kLocked) + std::to_string(verdict.wait.count());
    case PinAnswer::NoPin:
    case PinAnswer::Unavailable:
        break;
    }
    return std::string(kNoPin);
}

PinVerdict parsePinVerdictLine(std::string_view line) {
    if (line == kYes) {
        return {PinAnswer::Right};
    }
    if (line == kNoPin) {
        return {PinAnswer::NoPin};
    }
    for (const auto& [prefix, answer] :
         {std::pair{kNo, PinAnswer::Wrong}, std::pair{kLocked, PinAnswer::Locked}}) {
        if (line.starts_with(prefix)) {
            if (const auto seconds = parseSeconds(line.substr(prefix.size()))) {
                return {answer, std::chrono::seconds(*seconds)};
            }
        }
    }
    return {PinAnswer::Unavailable};
}

PinVerdict askOperatorPinChecker(const std::string& socketPath, std::string_view pin,
                                 std::chrono::milliseconds timeout) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path ||
        pin.find('\n') != std::string_view::npos) {
        return {};
    }
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    const SocketDeadline deadline = std::chrono::steady_clock::now() + timeout;
    // Connecting to a local socket does not block; its backlog full, it fails at once.
    const FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.valid() ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return {};
    }
    std::string request(pin);
    request += '\n';
    if (!sendAll(socket.get(), request, deadline) || ::shutdown(socket.get(), SHUT_WR) != 0) {
        return {};
    }
    const std::optional<std::string> answer =
        receiveUntilClosed(socket.get(), kMaxAnswerBytes, deadline);
    if (!answer || !answer->ends_with('\n')) {
        return {};
    }
    return parsePinVerdictLine(std::string_view(*answer).substr(0, answer->size() - 1));
}

} // namespace qv
