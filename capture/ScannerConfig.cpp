#include "capture/ScannerConfig.h"

#include "platform/Errors.h"
#include "platform/TextCase.h"

#include <fstream>
#include <limits>
#include <sstream>

namespace qv {
namespace {

int digitValue(char c, int base) {
    int value = 99;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

} // namespace

std::vector<std::string> ReadScannerConfig(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        throw GeneralError("Cannot open file \"" + path.string() + "\". " + error.message());
    }
    if (size > MaxScannerConfigBytes) {
        throw GeneralError("Cannot read file \"" + path.string() + "\": it is larger than " +
                           std::to_string(MaxScannerConfigBytes) + " bytes");
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf() || size == 0)) {
        throw GeneralError("Cannot read file \"" + path.string() + "\"");
    }
    return SplitConfigLines(text.str());
}

std::vector<std::string> SplitConfigLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

std::optional<int32_t> ParseConfigInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    const std::int64_t limit =
        std::int64_t{std::numeric_limits<int32_t>::max()} + (negative ? 1 : 0);
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text[i], base);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > limit) {
            return std::nullopt;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

std::optional<int32_t> ConfiguredResolution(const std::vector<std::string>& config,
                                            std::string_view scannerId) {
    for (const std::string& line : config) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos &&
            equalsIgnoringCase(std::string_view(line).substr(0, equals), scannerId)) {
            return ParseConfigInteger(std::string_view(line).substr(equals + 1));
        }
    }
    return std::nullopt;
}

} // namespace qv
