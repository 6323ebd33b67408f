// kiosk-pin-checker: the kiosk operator's PIN, checked where the kiosk cannot read it. Started
// by systemd from quorvantis-kiosk-pin.socket as its own user, which alone reads the PIN's hash
// and keeps the lock-out.

#include "platform/OperatorPin.h"
#include "tools/kiosk-pin-checker/PinCheckServer.h"

#include <iostream>
#include <string>
#include <string_view>
#include <systemd/sd-daemon.h>

namespace {

constexpr const char* kUsage =
    R"(Usage: kiosk-pin-checker [--pin-file=FILE] [--lockout-file=FILE]
Answers the kiosk's PIN tries on the socket systemd passes it (quorvantis-kiosk-pin.socket).
  --pin-file=FILE      the PIN's stored form (default /var/lib/quorvantis/operator-pin)
  --lockout-file=FILE  where the lock-out survives restarts
                       (default /var/lib/quorvantis-pin/lockout)
)";

} // namespace

int main(int argc, char** argv) {
    std::string pinFile = qv::kOperatorPinFile;
    std::string lockoutFile = "/var/lib/quorvantis-pin/lockout";
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option.starts_with("--pin-file=")) {
            pinFile = option.substr(option.find('=') + 1);
        } else if (option.starts_with("--lockout-file=")) {
            lockoutFile = option.substr(option.find('=') + 1);
        } else {
            std::cerr << kUsage;
            return option == "--help" ? 0 : 2;
        }
    }
    if (sd_listen_fds(1) != 1) {
        std::cerr << "kiosk-pin-checker: no listening socket was passed; systemd starts this "
                     "from quorvantis-kiosk-pin.socket\n";
        return 1;
    }
    qv::PinChecker checker(pinFile, lockoutFile);
    qv::servePinChecks(SD_LISTEN_FDS_START, checker);
    std::cerr << "kiosk-pin-checker: the listening socket failed\n";
    return 1;
}
