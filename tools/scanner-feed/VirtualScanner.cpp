// Presents fingers to libfprint's virtual image scanner.

#include "tools/scanner-feed/VirtualScanner.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace qv {
namespace {

// The driver's commands travel as a negative width followed by an argument.
constexpr std::int32_t kCommandDeviceError = -2;
constexpr std::int32_t kCommandFingerStatus = -4;
constexpr std::int32_t kCommandRemoveDevice = -5;
constexpr int kMaxSide = 5000;

} // namespace

VirtualScanner VirtualScanner::connect(const std::string& socketPath,
                                       std::chrono::milliseconds patience) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof(address.sun_path)) {
        throw VirtualScannerError("Not a usable socket path: \"" + socketPath + "\"");
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);

    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (true) {
        VirtualScanner scanner(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (scanner.socket_ < 0) {
            throw VirtualScannerError(std::string("Cannot create a socket: ") +
                                      std::strerror(errno));
        }
        if (::connect(scanner.socket_, reinterpret_cast<const sockaddr*>(&address),
                      sizeof(address)) == 0) {
            return scanner;
        }
        const int reason = errno;
        if (std::chrono::steady_clock::now() >= deadline) {
            throw VirtualScannerError("No virtual scanner listens on " + socketPath + ": " +
                                      std::strerror(reason));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

VirtualScanner::VirtualScanner(VirtualScanner&& other) noexcept
    : socket_(std::exchange(other.socket_, -1)) {}

VirtualScanner& VirtualScanner::operator=(VirtualScanner&& other) noexcept {
    std::swap(socket_, other.socket_);
    return *this;
}

VirtualScanner::~VirtualScanner() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

void VirtualScanner::present(int width, int height, std::span<const std::uint8_t> pixels) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        throw VirtualScannerError("The virtual scanner takes images of 1 to 5000 pixels a side, "
                                  "not " +
                                  std::to_string(width) + " x " + std::to_string(height));
    }
    if (pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        throw VirtualScannerError("The image holds the wrong number of pixels");
    }
    const std::int32_t header[2] = {width, height};
    send({reinterpret_cast<const std::uint8_t*>(header), sizeof(header)});
    send(pixels);
}

void VirtualScanner::liftFinger() {
    command(kCommandFingerStatus, 0);
}

void VirtualScanner::removeScanner() {
    command(kCommandRemoveDevice, 0);
}

void VirtualScanner::failCapture(std::int32_t code) {
    command(kCommandDeviceError, code);
}

void VirtualScanner::command(std::int32_t code, std::int32_t value) {
    const std::int32_t message[2] = {code, value};
    send({reinterpret_cast<const std::uint8_t*>(message), sizeof(message)});
}

void VirtualScanner::send(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            throw VirtualScannerError(std::string("The virtual scanner hung up: ") +
                                      std::strerror(errno));
        }
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
}

} // namespace qv
