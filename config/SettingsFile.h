#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr std::string_view kSettingsFileName = "Quorvantis.INI";
inline constexpr std::string_view kSettingsSection = "Config";
// Kept as the station has always had it: settings files in the field may rely on it.
inline constexpr std::string_view kDefaultPathLiveScan = "C:\\LiveScanIB\\";
inline constexpr std::string_view kDefaultHost =
    "http://fichadas.quorvantis.local/QuorvantisSVC/QuorvantisService.asmx";

// The five settings of the station as the settings file holds them.
struct Settings {
    bool flipHorizontal = false;
    bool flipVertical = false;
    std::string pathLiveScan{kDefaultPathLiveScan};
    std::string host{kDefaultHost};
    // File name (no folder) of the selected capture program's INI file. On saving, an empty
    // optional leaves the value in the file as it is.
    std::optional<std::string> liveScanIni;
};

// Capture programs found in the capture folder; entry i of iniFiles is the INI file whose
// title is entry i of titles. Titles may repeat.
struct CaptureProgramList {
    std::vector<std::string> titles;
    std::vector<std::string> iniFiles;
};

// The settings file, read and written key by key with nothing kept between calls.
class SettingsFile {
public:
    // The executable's folder followed by "Quorvantis.INI".
    static std::string defaultPath();

    explicit SettingsFile(std::string path = defaultPath());

    const std::string& path() const { return path_; }

    // A missing or unreadable file, section or key gives the default; never fails.
    Settings load() const;

    // Writes the keys one after the other. A failed write raises GeneralError
    // "Unable to write to <path>"; the keys written before it stay written.
    void save(const Settings& settings) const;

private:
    std::string path_;
};

// The INI files in the capture folder (a plain prefix: no separator is added) whose section
// "Config" has a non-empty "Titulo", in directory-listing order.
CaptureProgramList listCapturePrograms(const std::string& captureFolder);

// Index of the first INI file named like liveScanIni (letter case ignored), or -1.
int findCaptureProgram(const std::vector<std::string>& iniFiles, std::string_view liveScanIni);

// A key ("Titulo", "ExeCaptura", "ExeConfig") of a capture program's INI file; empty when the
// path is empty or the key is missing.
std::string readCaptureProgramKey(const std::string& iniPath, std::string_view key);

// A profile value read as an integer: decimal, or hexadecimal after "0x"/"0X" when longer than
// two characters (up to 0xFFFFFFFF, taken as a 32-bit pattern). Empty, non-numeric or
// out-of-range values give nothing.
std::optional<std::int32_t> parseProfileInteger(std::string_view text);

} // namespace qv
