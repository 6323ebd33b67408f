#include "platform/ProfileFile.h"

#include "platform/Errors.h"
#include "tests/support/TempFolder.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qv {
namespace {

using test::TempFolder;

TEST(ProfileText, FindsKeysWithoutRegardToLetterCase) {
    const std::string text = "[config]\r\nflipHORIZONTAL = 1 \r\n[Other]\r\nHost=x\r\n";
    EXPECT_EQ(findProfileValue(text, "Config", "FlipHorizontal"), "1");
    EXPECT_EQ(findProfileValue(text, "OTHER", "host"), "x");
    EXPECT_EQ(findProfileValue(text, "Config", "Host"), std::nullopt);
    EXPECT_EQ(findProfileValue(text, "Missing", "Host"), std::nullopt);
}

TEST(ProfileText, ReadsValuesAsWindowsProfileFilesDo) {
    const std::string text = "\xEF\xBB\xBF"
                             "  [ Config ]\n"
                             "; Host=commented\n"
                             "Empty=\n"
                             "Quoted=\"  spaced  \"\n"
                             "Single='a'\n"
                             "Inner=a=b\n"
                             "NoEquals\n"
                             "Host=first\n"
                             "Host=second\n"
                             "[Config]\n"
                             "Late=only in the duplicate section\n";
    EXPECT_EQ(findProfileValue(text, "Config", "Empty"), "");
    EXPECT_EQ(findProfileValue(text, "Config", "Quoted"), "  spaced  ");
    EXPECT_EQ(findProfileValue(text, "Config", "Single"), "a");
    EXPECT_EQ(findProfileValue(text, "Config", "Inner"), "a=b");
    EXPECT_EQ(findProfileValue(text, "Config", "Host"), "first");
    EXPECT_EQ(findProfileValue(text, "Config", "NoEquals"), std::nullopt);
    EXPECT_EQ(findProfileValue(text, "Config", "Late"), std::nullopt);
}

TEST(ProfileText, CutsLongValuesWithoutSplittingCharacters) {
    const std::string ascii(5000, 'a');
    EXPECT_EQ(findProfileValue("[S]\nK=" + ascii + "\n", "S", "K"), std::string(2047, 'a'));

    // "ñ" is two bytes; the 2048th byte would be the first half of one.
    const std::string accented = std::string(2046, 'a') + "ñ" + "tail";
    EXPECT_EQ(findProfileValue("[S]\nK=" + accented, "S", "K"), std::string(2046, 'a'));
}

TEST(ProfileText, ReplacingAValueKeepsEveryOtherByte) {
    const std::string text =
        "; settings\r\n\r\n[CONFIG]\r\n  host = old \r\nOther=1\r\n\r\n[X]\r\n";
    EXPECT_EQ(setProfileValue(text, "Config", "Host", "new"),
              "; settings\r\n\r\n[CONFIG]\r\n  host=new\r\nOther=1\r\n\r\n[X]\r\n");
}

TEST(ProfileText, AddsMissingKeysAfterTheSectionsLastLine) {
    EXPECT_EQ(setProfileValue("[Config]\nA=1\n\n[X]\nB=2\n", "config", "New", "v"),
              "[Config]\nA=1\nNew=v\n\n[X]\nB=2\n");
    EXPECT_EQ(setProfileValue("[Config]\r\nA=1", "Config", "New", "v"),
              "[Config]\r\nA=1\r\nNew=v\r\n");
    // A last line cut after its CR still needs a whole line break before the new key.
    EXPECT_EQ(setProfileValue("[Config]\r\nA=1\r", "Config", "New", "v"),
              "[Config]\r\nA=1\r\r\nNew=v\r\n");
}

TEST(ProfileText, AppendsMissingSections) {
    EXPECT_EQ(setProfileValue("", "Config", "Host", "h"), "[Config]\r\nHost=h\r\n");
    EXPECT_EQ(setProfileValue("[X]\nB=2", "Config", "Host", "h"), "[X]\nB=2\n\n[Config]\nHost=h\n");
    EXPECT_EQ(setProfileValue("[X]\nB=2\n\n", "Config", "Host", "h"),
              "[X]\nB=2\n\n[Config]\nHost=h\n");
}

TEST(ProfileFile, MissingFileOrFolderGivesTheDefault) {
    TempFolder folder;
    EXPECT_EQ(readProfileString(folder.path("none.ini"), "Config", "Host", "def"), "def");
    EXPECT_EQ(readProfileString(folder.prefix(), "Config", "Host", "def"), "def");
    EXPECT_EQ(readProfileString("", "Config", "Host", "def"), "def");
}

TEST(ProfileFile, WritesAreSeenByTheNextReadWithoutCaching) {
    TempFolder folder;
    const std::string path = folder.path("Quorvantis.INI");
    writeProfileString(path, "Config", "Host", "one");
    EXPECT_EQ(readProfileString(path, "Config", "Host", ""), "one");

    folder.writeFile("Quorvantis.INI", "[Config]\nHost=edited by hand\n");
    EXPECT_EQ(readProfileString(path, "config", "HOST", ""), "edited by hand");

    writeProfileString(path, "Config", "PathLiveScan", "/scan/");
    EXPECT_EQ(folder.read("Quorvantis.INI"),
              "[Config]\nHost=edited by hand\nPathLiveScan=/scan/\n");
}

TEST(ProfileFile, ReplacingTheFileKeepsItsPermissions) {
    TempFolder folder;
    const std::string path = folder.path("a.ini");
    folder.writeFile("a.ini", "[S]\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    writeProfileString(path, "S", "K", "v");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(ProfileFile, FailedWritesRaiseAndLeaveTheFileAlone) {
    TempFolder folder;
    const auto expectFailure = [](const std::string& path, std::string_view value) {
        try {
            writeProfileString(path, "Config", "Host", value);
            ADD_FAILURE() << "no error for " << path;
        } catch (const GeneralError& error) {
            EXPECT_TRUE(std::string_view(error.what()).starts_with("Unable to write to " + path))
                << error.what();
        }
    };
    // Running as root, permission bits do not stop a write: use places that cannot hold a file.
    expectFailure(folder.path("missing-folder/Quorvantis.INI"), "x");
    folder.writeFile("plain-file", "");
    expectFailure(folder.path("plain-file/Quorvantis.INI"), "x");
    std::filesystem::create_directory(folder.path("a-folder"));
    expectFailure(folder.path("a-folder"), "x");

    const std::string big = "[Config]\nHost=old\n;" + std::string(kProfileFileMaxSize, 'x') + "\n";
    folder.writeFile("big.ini", big);
    expectFailure(folder.path("big.ini"), "x");
    EXPECT_EQ(folder.read("big.ini"), big);

    folder.writeFile("ok.ini", "[Config]\nHost=old\n");
    expectFailure(folder.path("ok.ini"), "two\r\n[Evil]\r\nlines");
    EXPECT_EQ(folder.read("ok.ini"), "[Config]\nHost=old\n");

    // No temporary file is left behind by any failure.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.prefix()),
                            std::filesystem::directory_iterator()),
              4);
}

