#include "capture/ULiveScanExterno.h"

#include "platform/Errors.h"
#include "tests/support/Eventually.h"
#include "tests/support/FixedSettings.h"
#include "tests/support/RecordingUi.h"
#include "tests/support/ScriptSnippets.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace qv {
namespace {

using test::eventually;
using test::FixedSettings;
using test::kRecorder;
using test::kWaitForGo;
using test::RecordingUi;
using test::TempFolder;

// A screen that, while the runner waits, lets the program go on once a condition holds: the
// test decides what the program has done by then, whatever the machine's speed.
struct HandshakeUi : RecordingUi {
    std::function<void()> onPaint;
    void processPaintEvents() override {
        RecordingUi::processPaintEvents();
        onPaint();
    }
};

class CaptureProgram : public ::testing::Test {
protected:
    explicit CaptureProgram(const std::string& subfolder = "capture")
        : capture_(subfolder) {
        paths_.folder = capture_.prefix();
        paths_.exeCaptura = "cap.sh";
        paths_.exeConfig = "conf.sh";
    }
    bool run(const std::string& argument) { return RunCaptureProgram(paths_, ui_, argument); }

    TempFolder capture_;
    FixedSettings paths_;
    RecordingUi ui_;
};

TEST_F(CaptureProgram, ProgramThatLeavesTheFileSucceedsAndRunsInItsOwnFolder) {
    // The file appears only once the runner has painted while waiting: a runner that did not
    // wait finds none.
    capture_.writeScript("cap.sh", std::string(kRecorder) + kWaitForGo + "echo BM > huella.bmp\n");
    HandshakeUi ui;
    ui.onPaint = [&] { capture_.writeFile("go", ""); };

    EXPECT_TRUE(RunCaptureProgram(paths_, ui, "12345"));

    EXPECT_EQ(capture_.read("args"), "[12345]\n");
    EXPECT_EQ(capture_.read("cwd"), capture_.folder() + "\n") << "working folder";
    EXPECT_EQ(ui.log, (std::vector<std::string>{"busy", "idle"}));
    EXPECT_GT(ui.paints, 0) << "the windows must be painted while the program runs";
    EXPECT_EQ(ui.paintsWhileIdle, 0) << "the wait must happen under the busy cursor";
}

TEST_F(CaptureProgram, ArgumentIsSplitAtBlanksLikeAnUnquotedCommandLine) {
    capture_.writeScript("cap.sh", kRecorder);
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
    // The program holds the file until the runner has seen it there, then takes it away.
    capture_.writeScript("cap.sh",
                         "echo BM > huella.bmp\n" + std::string(kWaitForGo) + "rm huella.bmp\n");
    HandshakeUi ui;
    ui.onPaint = [&] {
        if (capture_.exists("huella.bmp")) {
            capture_.writeFile("go", "");
        }
    };
    EXPECT_FALSE(RunCaptureProgram(paths_, ui, "1"));
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
    // The program runs until the screen has failed, so the failure happens during the wait.
    struct FailingUi : RecordingUi {
        const TempFolder* folder = nullptr;
        void processPaintEvents() override {
            folder->writeFile("go", "");
            throw GeneralError("paint failed");
        }
    } failing;
    failing.folder = &capture_;
    capture_.writeScript("cap.sh", kWaitForGo);
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
    capture_.writeScript("mi captura.sh", std::string(kRecorder) + "echo BM > huella.bmp\n");
    EXPECT_TRUE(run("prueba"));
    EXPECT_EQ(capture_.read("args"), "[prueba]\n");
    EXPECT_EQ(capture_.read("cwd"), capture_.folder() + "\n");
}

TEST_F(CaptureProgram, ConfigProgramStartsWithoutWaitingInTheCurrentFolder) {
    capture_.writeScript("conf.sh", std::string(kWaitForGo) + kRecorder + "touch \"RECORDdone\"\n");

    // The program cannot get past its loop before the test lets it.
    RunConfigProgram(paths_, ui_);
    EXPECT_FALSE(capture_.exists("done")) << "the call waited for the program";
    capture_.writeFile("go", "");

    ASSERT_TRUE(eventually([&] { return capture_.exists("done"); }));
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
