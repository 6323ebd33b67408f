#include "platform/Journal.h"

#include "platform/Errors.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <sys/stat.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

namespace qv {
namespace {

bool isBareCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("._:/+-").find(c) != std::string_view::npos;
}

bool isKey(std::string_view key) {
    if (key.empty() || !(key.front() >= 'a' && key.front() <= 'z')) {
        return false;
    }
    for (char c : key) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
            return false;
        }
    }
    return true;
}

std::string quote(std::string_view value) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

// systemd tells a service its standard streams are the journal through JOURNAL_STREAM, the
// device and inode of the stream; anything else on standard error (a terminal, a file, a test's
// pipe) keeps the plain line.
bool standardErrorIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    struct stat status {};
    return std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && ::fstat(2, &status) == 0 &&
           status.st_dev == device && status.st_ino == inode;
}

bool sendToSystemdJournal(const JournalLine& line) {
    std::vector<std::string> assignments;
    assignments.reserve(line.fields().size() + 1);
    assignments.push_back("MESSAGE=" + line.text());
    for (const auto& [key, value] : line.fields()) {
        std::string name;
        for (char c : key) {
            name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        assignments.push_back(name + "=" + value);
    }
    std::vector<iovec> vectors;
    vectors.reserve(assignments.size());
    for (auto& assignment : assignments) {
        vectors.push_back(iovec{assignment.data(), assignment.size()});
    }
    return sd_journal_sendv(vectors.data(), static_cast<int>(vectors.size())) >= 0;
}

void writeToStandardError(const std::string& text) {
    // One write per line, so lines from several threads or processes never interleave.
    const std::string withEnd = text + "\n";
    std::string_view rest = withEnd;
    while (!rest.empty()) {
        const ssize_t written = ::write(2, rest.data(), rest.size());
        if (written <= 0) {
            return; // nowhere to report that standard error is gone
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

} // namespace

JournalLine::JournalLine(std::chrono::system_clock::time_point time) {
    const std::string value = journalTime(time);
    add("time", value, value);
}

JournalLine& JournalLine::plain(std::string_view key, std::string_view value) {
    bool bare = !value.empty();
    for (char c : value) {
        bare = bare && isBareCharacter(c);
    }
    add(key, value, bare ? std::string(value) : quote(value));
    return *this;
}

JournalLine& JournalLine::quoted(std::string_view key, std::string_view value) {
    add(key, value, quote(value));
    return *this;
}

JournalLine& JournalLine::count(std::string_view key, std::optional<long long> value) {
    const std::string written = value ? std::to_string(*value) : "-";
    add(key, written, written);
    return *this;
}

void JournalLine::add(std::string_view key, std::string_view value, std::string_view written) {
    if (!isKey(key)) {
        throw AssertionFailed("Journal key \"" + std::string(key) + "\" is not a lower-case word",
                              __FILE__, __LINE__);
    }
    if (!text_.empty()) {
        text_ += ' ';
    }
    text_.append(key).append("=").append(written);
    fields_.emplace_back(std::string(key), std::string(value));
}

std::string journalTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(time.time_since_epoch());
    auto seconds = floor<std::chrono::seconds>(sinceEpoch);
    const auto millis = (sinceEpoch - seconds).count();
    const std::time_t whole = seconds.count();
    std::tm utc{};
    ::gmtime_r(&whole, &utc);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(millis));
    return buffer;
}

void writeJournal(const JournalLine& line) {
    static const bool toJournalOnly = standardErrorIsJournal();
    static std::mutex mutex;
    const std::lock_guard lock(mutex);
    if (toJournalOnly && sendToSystemdJournal(line)) {
        return;
    }
    writeToStandardError(line.text());
    if (!toJournalOnly) {
        sendToSystemdJournal(line);
    }
}

} // namespace qv
