// What the station was asked to do on its command line: run, check, help or version.

#pragma once

#include <span>
#include <string>

namespace qv {

// What the station was asked to do on its command line.
enum class StationMode {
    Run,     // the clock-in station, as always
    Check,   // start, report what was bound and shown, and quit
    Help,    // print the usage and quit
    Version, // print the version and quit
};

// The station's own options.
struct StationOptions {
    StationMode mode = StationMode::Run;
    // The form alone on a full screen that only the operator gets past.
    bool kiosk = false;
    // Where the kiosk asks whether a PIN is the operator's.
    std::string operatorPinSocket;
    // Where the station keeps its metrics for the operator's monitoring; empty for nowhere.
    std::string metricsFile;
};

// Reads the station's own options (--help, --version, --check, --kiosk, --pin-socket=PATH,
// --metrics=FILE).
// Every other argument is left to the GUI toolkit, which takes its own (-platform, -style, ...)
// and ignores the rest.
StationOptions parseStationCommandLine(std::span<char* const> arguments);

extern const char* const kStationHelp;

} // namespace qv
