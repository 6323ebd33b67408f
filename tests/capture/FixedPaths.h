#pragma once

#include "capture/CaptureProgramPaths.h"

#include <string>

namespace qv::test {

// Settings as the configuration dialog gives them: a capture folder used as a plain prefix
// and the program names of the selected capture INI file.
struct FixedPaths : CaptureProgramPaths {
    std::string folder, exeCaptura, exeConfig;
    std::string GetPathLiveScan() const override { return folder; }
    std::string GetExeCaptura() const override { return folder + exeCaptura; }
    std::string GetExeConfig() const override { return folder + exeConfig; }
};

} // namespace qv::test
