// INI (profile) files read and written one key at a time.

#include "platform/ProfileFile.h"

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/TextCase.h"
#include "platform/TextTrim.h"

#include <filesystem>

namespace qv {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
    return trimmed(text, isBlank);
}

enum class LineKind { Blank, Section, Entry, Other };

// One physical line: [begin, contentEnd) is its text, [contentEnd, end) its line break.
struct Line {
    std::size_t begin;
    std::size_t contentEnd;
    std::size_t end;
    bool terminated; // ends in "\n"; only the file's last line may not
    LineKind kind;
    std::string_view name;  // section name or key, as written in the file
    std::string_view value; // raw text after "=" for an entry
};

Line classify(std::string_view text, std::size_t begin, std::size_t contentEnd, std::size_t end) {
    const bool terminated = end > contentEnd && text[end - 1] == '\n';
    Line line{begin, contentEnd, end, terminated, LineKind::Other, {}, {}};
    const std::string_view content = trim(text.substr(begin, contentEnd - begin));
    if (content.empty()) {
        line.kind = LineKind::Blank;
    } else if (content.front() == '[') {
        line.kind = LineKind::Section;
        const std::size_t close = content.find(']');
        line.name = trim(content.substr(1, close == std::string_view::npos ? close : close - 1));
    } else if (content.front() != ';') {
        const std::size_t equals = content.find('=');
        if (equals != std::string_view::npos) {
            line.kind = LineKind::Entry;
            line.name = trim(content.substr(0, equals));
            line.value = content.substr(equals + 1);
        }
    }
    return line;
}

Line lineAt(std::string_view text, std::size_t begin) {
    const std::size_t newline = text.find('\n', begin);
    const std::size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
    std::size_t contentEnd = newline == std::string_view::npos ? text.size() : newline;
    if (contentEnd > begin && text[contentEnd - 1] == '\r') {
        --contentEnd;
    }
    return classify(text, begin, contentEnd, end);
}

// Where a key lives, or would be added. Only the first section of the name counts, so a
// duplicated section never shadows the first one's keys.
struct Location {
    std::optional<Line> section;  // the section's header line
    std::optional<Line> entry;    // the key's line
    std::optional<Line> lastUsed; // last non-blank line of the section
    std::optional<Line> lastSeen; // the file's last line when the section is missing
};

Location locate(std::string_view text, std::string_view section, std::string_view key) {
    Location where;
    std::size_t begin = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (begin < text.size()) {
        const Line line = lineAt(text, begin);
        begin = line.end;
        where.lastSeen = line;
        if (line.kind == LineKind::Section) {
            if (where.section) {
                break;
            }
            if (equalsIgnoringCase(line.name, section)) {
                where.section = line;
                where.lastUsed = line;
            }
        } else if (where.section) {
            if (line.kind != LineKind::Blank) {
                where.lastUsed = line;
            }
            if (line.kind == LineKind::Entry && equalsIgnoringCase(line.name, key)) {
                where.entry = line;
                break;
            }
        }
    }
    return where;
}

// Values may be quoted to keep their outer blanks; the quotes are not part of the value.
std::string cleanValue(std::string_view raw) {
    std::string_view value = trim(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kProfileValueMaxLength) {
        std::size_t cut = kProfileValueMaxLength;
        // Do not leave half of a UTF-8 character at the end.
        for (int step = 0;
             step < 3 && cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80;
             ++step) {
            --cut;
        }
        value = value.substr(0, cut);
    }
    return std::string(value);
}

std::string_view lineBreakOf(std::string_view text) {
    const std::size_t newline = text.find('\n');
    if (newline != std::string_view::npos && (newline == 0 || text[newline - 1] != '\r')) {
        return "\n";
    }
    return "\r\n";
}

bool holdsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool canBeWritten(std::string_view section, std::string_view key, std::string_view value) {
    return !trim(section).empty() && !trim(key).empty() && !holdsLineBreak(section) &&
           !holdsLineBreak(key) && !holdsLineBreak(value) &&
           section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos;
}

[[noreturn]] void failToWrite(const std::string& path) {
    throw GeneralError("Unable to write to " + path);
}

} // namespace

std::optional<std::string> findProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
    const Location where = locate(text, section, key);
    if (!where.entry) {
        return std::nullopt;
    }
    return cleanValue(where.entry->value);
}

std::string setProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value) {
    const Location where = locate(text, section, key);
    const std::string_view lineBreak = lineBreakOf(text);
    std::string result;
    result.reserve(text.size() + section.size() + key.size() + value.size() + 8);

    if (where.entry) {
        const Line& line = *where.entry;
        // Keep the line's indentation and the key's spelling as the file has them.
        const std::size_t nameStart = static_cast<std::size_t>(line.name.data() - text.data());
        result.append(text.substr(0, nameStart));
        result.append(line.name).append("=").append(value);
        result.append(text.substr(line.contentEnd));
        return result;
    }

    const std::string entry = std::string(key) + "=" + std::string(value);
    if (where.section) {
        const Line& last = *where.lastUsed;
        result.append(text.substr(0, last.end));
        if (!last.terminated) {
            result.append(lineBreak);
        }
        result.append(entry).append(lineBreak);
        result.append(text.substr(last.end));
        return result;
    }

    result.append(text);
    if (where.lastSeen) {
        if (!where.lastSeen->terminated) {
            result.append(lineBreak);
        }
        if (where.lastSeen->kind != LineKind::Blank) {
            result.append(lineBreak);
        }
    }
    result.append("[").append(section).append("]").append(lineBreak);
    result.append(entry).append(lineBreak);
    return result;
}

std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
    const std::optional<std::string> text = readSmallFile(path, kProfileFileMaxSize);
    if (!text) {
        return std::string(defaultValue);
    }
    std::optional<std::string> value = findProfileValue(*text, section, key);
    return value ? std::move(*value) : std::string(defaultValue);
}

void writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    if (path.empty() || !canBeWritten(section, key, value)) {
        failToWrite(path);
    }
    std::string target;
    try {
        target = writeTarget(path);
    } catch (const GeneralError& refusal) {
        throw GeneralError("Unable to write to " + path + ": " + refusal.what());
    }
    std::optional<std::string> text =
        readSmallFile(target, kProfileFileMaxSize, Links::NotFollowed);
    if (!text) {
        // Only a missing file may be started afresh; anything else that cannot be read (too
        // large, no rights) must not be replaced by a file holding one key.
        if (std::error_code error; std::filesystem::exists(target, error) || error) {
            failToWrite(path);
        }
        text.emplace();
    }
    const std::string updated = setProfileValue(*text, section, key, value);
    if (updated.size() > kProfileFileMaxSize || !replaceFileContents(target, updated)) {
        failToWrite(path);
    }
}

} // namespace qv
