// INI (profile) files read and written one key at a time.

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Profile (INI) files, read and written one key at a time with nothing cached: every call goes
// to the file, so a change made by hand is seen by the next read. Section and key names are
// compared without regard to letter case; a write changes or adds one line and leaves every
// other line (comments, blank lines, unknown keys, line ends) exactly as it was.

// Files larger than this are treated as unreadable; they are never rewritten.
inline constexpr std::size_t kProfileFileMaxSize = 1024 * 1024;
// Longest value a read returns; longer values are cut.
inline constexpr std::size_t kProfileValueMaxLength = 2047;

// The value of key in section of the file at path, or defaultValue when the file, the section
// or the key is missing or the file cannot be read.
std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue);

// Sets key in section to value, adding the key (and the section) when missing and creating the
// file when needed. Raises GeneralError "Unable to write to <path>" when the file cannot be
// written; the file is then left as it was. A value holding a line break is refused the same
// way, since it would otherwise inject lines into the file.
void writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// The same operations on the text of a profile file, for callers that hold it in memory.
std::optional<std::string> findProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);
std::string setProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value);

} // namespace qv
