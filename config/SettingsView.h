#pragma once

#include "capture/CaptureProgramPaths.h"

#include <string>

namespace qv {

// What the station's windows read of the settings: the capture programs, the service address
// and the mirroring of scanner images. Every call gives the value in force at that moment, so
// an operator's change applies to the next clock-in.
class SettingsView : public CaptureProgramPaths {
public:
    // The clocking service's address as the operator wrote it; empty selects the development
    // service.
    virtual std::string GetHost() const = 0;
    virtual bool GetFlipHorizontal() const = 0;
    virtual bool GetFlipVertical() const = 0;
};

} // namespace qv
