#include "platform/StationMetrics.h"

#include "platform/MetricsFile.h"
#include "tests/support/Eventually.h"
#include "tests/support/JournalCapture.h"
#include "tests/support/TempFolder.h"

#include <atomic>
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

const StationMetrics::Clock::time_point kAt{std::chrono::seconds(1765250000)};

// The samples of an exposition by series (name and labels as written), as a scrape reads them;
// a line that is neither a comment nor "series value" fails the test.
Samples samplesOf(const std::string& text) {
    Samples samples;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.starts_with("# HELP ") || line.starts_with("# TYPE ")) {
            continue;
        }
        const auto blank = line.rfind(' ');
        if (blank == std::string::npos || line.starts_with('#')) {
            ADD_FAILURE() << "not a sample: " << line;
            continue;
        }
        EXPECT_TRUE(samples.emplace(line.substr(0, blank), line.substr(blank + 1)).second)
            << "series twice: " << line;
    }
    return samples;
}

std::string clockIns(const char* road, const char* outcome) {
    return std::string("quorvantis_clockins_total{road=\"") + road + "\",outcome=\"" + outcome +
           "\"}";
}

std::string readers(const char* state) {
    return std::string("quorvantis_readers{state=\"") + state + "\"}";
}

std::string callBucket(const char* bound) {
    return std::string("quorvantis_service_call_duration_seconds_bucket{le=\"") + bound + "\"}";
}

void answeredIn(StationMetrics& metrics, std::chrono::duration<double> call) {
    metrics.countClockIn(ClockInRoad::Button, ClockInOutcome::Answered, call, kAt);
}

void failedWith(StationMetrics& metrics, ClockInOutcome outcome) {
    metrics.countClockIn(ClockInRoad::Scanner, outcome, 2s, kAt);
}

struct Case {
    const char* name;
    std::function<void(StationMetrics&)> events;
    // The samples that must read so afterwards; a value "absent" says the series is not there.
    Samples expected;
};

