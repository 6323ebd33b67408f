#include "tests/platform/ScriptFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace qv {
namespace {

struct Outcome {
    int exitStatus;
    std::string output;
};

// Runs a copy of the station from folder, where the loader looks for libraries first.
Outcome runStationIn(const test::ScriptFolder& folder) {
    const std::string station = folder.path("Quorvantis");
    std::filesystem::copy_file(QV_STATION_EXE, station);
    const std::string command = "cd '" + folder.folder() +
                                "' && SCRIPTED_SCANMAN_LOG=scanman.log QT_QPA_PLATFORM=offscreen "
                                "./Quorvantis > output 2>&1";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, folder.read("output")};
}

TEST(StartUp, BrokenCompressionLibraryStopsTheStationWithItsMessage) {
    test::ScriptFolder folder;
    std::filesystem::copy_file(QV_BROKEN_WSQPACK, folder.path("libWSQPACK.so"));

    const Outcome outcome = runStationIn(folder);

    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_NE(outcome.output.find("Assertion failure (WSQPACK, line"), std::string::npos)
        << outcome.output;
}

TEST(StartUp, AFailureAfterTheScannerCameUpTakesItDownAgain) {
    test::ScriptFolder folder;
    std::filesystem::copy_file(QV_BROKEN_WSQPACK, folder.path("libWSQPACK.so"));
    std::filesystem::copy_file(QV_SCRIPTED_SCANMAN, folder.path("libScanMan.so"));

    const Outcome outcome = runStationIn(folder);

    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_EQ(folder.read("scanman.log"),
              "SMInitialize\ntype 0 10\nread 0 10 null\nread 0 10\ntype 0 11\nread 0 11\n"
              "type 0 12\nread 0 12\nSMSetMonitor\nSMGetScannerCount\nSMRemoveMonitor\n"
              "SMFinalize\n");
}

TEST(StartUp, ABrokenScannerLibraryStopsTheStationBeforeAnythingElse) {
    test::ScriptFolder folder;
    std::filesystem::copy_file(QV_BROKEN_WSQPACK, folder.path("libScanMan.so"));

    const Outcome outcome = runStationIn(folder);

    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_NE(outcome.output.find("Assertion failure (ScanMan, line"), std::string::npos)
        << outcome.output;
}

} // namespace
} // namespace qv
