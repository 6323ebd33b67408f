#include "platform/Journal.h"

#include "platform/Errors.h"
#include "platform/JournalEvents.h"
#include "tests/support/JournalCapture.h"

#include <gtest/gtest.h>
#include <thread>

namespace qv {
namespace {

using Words = std::vector<std::pair<std::string, std::string>>;

// Reads a line back the way a log tool would: blank-separated key=value words, a value either
// bare or in double quotes with backslash escapes.
Words parseLine(const std::string& line) {
    Words words;
    std::size_t at = 0;
    while (at < line.size()) {
        const auto equals = line.find('=', at);
        if (equals == std::string::npos) {
            ADD_FAILURE() << "word without '=' in: " << line;
            return words;
        }
        std::string key = line.substr(at, equals - at);
        std::string value;
        at = equals + 1;
        if (at < line.size() && line[at] == '"') {
            for (++at; at < line.size() && line[at] != '"'; ++at) {
                if (line[at] != '\\') {
                    value += line[at];
                    continue;
                }
                const char escaped = line[++at];
                if (escaped == 'n') {
                    value += '\n';
                } else if (escaped == 'r') {
                    value += '\r';
                } else if (escaped == 't') {
                    value += '\t';
                } else if (escaped == 'x') {
                    value += static_cast<char>(std::stoi(line.substr(at + 1, 2), nullptr, 16));
                    at += 2;
                } else {
                    value += escaped;
                }
            }
            ++at; // the closing quote
        } else {
            const auto end = line.find(' ', at);
            value = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
            at += value.size();
        }
        words.emplace_back(std::move(key), std::move(value));
        if (at < line.size()) {
            EXPECT_EQ(line[at], ' ') << "words not separated by a blank in: " << line;
            ++at;
        }
    }
    return words;
}

TEST(Journal, NoValueForgesAWordOrALine) {
    const std::string hostile[] = {
        "4711\noutcome=answered",
        "4711\" outcome=\"answered",
        "a=b",
        "back\\slash\\\" outcome=x",
        "tab\there\rcarriage",
        std::string("nul\0bell\x07", 9) + "\x7f",
        "Muñoz",
        "",
    };
    for (const auto& value : hostile) {
        for (const bool asPlain : {false, true}) {
            JournalLine line;
            asPlain ? line.plain("id", value) : line.quoted("id", value);
            line.plain("outcome", "fault");
            SCOPED_TRACE(line.text());
            EXPECT_EQ(line.text().find_first_of(std::string("\n\r\0", 3)), std::string::npos);
            const Words words = parseLine(line.text());
            ASSERT_EQ(words.size(), 3u);
            EXPECT_EQ(words[0].first, "time");
            EXPECT_EQ(words[1], (std::pair<std::string, std::string>("id", value)));
            EXPECT_EQ(words[2], (std::pair<std::string, std::string>("outcome", "fault")));
            EXPECT_EQ(line.fields()[1].second, value) << "the structured field keeps the value";
        }
    }
}

TEST(Journal, WordsInTheirOrderAfterTheTime) {
    // 2024-05-01 07:58:03.120 UTC
    const std::chrono::system_clock::time_point time{std::chrono::milliseconds(1714550283120)};
    JournalLine line(time);
    line.plain("mode", "I").quoted("id", "7").count("capture_ms", 1250).count("service_ms", {});
    EXPECT_EQ(line.text(),
              "time=2024-05-01T07:58:03.120Z mode=I id=\"7\" capture_ms=1250 service_ms=-");
    EXPECT_EQ(journalTime(std::chrono::system_clock::time_point{}), "1970-01-01T00:00:00.000Z");
}

TEST(Journal, KeysAreLowerCaseWords) {
    for (const char* key : {"", "ID", "a b", "id=x", "_x", "a\nb"}) {
        EXPECT_THROW(JournalLine().plain(key, "v"), AssertionFailed) << key;
    }
}

TEST(Journal, StationAndReaderEventLines) {
    const std::pair<void (*)(), std::string> cases[] = {
        {[] { journalStationStart("1.4.0"); }, "event=start version=1.4.0"},
        {[] { journalStationStop(); }, "event=stop"},
        {[] { journalReaderEvent(ReaderEvent::Found, "virtual_image-0"); },
         "event=found reader=\"virtual_image-0\""},
        {[] { journalReaderEvent(ReaderEvent::Resting, "r"); }, "event=resting reader=\"r\""},
        {[] { journalReaderEvent(ReaderEvent::Lost, "r"); }, "event=lost reader=\"r\""},
        {[] { journalReaderEvent(ReaderEvent::Back, "r"); }, "event=back reader=\"r\""},
        {[] { journalReaderEvent(ReaderEvent::Opened, "r"); }, "event=opened reader=\"r\""},
        {[] { journalReaderEvent(ReaderEvent::OpenFailed, "r\n"); },
         "event=open-failed reader=\"r\\n\""},
    };
    for (const auto& [write, expected] : cases) {
        test::JournalCapture capture;
        write();
        const auto lines = capture.lines();
        ASSERT_EQ(lines.size(), 1u) << expected;
        const auto afterTime = lines[0].find(' ');
        ASSERT_NE(afterTime, std::string::npos);
        EXPECT_EQ(lines[0].substr(afterTime + 1), expected);
    }
}

TEST(Journal, LinesFromSeveralThreadsStayWhole) {
    constexpr int kThreads = 4;
    constexpr int kLinesEach = 200;
    const std::string padding(300, 'x');
    test::JournalCapture capture;
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&, t] {
                for (int i = 0; i < kLinesEach; ++i) {
                    writeJournal(JournalLine().count("thread", t).plain("padding", padding));
                }
            });
        }
    }
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
    for (const auto& line : lines) {
        EXPECT_EQ(parseLine(line).size(), 3u);
        EXPECT_TRUE(line.ends_with(padding));
    }
}

} // namespace
} // namespace qv
