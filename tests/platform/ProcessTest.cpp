#include "platform/Process.h"

#include "platform/Errors.h"
#include "tests/platform/ScriptFolder.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qv {
namespace {

using test::ScriptFolder;

// Records every argument on a line of its own and the folder it runs in.
const char* recorder = "pwd > \"RECORDcwd\"\n"
                       "for a in \"$@\"; do echo \"[$a]\"; done > \"RECORDargs\"\n";

// A process stays listed in /proc until it has ended and been reaped: an unreaped child
// lingers there as a zombie.
bool gone(pid_t pid) {
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
}

// Polls a condition that another process brings about; gives up after a generous bound.
template <typename Condition> bool eventually(Condition condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
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
    ScriptFolder folder;
    const std::string program = folder.writeScript("capture.sh", recorder);
    std::filesystem::create_directory(folder.path("work"));

    runToEnd(program, " 12 34\tfive ", folder.path("work"));

    EXPECT_EQ(folder.read("args"), "[12]\n[34]\n[five]\n");
    EXPECT_EQ(folder.read("cwd"), folder.path("work") + "\n");
}

TEST(StartProgram, ProgramPathWithBlanksIsNeverSplit) {
    ScriptFolder folder("capture folder");
    const std::string program = folder.writeScript("my capture.sh", recorder);

    runToEnd(program, "prueba", folder.folder());

    EXPECT_EQ(folder.read("args"), "[prueba]\n");
}

TEST(StartProgram, FirstArgumentIsTheProgramPath) {
    ScriptFolder folder;
    const std::string program = folder.writeScript("zero.sh", "echo \"$0\" > \"RECORDzero\"\n");
    runToEnd(program, "", "");
    EXPECT_EQ(folder.read("zero"), program + "\n");
}

TEST(StartProgram, RelativeProgramIsFoundFromTheCurrentFolderNotTheWorkingFolder) {
    ScriptFolder folder;
    folder.writeScript("rel.sh", recorder);
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
    ScriptFolder folder;
    const std::string program = folder.writeScript("here.sh", recorder);
    runToEnd(program, "", "");
    EXPECT_EQ(folder.read("cwd"), std::filesystem::current_path().string() + "\n");
}

TEST(StartProgram, ReportsWhatCannotBeStarted) {
    ScriptFolder folder;
    folder.writeFile("plain.txt", "not a program");
    const std::string program = folder.writeScript("ok.sh", "exit 0\n");

    EXPECT_FALSE(startProgram(folder.path("missing.sh"), "", "").has_value());
    EXPECT_FALSE(startProgram(folder.path("plain.txt"), "", "").has_value());
    EXPECT_FALSE(startProgram(folder.folder(), "", "").has_value()) << "a folder";
    EXPECT_FALSE(startProgram(program, "", folder.path("no-such-folder")).has_value());
}

TEST(StartProgram, CommandLineOf512CharactersIsTheLongestAccepted) {
    ScriptFolder folder;
    const std::string program = folder.writeScript("long.sh", "touch \"RECORDran\"\n");
    const std::size_t room = maxCommandLineLength - program.size() - 1;

    EXPECT_THROW(startProgram(program, std::string(room + 1, 'x'), ""), GeneralError);
    EXPECT_THROW(startProgramDetached(program, std::string(room + 1, 'x'), ""), GeneralError);
    EXPECT_FALSE(folder.exists("ran")) << "nothing may start for a refused command line";

    runToEnd(program, std::string(room, 'x'), "");
    EXPECT_TRUE(folder.exists("ran"));
}

TEST(StartProgram, BoundCountsCharactersNotBytes) {
    ScriptFolder folder;
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

// A child that runs until the test lets it end (or a generous bound passes).
const char* waitForGo = "i=0\n"
                        "while [ ! -e \"RECORDgo\" ] && [ $i -lt 1000 ]; do\n"
                        "    sleep 0.01; i=$((i+1))\n"
                        "done\n";

TEST(ChildProcessWait, CallsBackWhileTheChildRunsAndReapsIt) {
    ScriptFolder folder;
    const std::string program =
        folder.writeScript("slow.sh", std::string(waitForGo) + "touch \"RECORDdone\"\n");
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
    ScriptFolder folder;
    const std::string program = folder.writeScript("slow.sh", waitForGo);
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
    ScriptFolder folder;
    const std::string program = folder.writeScript(
        "config.sh", std::string(waitForGo) + "echo $$ > \"RECORDpid.tmp\"\n"
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
