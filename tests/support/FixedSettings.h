#pragma once

#include "config/SettingsView.h"

#include <string>

namespace qv::test {

// Settings as the configuration dialog gives them: a capture folder used as a plain prefix,
// the program names of the selected capture INI file, the service address and the flips.
struct FixedSettings : SettingsView {
    std::string folder, exeCaptura, exeConfig, host;
    bool flipHorizontal = false;
    bool flipVertical = false;
    std::string GetPathLiveScan() const override { return folder; }
    std::string GetExeCaptura() const override { return folder + exeCaptura; }
    std::string GetExeConfig() const override { return folder + exeConfig; }
    std::string GetHost() const override { return host; }
    bool GetFlipHorizontal() const override { return flipHorizontal; }
    bool GetFlipVertical() const override { return flipVertical; }
};

} // namespace qv::test
