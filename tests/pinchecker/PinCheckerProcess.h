// The built PIN checker, started the way its socket unit starts it: systemd-socket-activate
// binds the socket and hands it over, so the tests speak to the real program over a real
// socket.

#pragma once

#include "platform/OperatorPin.h"
#include "platform/OperatorPinCheck.h"
#include "tests/support/BackgroundChild.h"
#include "tests/support/Eventually.h"
#include "tests/support/TempFolder.h"
#include "tools/kiosk-pin-checker/PinLockout.h"

#include <array>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qv::test {

inline constexpr const char* kRightPin = "482915";

// Its socket, its PIN file (kRightPin's hash) and its lock-out file in a folder of its own.
class PinCheckerProcess {
public:
    PinCheckerProcess() {
        // Few iterations: the tests are about the exchange.
        constexpr std::array<unsigned char, 4> salt{9, 8, 7, 6};
        folder.writeFile("operator-pin", hashOperatorPin(kRightPin, salt, 1000) + "\n");
        start();
    }
    ~PinCheckerProcess() { stop(); }
    PinCheckerProcess(const PinCheckerProcess&) = delete;
    PinCheckerProcess& operator=(const PinCheckerProcess&) = delete;

    // Starts it and waits until it answers (an empty try, which is none).
    void start() {
        child_.emplace(
            "systemd-socket-activate",
            std::vector<std::string>{"--listen=" + socketPath(), QV_KIOSK_PIN_CHECKER_PATH,
                                     "--pin-file=" + pinFile(), "--lockout-file=" + lockoutFile()},
            folder.path("checker.log"));
        if (!eventually([this] { return ask("").answer != PinAnswer::Unavailable; })) {
            throw std::runtime_error("the PIN checker does not answer: " + log());
        }
    }
    void stop() {
        child_.reset();
        std::filesystem::remove(socketPath());
    }
    // Back up with this many wrong tries behind it, the last wait over.
    void restartAfterFailures(int failures) {
        stop();
        writeLockout(lockoutFile(), {failures, 0});
        start();
    }

    PinVerdict ask(std::string_view pin) const {
        return askOperatorPinChecker(socketPath(), pin, std::chrono::seconds(10));
    }

    std::string socketPath() const { return folder.path("pin.socket"); }
    std::string pinFile() const { return folder.path("operator-pin"); }
    std::string lockoutFile() const { return folder.path("lockout"); }
    // Everything the checker wrote, its journal lines among it, over all its runs.
    std::string log() const { return folder.read("checker.log"); }

    TempFolder folder;

private:
    std::optional<BackgroundChild> child_;
};

} // namespace qv::test
