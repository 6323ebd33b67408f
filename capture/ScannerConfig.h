#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// "ScannerConfig.CFG": lines of the form <scanner id>=<resolution in pixels per inch> that
// override the resolution a scanner reports.

inline constexpr const char* ScannerConfigFileName = "ScannerConfig.CFG";
// A resolution table is a few lines; a larger file is refused rather than read.
inline constexpr std::uintmax_t MaxScannerConfigBytes = 1024 * 1024;

// The file's lines (split at CR LF, LF or CR). Raises qv::GeneralError naming the file when it
// cannot be read or is larger than MaxScannerConfigBytes.
std::vector<std::string> ReadScannerConfig(const std::filesystem::path& path);
std::vector<std::string> SplitConfigLines(std::string_view text);

// A signed 32-bit integer: optional leading blanks, an optional sign, then decimal digits, or
// hexadecimal ones after "$" or "0x"; nothing may follow. Nothing when it does not parse or
// does not fit.
std::optional<int32_t> ParseConfigInteger(std::string_view text);

// The value of the first line whose name (the text before its first "=") equals the id without
// regard to letter case, when that value parses; lines without "=" are skipped.
std::optional<int32_t> ConfiguredResolution(const std::vector<std::string>& config,
                                            std::string_view scannerId);

} // namespace qv
