#include "platform/Process.h"

#include "platform/Errors.h"
#include "tests/support/Eventually.h"
#include "tests/support/ScriptSnippets.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv {
namespace {

using test::eventually;
using test::kRecorder;
using test::kWaitForGo;
using test::TempFolder;

// A process stays listed in /proc until it has ended and been reaped: an unreaped child
// lingers there as a zombie.
bool gone(pid_t pid) {
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}

void runToEnd(const std::string& program, const std::string& arguments, const std::string& folder) {
    std::optional<ChildProcess> child = startProgram(program, arguments, folder);
    ASSERT_TRUE(child.has_value()) << program;
    child->wait({});
}

TEST(CommandLineWords, RunsOfBlanksAndTabsSeparateWords) {
    EXPECT_EQ(splitCommandLineWords("a  b\tc \t d"),
              (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitCommandLineWords("  12345  "), (std::vector<std::string>{"12345"}));
    EXPECT_TRUE(splitCommandLineWords("").empty());
    EXPECT_TRUE(splitCommandLineWords(" \t ").empty());
}

TEST(CommandLineWords, QuotesAndOtherCharactersAreOrdinary) {
    EXPECT_EQ(splitCommandLineWords("\"a b\" ñandú;x"),
              (std::vector<std::string>{"\"a", "b\"", "ñandú;x"}));
}

TEST(CommandLineText, PathBlankArgumentOrPathAlone) {
    EXPECT_EQ(commandLineText("/p/cap", "x y"), "/p/cap x y");
    EXPECT_EQ(commandLineText("/p/cap", ""), "/p/cap");
}

TEST(StartProgram, PassesArgumentWordsAndRunsInTheGivenFolder) {
    TempFolder folder;
    const std::string program = folder.writeScript("capture.sh", kRecorder);
    std::filesystem::create_directory(folder.path("work"));

    runToEnd(program, " 12 34\tfive ", folder.path("work"));

    EXPECT_EQ(folder.read("args"), "[12]\n[34]\n[five]\n");
    EXPECT_EQ(folder.read("cwd"), folder.path("work") + "\n");
}

TEST(StartProgram, ProgramPathWithBlanksIsNeverSplit) {
    TempFolder folder("capture folder");
    const std::string program = folder.writeScript("my capture.sh", kRecorder);

    runToEnd(program, "prueba", folder.folder());

    EXPECT_EQ(folder.read("args"), "[prueba]\n");
}

TEST(StartProgram, FirstArgumentIsTheProgramPath) {
    TempFolder folder;
    const std::string program = folder.writeScript("zero.sh", "echo \"$0\" > \"RECORDzero\"\n");
    runToEnd(program, "", "");
    EXPECT_EQ(folder.read("zero"), program + "\n");
}

TEST(StartProgram, RelativeProgramIsFoundFromTheCurrentFolderNotTheWorkingFolder) {
    TempFolder folder;
    folder.writeScript("rel.sh", kRecorder);
    std::filesystem::create_directory(folder.path("elsewhere"));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.folder());

    std::optional<ChildProcess> child = startProgram("rel.sh", "a", folder.path("elsewhere"));
    std::filesystem::current_path(previous);

    ASSERT_TRUE(child.has_value());
    child->wait({});
    EXPECT_EQ(folder.read("cwd"), folder.path("elsewhere") + "\n");
}

TEST(StartProgram, EmptyWorkingFolderMeansTheCurrentOne) {
    TempFolder folder;
    const std::string program = folder.writeScript("here.sh", kRecorder);
    runToEnd(program, "", "");
    EXPECT_EQ(folder.read("cwd"), std::filesystem::current_path().string() + "\n");
}

TEST(StartProgram, ReportsWhatCannotBeStarted) {
    TempFolder folder;
    folder.writeFile("plain.txt", "not a program");
    const std::string program = folder.writeScript("ok.sh", "exit 0\n");

    EXPECT_FALSE(startProgram(folder.path("missing.sh"), "", "").has_value());
    EXPECT_FALSE(startProgram(folder.path("plain.txt"), "", "").has_value());
    EXPECT_FALSE(startProgram(folder.folder(), "", "").has_value()) << "a folder";
    EXPECT_FALSE(startProgram(program, "", folder.path("no-such-folder")).has_value());
}

TEST(StartProgram, CommandLineOf512CharactersIsTheLongestAccepted) {
    TempFolder folder;
    const std::string program = folder.writeScript("long.sh", "touch \"RECORDran\"\n");
    const std::size_t room = maxCommandLineLength - program.size() - 1;

    EXPECT_THROW(startProgram(program, std::string(room + 1, 'x'), ""), GeneralError);
    EXPECT_THROW(startProgramDetached(program, std::string(room + 1, 'x'), ""), GeneralError);
    EXPECT_FALSE(folder.exists("ran")) << "nothing may start for a refused command line";

    runToEnd(program, std::string(room, 'x'), "");
    EXPECT_TRUE(folder.exists("ran"));
}

TEST(StartProgram, BoundCountsCharactersNotBytes) {
    TempFolder folder;
    const std::string program = folder.writeScript("long.sh", "exit 0\n");
    const std::size_t room = maxCommandLineLength - program.size() - 1;
    std::string accented;
    for (std::size_t i = 0; i < room; ++i) {
        accented += "ñ";
    }
    runToEnd(program, accented, "");
}

TEST(StartProgram, RefusalNamesTheProgram) {
    try {
        startProgram("/opt/capture/cap", std::string(600, 'x'), "");
        FAIL() << "no error raised";
    } catch (const GeneralError& error) {
        EXPECT_NE(std::string(error.what()).find("\"/opt/capture/cap\""), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("512"), std::string::npos);
    }
}

TEST(ChildProcessWait, CallsBackWhileTheChildRunsAndReapsIt) {
    TempFolder folder;
    const std::string program =
        folder.writeScript("slow.sh", std::string(kWaitForGo) + "touch \"RECORDdone\"\n");
    std::optional<ChildProcess> child = startProgram(program, "", "");
    ASSERT_TRUE(child.has_value());
    const pid_t pid = child->pid();

    int callbacks = 0;
    child->wait([&] {
        ++callbacks;
        folder.writeFile("go", "");
    });

    EXPECT_GT(callbacks, 0);
    EXPECT_TRUE(folder.exists("done")) << "wait returned before the child ended";
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1) << "the child was not reaped";
}

