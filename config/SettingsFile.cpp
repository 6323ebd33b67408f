#include "config/SettingsFile.h"

#include "platform/DynamicLibrary.h"
#include "platform/Files.h"
#include "platform/ProfileFile.h"
#include "platform/TextCase.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <limits>

namespace qv {

namespace {

constexpr std::string_view kFlipHorizontal = "FlipHorizontal";
constexpr std::string_view kFlipVertical = "FlipVertical";
constexpr std::string_view kPathLiveScan = "PathLiveScan";
constexpr std::string_view kHost = "Host";
constexpr std::string_view kLiveScanIni = "LiveScanIni";
constexpr std::string_view kTitulo = "Titulo";

bool readBool(const std::string& path, std::string_view key, bool defaultValue) {
    const std::optional<std::int32_t> number =
        parseProfileInteger(readProfileString(path, kSettingsSection, key, ""));
    return number ? *number != 0 : defaultValue;
}

void writeBool(const std::string& path, std::string_view key, bool value) {
    writeProfileString(path, kSettingsSection, key, value ? "1" : "0");
}

template <typename Number> std::optional<Number> parseWhole(std::string_view text, int base) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<std::int32_t> parseProfileInteger(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string_view digits = text.substr(2);
        // from_chars would take a sign here; a hexadecimal value has none.
        if (digits.front() == '-' || digits.front() == '+') {
            return std::nullopt;
        }
        const std::optional<std::uint32_t> bits = parseWhole<std::uint32_t>(digits, 16);
        if (!bits) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(*bits);
    }
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    return parseWhole<std::int32_t>(text, 10);
}

std::string SettingsFile::defaultPath() {
    const std::filesystem::path folder = executableFolder();
    return folder.empty() ? std::string(kSettingsFileName)
                          : (folder / std::string(kSettingsFileName)).string();
}

SettingsFile::SettingsFile(std::string path)
    : path_(std::move(path)) {}

Settings SettingsFile::load() const {
    Settings settings;
    settings.flipHorizontal = readBool(path_, kFlipHorizontal, false);
    settings.flipVertical = readBool(path_, kFlipVertical, false);
    settings.pathLiveScan =
        readProfileString(path_, kSettingsSection, kPathLiveScan, kDefaultPathLiveScan);
    settings.host = readProfileString(path_, kSettingsSection, kHost, kDefaultHost);
    settings.liveScanIni = readProfileString(path_, kSettingsSection, kLiveScanIni, "");
    return settings;
}

void SettingsFile::save(const Settings& settings) const {
    writeBool(path_, kFlipHorizontal, settings.flipHorizontal);
    writeBool(path_, kFlipVertical, settings.flipVertical);
    writeProfileString(path_, kSettingsSection, kPathLiveScan, settings.pathLiveScan);
    writeProfileString(path_, kSettingsSection, kHost, settings.host);
    if (settings.liveScanIni) {
        writeProfileString(path_, kSettingsSection, kLiveScanIni, *settings.liveScanIni);
    }
}

CaptureProgramList listCapturePrograms(const std::string& captureFolder) {
    CaptureProgramList programs;
    for (std::string& name : listFiles(captureFolder + "*.INI")) {
        std::string title = readCaptureProgramKey(captureFolder + name, kTitulo);
        if (!title.empty()) {
            programs.titles.push_back(std::move(title));
            programs.iniFiles.push_back(std::move(name));
        }
    }
    return programs;
}

int findCaptureProgram(const std::vector<std::string>& iniFiles, std::string_view liveScanIni) {
    for (std::size_t i = 0; i < iniFiles.size(); ++i) {
        if (equalsIgnoringCase(iniFiles[i], liveScanIni)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string readCaptureProgramKey(const std::string& iniPath, std::string_view key) {
    if (iniPath.empty()) {
        return {};
    }
    return readProfileString(iniPath, kSettingsSection, key, "");
}

} // namespace qv
