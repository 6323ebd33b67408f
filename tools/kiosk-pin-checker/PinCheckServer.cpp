// The PIN checker: answers each connection on its socket with yes, no or locked.

#include "tools/kiosk-pin-checker/PinCheckServer.h"

#include "platform/FileDescriptor.h"
#include "platform/JournalEvents.h"
#include "platform/OperatorPin.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <optional>
#include <sys/socket.h>
#include <sys/time.h>

namespace qv {
namespace {

// A PIN, its line end, and one byte to tell an overlong one.
constexpr std::size_t kMaxRequestBytes = kOperatorPinMaxLength + 2;
// How much of an overlong line is read before the answer anyway.
constexpr std::size_t kMaxDrainedBytes = 65536;
// A peer that has connected but sends nothing holds up everyone else.
constexpr time_t kPeerTimeoutSeconds = 5;

// The line the peer sent, without its line end and cut after kMaxRequestBytes; nothing when
// it sent nothing in time. The rest of an overlong line is read and dropped, so that the
// answer is not lost to a connection reset.
std::optional<std::string> receiveRequest(int fd) {
    std::string request;
    std::size_t received = 0;
    char buffer[512];
    while (received < kMaxDrainedBytes) {
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        const std::string_view part(buffer, static_cast<std::size_t>(count));
        received += part.size();
        request.append(
            part.substr(0, kMaxRequestBytes - std::min(request.size(), kMaxRequestBytes)));
        if (count == 0 || part.find('\n') != std::string_view::npos) {
            break;
        }
    }
    request.resize(std::min(request.find('\n'), request.size()));
    return request;
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

void servePinChecks(int listeningSocket, PinChecker& checker) {
    for (;;) {
        const FileDescriptor peer(::accept4(listeningSocket, nullptr, nullptr, SOCK_CLOEXEC));
        if (!peer.valid()) {
            // A peer gone before it was taken, or a signal: the socket itself is sound.
            if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN) {
                continue;
            }
            return;
        }
        const timeval timeout{kPeerTimeoutSeconds, 0};
        ::setsockopt(peer.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(peer.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        const std::optional<std::string> pin = receiveRequest(peer.get());
        if (!pin) {
            continue;
        }
        const PinVerdict verdict = checker.check(*pin, std::chrono::system_clock::now());
        if (!pin->empty()) {
            journalOperatorPinCheck(verdict.answer, peerUser(peer.get()), checker.failures(),
                                    verdict.wait);
        }
        const std::string answer = pinVerdictLine(verdict) + '\n';
        ::send(peer.get(), answer.data(), answer.size(), MSG_NOSIGNAL);
    }
}

} // namespace qv
