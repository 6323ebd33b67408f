// Presents fingers to libfprint's virtual image scanner.

#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace qv {

class VirtualScannerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A connection to libfprint's virtual image scanner (the socket named by FP_VIRTUAL_IMAGE),
// through which a finger is presented, lifted, or the scanner unplugged.
class VirtualScanner {
public:
    // The driver creates the socket when the scanner is opened, so connecting retries until it
    // exists or the patience runs out (VirtualScannerError).
    static VirtualScanner connect(const std::string& socketPath,
                                  std::chrono::milliseconds patience = std::chrono::seconds(10));

    VirtualScanner(VirtualScanner&& other) noexcept;
    VirtualScanner& operator=(VirtualScanner&& other) noexcept;
    ~VirtualScanner();

    // width x height 8-bit gray pixels, top row first. The scanner takes at most 5000 a side.
    void present(int width, int height, std::span<const std::uint8_t> pixels);
    void liftFinger();
    void removeScanner();
    // The pending capture fails with libfprint's device error `code` (FpDeviceError).
    void failCapture(std::int32_t code);

private:
    explicit VirtualScanner(int socket)
        : socket_(socket) {}
    void send(std::span<const std::uint8_t> bytes);
    void command(std::int32_t code, std::int32_t value);

    int socket_ = -1;
};

} // namespace qv
