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
Outcome runStationIn(const test::TempFolder& folder, const std::vector<std::string>& arguments = {},
                     std::vector<std::pair<std::string, std::string>> environment = {}) {
    const std::string station = folder.path("Quorvantis");
    std::filesystem::copy_file(QV_STATION_EXE, station);
    test::ChildRunOptions options;
    options.workingFolder = folder.folder();
    options.environment = {{"QT_QPA_PLATFORM", "offscreen"},
                           {"SCRIPTED_SCANMAN_LOG", "scanman.log"}};
    for (const auto& [name, value] : environment) {
        std::erase_if(options.environment, [&](const auto& base) { return base.first == name; });
        options.environment.emplace_back(name, value);
    }
    options.errorIntoOutput = true;
    const test::ChildOutcome outcome = test::runAndCapture("./Quorvantis", arguments, options);
    return {outcome.exitCode, outcome.out};
}

TEST(StartUp, BrokenCompressionLibraryStopsTheStationWithItsMessage) {
    test::TempFolder folder;
    std::filesystem::copy_file(QV_BROKEN_WSQPACK, folder.path("libWSQPACK.so"));
    // Beside the program rather than through its run path, which the address sanitizer's
    // interception of the loader does not apply.
    std::filesystem::copy_file(QV_SCANMAN_LIBRARY, folder.path("libScanMan.so"));

    const Outcome outcome = runStationIn(folder);

    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_NE(outcome.output.find("Assertion failure (WSQPACK, line"), std::string::npos)
        << outcome.output;
    // The journal frames even a failed run with its start and stop lines.
    EXPECT_TRUE(outcome.output.starts_with("time=") &&
                outcome.output.find(" event=start version=") < outcome.output.find('\n'))
        << outcome.output;
    EXPECT_TRUE(outcome.output.ends_with(" event=stop\n")) << outcome.output;
}

// Qt ends the process at once when there is no display, or when the compositor goes: the
// run's start line still has its stop line, before Qt's own message.
TEST(StartUp, ARunEndedByQtsFatalMessageStillHasItsStopLine) {
    test::TempFolder folder;
    std::filesystem::copy_file(QV_SCANMAN_LIBRARY, folder.path("libScanMan.so"));
    std::filesystem::copy_file(QV_WSQPACK_LIBRARY, folder.path("libWSQPACK.so"));

    const Outcome outcome = runStationIn(folder, {},
                                         {{"QT_QPA_PLATFORM", "wayland"},
                                          {"WAYLAND_DISPLAY", "no-compositor-here"},
                                          {"XDG_RUNTIME_DIR", folder.folder()}});

    EXPECT_NE(outcome.exitStatus, 0);
    const std::size_t stop = outcome.output.find(" event=stop\n");
    EXPECT_NE(stop, std::string::npos) << outcome.output;
    EXPECT_LT(outcome.output.find(" event=start "), stop) << outcome.output;
}

TEST(StartUp, AFailureAfterTheScannerCameUpTakesItDownAgain) {
    test::TempFolder folder;
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
    test::TempFolder folder;
    std::filesystem::copy_file(QV_BROKEN_WSQPACK, folder.path("libScanMan.so"));

    const Outcome outcome = runStationIn(folder);

    EXPECT_NE(outcome.exitStatus, 0);
    EXPECT_NE(outcome.output.find("Assertion failure (ScanMan, line"), std::string::npos)
        << outcome.output;
}

// The reader opens while the station is still starting, before anything takes its reports.
TEST(StartUp, TheCheckSeesTheVirtualReaderOpen) {
    test::TempFolder folder;
    std::filesystem::copy_file(QV_SCANMAN_LIBRARY, folder.path("libScanMan.so"));
    std::filesystem::copy_file(QV_WSQPACK_LIBRARY, folder.path("libWSQPACK.so"));

    const Outcome outcome = runStationIn(
        folder, {"--check"},
        {{"FP_VIRTUAL_IMAGE", folder.path("scanner")}, {"FP_DRIVERS_WHITELIST", "virtual_image"}});

    EXPECT_EQ(outcome.exitStatus, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("reader virtual_image:0: opened\n"), std::string::npos)
        << outcome.output;
    EXPECT_LT(outcome.output.find("event=found"), outcome.output.find("event=opened"))
        << outcome.output;
}

} // namespace
} // namespace qv