TEST(StationMetrics, ReadAfterASequenceOfEvents) {
    const std::vector<Case> cases{
        {"a station just started: down, nothing counted, no reader, no answer yet",
         [](StationMetrics&) {},
         {{"quorvantis_station_up", "0"},
          {"quorvantis_build_info{version=\"9.8.7\"}", "1"},
          {"quorvantis_station_written_timestamp_seconds", "1765250000.5"},
          {clockIns("scanner", "capture-failed"), "0"},
          {readers("ready"), "0"},
          {readers("lost"), "0"},
          {"quorvantis_last_answered_clockin_timestamp_seconds", "absent"},
          {callBucket("+Inf"), "0"}}},
        {"on screen, one answered call of 0.3 s: counted in its bucket and the ones above",
         [](StationMetrics& m) {
             m.setOnScreen(true);
             answeredIn(m, 300ms);
         },
         {{"quorvantis_station_up", "1"},
          {clockIns("button", "answered"), "1"},
          {clockIns("scanner", "answered"), "0"},
          {"quorvantis_last_answered_clockin_timestamp_seconds", "1765250000"},
          {callBucket("0.25"), "0"},
          {callBucket("0.5"), "1"},
          {callBucket("180"), "1"},
          {callBucket("+Inf"), "1"},
          {"quorvantis_service_call_duration_seconds_sum", "0.3"},
          {"quorvantis_service_call_duration_seconds_count", "1"}}},
        {"a call longer than the last bound: only in +Inf",
         [](StationMetrics& m) { answeredIn(m, 200s); },
         {{callBucket("180"), "0"}, {callBucket("+Inf"), "1"}}},
        {"failed calls in a row; a refusal or a failed capture neither breaks nor adds to them",
         [](StationMetrics& m) {
             failedWith(m, ClockInOutcome::Fault);
             failedWith(m, ClockInOutcome::Transport);
             m.countClockIn(ClockInRoad::Button, ClockInOutcome::Refused, std::nullopt, kAt);
             m.countClockIn(ClockInRoad::Button, ClockInOutcome::CaptureFailed, std::nullopt, kAt);
             failedWith(m, ClockInOutcome::Transport);
         },
         {{"quorvantis_service_call_failures_in_a_row", "3"},
          {clockIns("scanner", "transport"), "2"},
          {clockIns("button", "refused"), "1"},
          {"quorvantis_service_call_duration_seconds_count", "3"}}},
        {"an answer ends the run of failures",
         [](StationMetrics& m) {
             failedWith(m, ClockInOutcome::Fault);
             answeredIn(m, 1s);
         },
         {{"quorvantis_service_call_failures_in_a_row", "0"}}},
        {"readers by state: a closed reader is idle unless it failed or was unplugged",
         [](StationMetrics& m) {
             m.setReaderState("a", ReaderState::Ready);
             m.readerClosed("a");
             m.setReaderState("b", ReaderState::Failing);
             m.countReaderFailure();
             m.readerClosed("b");
             m.setReaderState("c", ReaderState::Lost);
             m.readerClosed("c");
             m.setReaderState("d", ReaderState::Starting);
             m.setReaderState("d", ReaderState::Ready);
         },
         {{readers("idle"), "1"},
          {readers("failing"), "1"},
          {readers("lost"), "1"},
          {readers("ready"), "1"},
          {readers("starting"), "0"},
          {"quorvantis_reader_failures_total", "1"}}},
        {"an unplugged reader seen again is counted once, in its new state",
         [](StationMetrics& m) {
             m.setReaderState("a", ReaderState::Lost);
             m.setReaderState("a", ReaderState::Starting);
         },
         {{readers("lost"), "0"}, {readers("starting"), "1"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StationMetrics metrics("9.8.7");
        c.events(metrics);
        const Samples samples = samplesOf(metrics.text(kAt + std::chrono::milliseconds(500)));
        for (const auto& [series, value] : c.expected) {
            const auto found = samples.find(series);
            if (value == "absent") {
                EXPECT_EQ(found, samples.end()) << series;
            } else {
                ASSERT_NE(found, samples.end()) << series;
                EXPECT_EQ(found->second, value) << series;
            }
        }
    }
}

TEST(StationMetrics, LabelValuesAreEscaped) {
    const StationMetrics metrics("1.0 \"x\"\\\n");
    const Samples samples = samplesOf(metrics.text(kAt));
    EXPECT_EQ(samples.count("quorvantis_build_info{version=\"1.0 \\\"x\\\"\\\\\\n\"}"), 1U);
}

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every read while the writer keeps replacing the file sees a whole file; the file is readable
// by all, no temporary file outlives the writer, and the last state is written when it ends.
TEST(MetricsFileWriter, ReadersNeverSeeHalfAFile) {
    const test::TempFolder folder;
    const std::filesystem::path file = folder.path("station.prom");
    StationMetrics metrics("1.0");
    std::atomic<bool> done = false;
    std::atomic<int> wholeReads = 0;
    {
        const MetricsFileWriter writer(file, metrics, 1ms);
        ASSERT_TRUE(test::eventually([&] { return std::filesystem::exists(file); }));
        std::thread reader([&] {
            while (!done) {
                const std::string text = contentOf(file);
                EXPECT_TRUE(text.starts_with("# HELP quorvantis_station_up ") &&
                            text.find("\nquorvantis_reader_failures_total ") != std::string::npos &&
                            text.ends_with("\n"))
                    << text;
                ++wholeReads;
            }
        });
        for (int i = 0; i < 300; ++i) {
            metrics.countReaderFailure();
            std::this_thread::sleep_for(100us);
        }
        EXPECT_TRUE(test::eventually([&] { return wholeReads > 50; }));
        done = true;
        reader.join();
        metrics.setOnScreen(true);
    }
    const Samples samples = samplesOf(contentOf(file));
    EXPECT_EQ(samples.at("quorvantis_station_up"), "1");
    EXPECT_EQ(samples.at("quorvantis_reader_failures_total"), "300");
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644U);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.folder()),
                            std::filesystem::directory_iterator()),
              1);
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
    std::vector<std::string> failures;
    for (const std::string& line : journal.shapes()) {
        if (line.find("event=metrics-failed") != std::string::npos) {
            failures.push_back(line);
        }
    }
    ASSERT_EQ(failures.size(), 1U);
    EXPECT_NE(failures[0].find("missing/station.prom"), std::string::npos) << failures[0];
    EXPECT_NE(failures[0].find("No such file or directory"), std::string::npos) << failures[0];
}

} // namespace
} // namespace qv
