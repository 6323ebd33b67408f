#pragma once

#include <string>

namespace qv {

// Where the external capture program and its configuration program lie. The settings store
// implements it; every call reads the current settings.
class CaptureProgramPaths {
public:
    virtual ~CaptureProgramPaths() = default;
    virtual std::string GetPathLiveScan() const = 0;
    virtual std::string GetExeCaptura() const = 0;
    virtual std::string GetExeConfig() const = 0;
};

} // namespace qv
