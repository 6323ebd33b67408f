// The station's journal: one line of ordered key=value words per event, on standard error and,
// when the systemd journal is there, as structured journal fields.

#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv {

// One journal line under construction. The first word is always time= (UTC, ISO 8601 with
// milliseconds); the others follow in the order they are added. Keys are lower-case words
// chosen by the code; values may come from anywhere, so the line escapes them and no value can
// add a word or a line of its own.
class JournalLine {
public:
    explicit JournalLine(
        std::chrono::system_clock::time_point time = std::chrono::system_clock::now());

    // A value written bare (a mode, a count, an event name). One that is empty or holds
    // anything but letters, digits and . _ : / + - is quoted instead.
    JournalLine& plain(std::string_view key, std::string_view value);
    // A value written in double quotes, with \, " and control characters escaped.
    JournalLine& quoted(std::string_view key, std::string_view value);
    // A count, or - when there is none (a step that was not reached).
    JournalLine& count(std::string_view key, std::optional<long long> value);

    // The line as standard error shows it, without the line end.
    const std::string& text() const { return text_; }
    // The words with their values as given (not escaped), time first.
    const std::vector<std::pair<std::string, std::string>>& fields() const { return fields_; }

private:
    void add(std::string_view key, std::string_view value, std::string_view written);

    std::string text_;
    std::vector<std::pair<std::string, std::string>> fields_;
};

// The time word's value: 2024-05-01T07:58:03.120Z.
std::string journalTime(std::chrono::system_clock::time_point time);

// Writes the line. With standard error going to the systemd journal (a service's stream), the
// line goes to the journal natively: the fields upper-cased (ID=, OUTCOME=, ...) with the line
// as MESSAGE=, so it is kept once. Otherwise it is written to standard error, and sent to the
// systemd journal as well when one is running. Safe to call from any thread; a line is never
// interleaved with another.
void writeJournal(const JournalLine& line);

} // namespace qv
