// The built PIN checker, started the way its socket unit starts it: systemd-socket-activate
// binds the socket and hands it over, so the tests speak to the real program over a real
// socket.

#pragma once

#include "platform/OperatorPinCheck.h"
#include "tests/support/TempFolder.h"

#include <string>
#include <string_view>
#include <sys/types.h>

namespace qv::test {

inline constexpr const char* kRightPin = "482915";

class PinCheckerProcess {
public:
    // Stores kRightPin's hash (few iterations: the tests are about the exchange) and starts
    // the checker with its socket, PIN file and lock-out file in a folder of its own.
    PinCheckerProcess();
    ~PinCheckerProcess();
    PinCheckerProcess(const PinCheckerProcess&) = delete;
    PinCheckerProcess& operator=(const PinCheckerProcess&) = delete;

    void stop();
    // Starts it and waits until it answers (an empty try, which is none).
    void start();

    PinVerdict ask(std::string_view pin) const;

    std::string socketPath() const { return folder.path("pin.socket"); }
    std::string pinFile() const { return folder.path("operator-pin"); }
    std::string lockoutFile() const { return folder.path("lockout"); }
    // Everything the checker wrote, its journal lines among it, over all its runs.
    std::string log() const { return folder.read("checker.log"); }

    TempFolder folder;

private:
    pid_t pid_ = -1;
};

} // namespace qv::test
