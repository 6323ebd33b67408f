#include "capture/ULiveScanExterno.h"

#include "platform/Errors.h"
#include "tests/capture/RecordingUi.h"
#include "tests/config/FixedSettings.h"
#include "tests/platform/ScriptFolder.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace qv {
namespace {

using test::FixedSettings;
using test::RecordingUi;
using test::ScriptFolder;

const char* recorder = "pwd > \"RECORDcwd\"\n"
                       "for a in \"$@\"; do echo \"[$a]\"; done > \"RECORDargs\"\n";

class CaptureProgram : public ::testing::Test {
protected:
    explicit CaptureProgram(const std::string& subfolder = "capture")
        : capture_(subfolder) {
        paths_.folder = capture_.prefix();
        paths_.exeCaptura = "cap.sh";
        paths_.exeConfig = "conf.sh";
    }
    bool run(const std::string& argument) { return RunCaptureProgram(paths_, ui_, argument); }

    ScriptFolder capture_;
    FixedSettings paths_;
    RecordingUi ui_;
};

TEST_F(CaptureProgram, ProgramThatLeavesTheFileSucceedsAndRunsInItsOwnFolder) {
    capture_.writeScript("cap.sh", std::string(recorder) + "sleep 0.1\necho BM > huella.bmp\n");

    EXPECT_TRUE(run("12345"));

    EXPECT_EQ(capture_.read("args"), "[12345]\n");
    EXPECT_EQ(capture_.read("cwd"), capture_.folder() + "\n") << "working folder";
    EXPECT_EQ(ui_.log, (std::vector<std::string>{"busy", "idle"}));
    EXPECT_GT(ui_.paints, 0) << "the windows must be painted while the program runs";
    EXPECT_EQ(ui_.paintsWhileIdle, 0) << "the wait must happen under the busy cursor";
}

TEST_F(CaptureProgram, ArgumentIsSplitAtBlanksLikeAnUnquotedCommandLine) {
    capture_.writeScript("cap.sh", recorder);
    run(" Juan Pérez ");
    EXPECT_EQ(capture_.read("args"), "[Juan]\n[Pérez]\n");
}

TEST_F(CaptureProgram, EarlierResultIsDeletedSoAProgramThatWritesNothingFails) {
    capture_.writeFile("huella.bmp", "stale");
    capture_.writeScript("cap.sh", "exit 0\n");

    EXPECT_FALSE(run("1"));

    EXPECT_FALSE(capture_.exists("huella.bmp"));
    EXPECT_EQ(ui_.log, (std::vector<std::string>{"busy", "idle"})) << "no message";
}

TEST_F(CaptureProgram, ResultIsJudgedOnlyAfterTheProgramEnds) {
    capture_.writeScript("cap.sh", "echo BM > huella.bmp\nsleep 0.2\nrm huella.bmp\n");
    EXPECT_FALSE(run("1"));
}

TEST_F(CaptureProgram, MissingProgramIsReportedAndNothingRuns) {
    capture_.writeFile("huella.bmp", "stale");

    EXPECT_FALSE(run("1"));

    EXPECT_EQ(ui_.log, (std::vector<std::string>{"error Error: no existe el programa \"" +
                                                 capture_.path("cap.sh") + "\""}));
    EXPECT_FALSE(capture_.exists("huella.bmp")) << "the old result is deleted first";
}

TEST_F(CaptureProgram, EmptySelectionNamesTheFolderAsTheMissingProgram) {
    paths_.exeCaptura.clear();
    EXPECT_FALSE(run("1"));
    EXPECT_EQ(ui_.log, (std::vector<std::string>{"error Error: no existe el programa \"" +
                                                 paths_.folder + "\""}));
}

TEST_F(CaptureProgram, FileThatCannotBeStartedGivesNoMessage) {
    capture_.writeFile("cap.sh", "not executable");
    EXPECT_FALSE(run("1"));
    EXPECT_EQ(ui_.log, (std::vector<std::string>{"busy", "idle"}));
}

TEST_F(CaptureProgram, OverlongCommandLineIsRefusedWithTheCursorRestored) {
    capture_.writeScript("cap.sh", "echo BM > huella.bmp\n");
    EXPECT_THROW(run(std::string(600, '9')), GeneralError);
    EXPECT_EQ(ui_.log, (std::vector<std::string>{"busy", "idle"}));
    EXPECT_FALSE(capture_.exists("huella.bmp")) << "the program must not have run";
}

TEST_F(CaptureProgram, CursorIsRestoredWhenPaintingFails) {
    struct FailingUi : RecordingUi {
        void processPaintEvents() override { throw GeneralError("paint failed"); }
    } failing;
    capture_.writeScript("cap.sh", "sleep 0.2\n");
    EXPECT_THROW(RunCaptureProgram(paths_, failing, "1"), GeneralError);
    EXPECT_EQ(failing.log, (std::vector<std::string>{"busy", "idle"}));
}

class CaptureProgramInFolderWithBlanks : public CaptureProgram {
protected:
    CaptureProgramInFolderWithBlanks()
        : CaptureProgram("Live Scan") {
        paths_.exeCaptura = "mi captura.sh";
    }
};

TEST_F(CaptureProgramInFolderWithBlanks, PathIsNeverSplit) {
    capture_.writeScript("mi captura.sh", std::string(recorder) + "echo BM > huella.bmp\n");
    EXPECT_TRUE(run("prueba"));
    EXPECT_EQ(capture_.read("args"), "[prueba]\n");
    EXPECT_EQ(capture_.read("cwd"), capture_.folder() + "\n");
}

// Polls for a file that another process writes; gives up after a generous bound.
bool eventuallyExists(const ScriptFolder& folder, const std::string& name) {
    for (int i = 0; i < 1000 && !folder.exists(name); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return folder.exists(name);
}

TEST_F(CaptureProgram, ConfigProgramStartsWithoutWaitingInTheCurrentFolder) {
    capture_.writeScript("conf.sh", "i=0\n"
                                    "while [ ! -e \"RECORDgo\" ] && [ $i -lt 1000 ]; do\n"
                                    "    sleep 0.01; i=$((i+1))\n"
                                    "done\n" +
                                        std::string(recorder) + "touch \"RECORDdone\"\n");

    // The program cannot get past its loop before the test lets it.
    RunConfigProgram(paths_, ui_);
    EXPECT_FALSE(capture_.exists("done")) << "the call waited for the program";
    capture_.writeFile("go", "");

    ASSERT_TRUE(eventuallyExists(capture_, "done"));
    EXPECT_EQ(capture_.read("args"), "");
    EXPECT_EQ(capture_.read("cwd"), std::filesystem::current_path().string() + "\n");
    EXPECT_EQ(ui_.log, (std::vector<std::string>{"busy", "idle"}));
}

TEST_F(CaptureProgram, MissingConfigProgramIsReported) {
    RunConfigProgram(paths_, ui_);
    EXPECT_EQ(ui_.log, (std::vector<std::string>{"error Error: no existe el programa \"" +
                                                 capture_.path("conf.sh") + "\""}));
}

TEST(ProgramFolder, FolderPartWithoutTrailingSeparator) {
    EXPECT_EQ(programFolder("/opt/live scan/cap.sh"), "/opt/live scan");
    EXPECT_EQ(programFolder("/cap.sh"), "/");
    EXPECT_EQ(programFolder("cap.sh"), "");
    EXPECT_EQ(programFolder("rel/cap.sh"), "rel");
}

} // namespace
} // namespace qv
