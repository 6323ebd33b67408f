// What the station was asked to do on its command line: run, check, help or version.

#include "app/StationCommandLine.h"

#include "platform/OperatorPinCheck.h"
#include "platform/StationMetrics.h"

#include <string_view>

namespace qv {

const char* const kStationHelp =
    R"(Usage: quorvantis [--check | --help | --version] [--kiosk [--pin-socket=PATH]]
                  [--metrics=FILE]

The fingerprint clock-in station. Choose "Ingreso" or "Egreso", type your login or
identity-document number and present a finger (on the scanner, or with the capture
button or Enter for the external capture program).

Settings are read from Quorvantis.INI beside the Quorvantis executable, section [Config]:
FlipHorizontal, FlipVertical, PathLiveScan, Host and LiveScanIni. Ctrl+Shift+F12 in the
clock-in window opens the settings dialog. See quorvantis(1).

  --check    start as usual, print the settings file and the libraries the station bound
             (with the files they were loaded from), and quit once the window is shown
  --help     print this text and quit
  --version  print the version and quit
  --kiosk    show the form alone, centred on a screen-filling background that cannot be
             closed; Ctrl+Shift+F12 first asks for the operator's PIN, and the settings
             dialog then offers "Salir", the one way out (exit status 4)
  --pin-socket=PATH
             the socket of the PIN checker that answers the kiosk's tries (default
             /run/quorvantis-kiosk-pin.socket; the PIN is set with quorvantis-kiosk set-pin)
  --metrics=FILE
             keep the station's health (on screen, clock-ins, service calls, readers) in FILE
             in the Prometheus text format, for node-exporter's textfile collector; a kiosk
             keeps it in /var/lib/quorvantis/metrics/station.prom unless told otherwise, a
             station outside a kiosk nowhere unless asked

Exit status: 0 when the station ends normally; 1 when start-up fails (the reason is
printed on standard error) or the check finds the window not shown; 4 when the operator
leaves the kiosk.
)";

StationOptions parseStationCommandLine(std::span<char* const> arguments) {
    constexpr std::string_view kPinSocketOption = "--pin-socket=";
    constexpr std::string_view kMetricsOption = "--metrics=";
    bool metricsChosen = false;
    StationOptions options;
    options.operatorPinSocket = kOperatorPinSocket;
    // Help and version win over everything else, wherever they stand.
    for (const char* argument : arguments.subspan(arguments.empty() ? 0 : 1)) {
        const std::string_view option(argument);
        if (option == "--help" || option == "-h") {
            return {StationMode::Help, false, {}, {}};
        }
        if (option == "--version") {
            return {StationMode::Version, false, {}, {}};
        }
        if (option == "--check") {
            options.mode = StationMode::Check;
        } else if (option == "--kiosk") {
            options.kiosk = true;
        } else if (option.starts_with(kPinSocketOption)) {
            options.operatorPinSocket = option.substr(kPinSocketOption.size());
        } else if (option.starts_with(kMetricsOption)) {
            options.metricsFile = option.substr(kMetricsOption.size());
            metricsChosen = true;
        }
    }
    if (options.kiosk && !metricsChosen) {
        options.metricsFile = kKioskMetricsFile;
    }
    return options;
}

} // namespace qv
