#include "tests/support/ChildRun.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace qv {
namespace {

struct Outcome {
    int exitStatus;
    std::string output;
};

// Runs a copy of the station from folder, where the loader looks for libraries first.
Outcome runStationIn(const test::TempFolder& folder) {
    const std::string station = folder.path("Quorvantis");
    std::filesystem::copy_file(QV_STATION_EXE, station);
    test::ChildRunOptions options;
    options.workingFolder = folder.folder();
    options.environment = {{"QT_QPA_PLATFORM", "offscreen"}};
    options.errorIntoOutput = true;
    const test::ChildOutcome outcome = test::runAndCapture("./Quorvantis", {}, options);
    return {outcome.exitCode, outcome.out};
}

TEST(StartUp, BrokenCompressionLibraryStopsTheStationWithItsMessage) {
    test::TempFolder folder;
    std::filesystem::copy_file(QV_BROKEN_WSQPACK, folder.path("libWSQPACK.so"));

    const Outcome outcome = runStationIn(folder);

    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_NE(outcome.output.find("Assertion failure (WSQPACK, line"), std::string::npos)
        << outcome.output;
}

} // namespace
} // namespace qv