TEST(ChildProcessWait, ChildStillRunningWhenDroppedIsReapedLater) {
    TempFolder folder;
    const std::string program = folder.writeScript("slow.sh", kWaitForGo);
    pid_t pid = 0;
    {
        std::optional<ChildProcess> dropped = startProgram(program, "", "");
        ASSERT_TRUE(dropped.has_value());
        pid = dropped->pid();
    }
    EXPECT_FALSE(gone(pid)) << "dropping the handle must not end the program";
    folder.writeFile("go", "");
    EXPECT_TRUE(eventually([&] { return gone(pid); }));
}

TEST(StartProgramDetached, RunsWithoutWaitingAndLeavesNoZombie) {
    TempFolder folder;
    const std::string program = folder.writeScript(
        "config.sh", std::string(kWaitForGo) + "echo $$ > \"RECORDpid.tmp\"\n"
                                               "mv \"RECORDpid.tmp\" \"RECORDpid\"\n");

    // The program cannot get past its loop before the test lets it.
    ASSERT_TRUE(startProgramDetached(program, "", ""));
    EXPECT_FALSE(folder.exists("pid")) << "the call waited for the program";
    folder.writeFile("go", "");

    ASSERT_TRUE(eventually([&] { return !folder.read("pid").empty(); }));
    EXPECT_TRUE(eventually([&] { return gone(std::stoi(folder.read("pid"))); }));
    EXPECT_FALSE(startProgramDetached(folder.path("missing"), "", ""));
}

} // namespace
} // namespace qv
