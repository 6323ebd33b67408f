// The milliseconds and the outcome of an attempt's journal line, with a clock the test drives.

#include "app/ClockInAttempt.h"

#include "service/SoapErrors.h"
#include "tests/support/JournalCapture.h"
#include "tests/support/SteppingClock.h"

#include <functional>
#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(ClockInAttempt, StepsReachedGiveTheirMillisecondsAndTheErrorItsOutcome) {
    // The clock moves on 10 ms at each reading: begin, each step, the end.
    const std::pair<std::function<void(ClockInAttempt&)>, std::string> cases[] = {
        {[](ClockInAttempt& a) {
             a.captured(), a.encoded(), a.calling(), a.replied(), a.answered("Hola");
         },
         "outcome=answered text=\"Hola\" capture_ms=10 encode_ms=10 service_ms=10 total_ms=50"},
        {[](ClockInAttempt& a) { a.refused("ERROR"); },
         "outcome=refused text=\"ERROR\" capture_ms=- encode_ms=- service_ms=- total_ms=10"},
        {[](ClockInAttempt& a) { a.failed(GeneralError("BMP")); },
         "outcome=capture-failed text=\"BMP\" capture_ms=- encode_ms=- service_ms=- total_ms=10"},
        {[](ClockInAttempt& a) {
             a.captured(), a.encoded(), a.calling(), a.failed(GeneralError("down"));
         },
         "outcome=transport text=\"down\" capture_ms=10 encode_ms=10 service_ms=10 total_ms=40"},
        {[](ClockInAttempt& a) {
             a.captured(), a.encoded(), a.calling(), a.failed(ERemoteFault("no"));
         },
         "outcome=fault text=\"no\" capture_ms=10 encode_ms=10 service_ms=10 total_ms=40"},
        {[](ClockInAttempt& a) {
             a.captured(), a.encoded(), a.calling(), a.replied(), a.failed(GeneralError("none"));
         },
         "outcome=fault text=\"none\" capture_ms=10 encode_ms=10 service_ms=10 total_ms=50"},
        // The photograph failing after the answer leaves the answered line alone.
        {[](ClockInAttempt& a) {
             a.calling(), a.replied(), a.answered("Hola"), a.failed(GeneralError("jpeg"));
         },
         "outcome=answered text=\"Hola\" capture_ms=- encode_ms=- service_ms=10 total_ms=30"},
    };
    for (const auto& [steps, expected] : cases) {
        test::SteppingClock clock(std::chrono::milliseconds(10));
        ClockInAttempt attempt(clock.reader());
        const test::JournalCapture journal;
        attempt.begin(ClockInRoad::Scanner, "E", "9");
        steps(attempt);
        const auto lines = journal.lines();
        ASSERT_EQ(lines.size(), 1u) << expected;
        EXPECT_TRUE(lines[0].ends_with(" road=scanner mode=E id=\"9\" " + expected)) << lines[0];
    }
}

TEST(ClockInAttempt, NothingIsWrittenOutsideAnAttempt) {
    const test::JournalCapture journal;
    ClockInAttempt attempt;
    attempt.calling();
    attempt.replied();
    attempt.answered("Hola");
    attempt.failed(GeneralError("x"));
    EXPECT_TRUE(journal.lines().empty());
}

} // namespace
} // namespace qv
