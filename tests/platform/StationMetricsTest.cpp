#include "platform/StationMetrics.h"

#include "platform/MetricsFile.h"
#include "tests/support/Eventually.h"
#include "tests/support/JournalCapture.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace qv {
namespace {

using namespace std::chrono_literals;
using Samples = std::map<std::string, std::string>;
using enum ClockInOutcome;
using enum ReaderState;

const StationMetrics::Clock::time_point kAt{std::chrono::seconds(1765250000)};

// The samples of an exposition by series (name without the station's prefix, labels as
// written), as a scrape reads them; anything else but a comment fails the test.
Samples samplesOf(const std::string& text) {
    Samples samples;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("# HELP quorvantis_") || line.starts_with("# TYPE quorvantis_")) {
            continue;
        }
        const auto blank = line.rfind(' ');
        if (blank == std::string::npos || !line.starts_with("quorvantis_") ||
            !samples.emplace(line.substr(11, blank - 11), line.substr(blank + 1)).second) {
            ADD_FAILURE() << "not a sample, or a series twice: " << line;
        }
    }
    return samples;
}

void call(StationMetrics& m, ClockInOutcome outcome, std::chrono::duration<double> took) {
    m.countClockIn(ClockInRoad::Scanner, outcome, took, kAt);
}

struct Case {
    const char* name;
    std::function<void(StationMetrics&)> events;
    // Samples as "series value" that must read so afterwards; "absent" says the series is not.
    std::vector<std::string> expected;
};

// The version is one that must be escaped to stay on its line as one label value.
TEST(StationMetrics, ReadAfterASequenceOfEvents) {
    const std::vector<Case> cases{
        {"just started: down, nothing counted, no reader, no answer yet",
         [](StationMetrics&) {},
         {"station_up 0", R"(build_info{version="9.8 \"x\"\\\n"} 1)",
          "station_written_timestamp_seconds 1765250000.5",
          R"(clockins_total{road="scanner",outcome="capture-failed"} 0)",
          R"(readers{state="lost"} 0)", "last_answered_clockin_timestamp_seconds absent",
          R"(service_call_duration_seconds_bucket{le="+Inf"} 0)"}},
        {"on screen, one answered call of 0.3 s: counted in its bucket and the ones above",
         [](StationMetrics& m) {
             m.setOnScreen(true);
             m.countClockIn(ClockInRoad::Button, Answered, 300ms, kAt);
         },
         {"station_up 1", R"(clockins_total{road="button",outcome="answered"} 1)",
          R"(clockins_total{road="scanner",outcome="answered"} 0)",
          "last_answered_clockin_timestamp_seconds 1765250000",
          R"(service_call_duration_seconds_bucket{le="0.25"} 0)",
          R"(service_call_duration_seconds_bucket{le="0.5"} 1)",
          R"(service_call_duration_seconds_bucket{le="180"} 1)",
          R"(service_call_duration_seconds_bucket{le="+Inf"} 1)",
          "service_call_duration_seconds_sum 0.3", "service_call_duration_seconds_count 1"}},
        {"an answer ends a run of failures; a call longer than the last bound is only in +Inf",
         [](StationMetrics& m) {
             call(m, Fault, 1s);
             call(m, Answered, 200s);
         },
         {"service_call_failures_in_a_row 0", R"(service_call_duration_seconds_bucket{le="180"} 1)",
          R"(service_call_duration_seconds_bucket{le="+Inf"} 2)"}},
        {"failed calls in a row; a refusal or a failed capture neither breaks nor adds to them",
         [](StationMetrics& m) {
             call(m, Fault, 2s);
             call(m, Transport, 2s);
             m.countClockIn(ClockInRoad::Button, Refused, std::nullopt, kAt);
             m.countClockIn(ClockInRoad::Button, CaptureFailed, std::nullopt, kAt);
             call(m, Transport, 2s);
         },
         {"service_call_failures_in_a_row 3",
          R"(clockins_total{road="scanner",outcome="transport"} 2)",
          R"(clockins_total{road="button",outcome="refused"} 1)",
          "service_call_duration_seconds_count 3"}},
        {"a closed reader is idle unless it failed or was unplugged; one seen again is counted "
         "once, in its new state",
         [](StationMetrics& m) {
             for (const auto& [reader, state] :
                  {std::pair{"a", Ready}, {"b", Failing}, {"c", Lost}, {"d", Lost}}) {
                 m.setReaderState(reader, state);
                 m.readerClosed(reader);
             }
             m.countReaderFailure();
             m.setReaderState("d", Starting);
             m.setReaderState("e", Ready);
         },
         {R"(readers{state="idle"} 1)", R"(readers{state="failing"} 1)",
          R"(readers{state="lost"} 1)", R"(readers{state="starting"} 1)",
          R"(readers{state="ready"} 1)", "reader_failures_total 1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StationMetrics metrics("9.8 \"x\"\\\n");
        c.events(metrics);
        const Samples samples = samplesOf(metrics.text(kAt + 500ms));
        for (const std::string& sample : c.expected) {
            const std::string series = sample.substr(0, sample.rfind(' '));
            const auto found = samples.find(series);
            EXPECT_EQ(series + ' ' + (found == samples.end() ? "absent" : found->second), sample);
        }
    }
}

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The writer replaces the file, never rewrites it: whoever opened it reads the old one whole.
// The file is readable by all, no temporary file outlives the writer, and the last state is
// written when it ends.
TEST(MetricsFileWriter, ReplacesTheFileWholeOnEveryChange) {
    const test::TempFolder folder;
    const std::filesystem::path file = folder.path("station.prom");
    StationMetrics metrics("1.0");
    {
        const MetricsFileWriter writer(file, metrics, 1ms);
        ASSERT_TRUE(test::eventually([&] { return std::filesystem::exists(file); }));
        std::ifstream opened(file);
        metrics.countReaderFailure();
        EXPECT_TRUE(test::eventually(
            [&] { return samplesOf(contentOf(file))["reader_failures_total"] == "1"; }));
        EXPECT_EQ(samplesOf({std::istreambuf_iterator<char>(opened), {}})["reader_failures_total"],
                  "0");
        metrics.setOnScreen(true);
    }
    EXPECT_EQ(samplesOf(contentOf(file))["station_up"], "1");
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644U);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.folder()), {}), 1);
}

// A folder that cannot be written: said once in the journal, however often the metrics change.
TEST(MetricsFileWriter, AFailureIsJournalledOnce) {
    const test::TempFolder folder;
    const test::JournalCapture journal;
    StationMetrics metrics("1.0");
    {
        const MetricsFileWriter writer(folder.path("missing/station.prom"), metrics, 1ms);
        for (int i = 0; i < 20; ++i) {
            metrics.vouch();
            std::this_thread::sleep_for(2ms);
        }
    }
    std::vector<std::string> failures = journal.shapes();
    std::erase_if(failures, [](const std::string& line) {
        return line.find("event=metrics-failed") == std::string::npos;
    });
    ASSERT_EQ(failures.size(), 1U);
    EXPECT_NE(failures[0].find("missing/station.prom"), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("No such file or directory"), std::string::npos) << failures[0];
}

} // namespace
} // namespace qv