// Root saving the settings (the dialog of a station run as root, a technician's tool) in a folder
// the group may write: what a member left at the settings' place is neither followed nor
// replaced, and nothing is made or changed where it points.
TEST(ProfileFile, RootWritesFollowNoLinkAnotherUserMade) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can plant another user's link";
    }
    TempFolder folder;
    std::filesystem::create_directory(folder.path("root-only"));
    std::filesystem::permissions(folder.path("root-only"), std::filesystem::perms::owner_all);
    const std::string secret = folder.path("root-only/secret");
    folder.writeFile("root-only/secret", "root's own\n");
    ::chmod(secret.c_str(), 0600);
    const std::string missing = folder.path("root-only/made-by-nobody");
    const std::string settings = folder.path("Quorvantis.INI");
    const auto plantLink = [](const std::string& target, const std::string& at) {
        std::filesystem::create_symlink(target, at);
        return ::lchown(at.c_str(), 65534, 65534) == 0;
    };
    const std::string foreign = "is a link made by user 65534";
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[&] { plantLink(secret, settings); }, foreign},
        {[&] { plantLink(missing, settings); }, foreign},
        {[&] {
             plantLink(secret, folder.path("planted"));
             std::filesystem::create_symlink(folder.path("planted"), settings);
         },
         foreign},
        {[&] { std::filesystem::create_hard_link(secret, settings); }, "has other names"},
        {[&] { ::mkfifo(settings.c_str(), 0666); }, "is not a regular file"},
        {[&] { std::filesystem::create_directories(settings + "/inside"); },
         "is not a regular file"},
    };
    for (const auto& [plant, why] : cases) {
        plant();
        try {
            writeProfileString(settings, "Config", "Host", "clock.example");
            ADD_FAILURE() << "written: " << why;
        } catch (const GeneralError& error) {
            EXPECT_NE(std::string_view(error.what()).find(why), std::string_view::npos)
                << error.what();
        }
        EXPECT_EQ(folder.read("root-only/secret"), "root's own\n") << why;
        EXPECT_FALSE(std::filesystem::exists(missing)) << why;
        std::filesystem::remove_all(settings);
        std::filesystem::remove(folder.path("planted"));
        // Nothing left beside it either: no temporary file, no new settings.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.prefix()),
                                std::filesystem::directory_iterator()),
                  1)
            << why;
    }
    // Root's own link still leads to the settings, as the program folder's does.
    folder.writeFile("real.ini", "[Config]\nHost=old\n");
    std::filesystem::create_symlink(folder.path("real.ini"), settings);
    writeProfileString(settings, "Config", "Host", "new");
    EXPECT_EQ(folder.read("real.ini"), "[Config]\nHost=new\n");
    EXPECT_TRUE(std::filesystem::is_symlink(settings));
}

TEST(ProfileFile, OversizedFilesReadAsMissing) {
    TempFolder folder;
    folder.writeFile("big.ini",
                     "[Config]\nHost=old\n;" + std::string(kProfileFileMaxSize, 'x') + "\n");
    EXPECT_EQ(readProfileString(folder.path("big.ini"), "Config", "Host", "def"), "def");
}

} // namespace
} // namespace qv
