// What the station was asked to do on its command line: run, check, help or version.

#pragma once

#include <span>

namespace qv {

// What the station was asked to do on its command line.
enum class StationMode {
    Run,     // the clock-in station, as always
    Check,   // start, report what was bound and shown, and quit
    Help,    // print the usage and quit
    Version, // print the version and quit
};

// Reads the station's own options (--help, --version, --check). Every other argument is left
// to the GUI toolkit, which takes its own (-platform, -style, ...) and ignores the rest.
StationMode parseStationCommandLine(std::span<char* const> arguments);

extern const char* const kStationHelp;

} // namespace qv
