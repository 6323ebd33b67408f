#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qv::test {

// The whole file as bytes; empty when it cannot be read (tests then fail on the content).
std::string readFile(const std::filesystem::path& path);
// Replaces the file with exactly these bytes.
void writeFile(const std::filesystem::path& path, std::string_view content);

} // namespace qv::test
