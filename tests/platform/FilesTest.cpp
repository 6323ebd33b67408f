#include "platform/Files.h"

#include "platform/Errors.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

namespace qv {
namespace {

using test::TempFolder;

TEST(Files, OnlyRegularFilesExist) {
    TempFolder folder;
    folder.writeFile("a.txt", "x");
    std::filesystem::create_directory(folder.path("sub"));
    std::filesystem::create_symlink(folder.path("a.txt"), folder.path("link"));
    EXPECT_TRUE(fileExists(folder.path("a.txt")));
    EXPECT_TRUE(fileExists(folder.path("link")));
    EXPECT_FALSE(fileExists(folder.path("sub")));
    EXPECT_FALSE(fileExists(folder.prefix()));
    EXPECT_FALSE(fileExists(folder.path("none")));
    EXPECT_FALSE(fileExists(""));
}

TEST(Files, DeletionReportsButNeverThrows) {
    TempFolder folder;
    folder.writeFile("huella.bmp", "x");
    std::filesystem::create_directory(folder.path("sub"));
    EXPECT_TRUE(deleteFile(folder.path("huella.bmp")));
    EXPECT_FALSE(folder.exists("huella.bmp"));
    EXPECT_FALSE(deleteFile(folder.path("huella.bmp")));
    EXPECT_FALSE(deleteFile(folder.path("sub")));
    EXPECT_TRUE(folder.exists("sub"));
}

TEST(Files, WildcardsIgnoreLetterCase) {
    EXPECT_TRUE(matchesWildcard("scanner.ini", "*.INI"));
    EXPECT_TRUE(matchesWildcard("A.Ini", "*.INI"));
    EXPECT_TRUE(matchesWildcard(".INI", "*.INI"));
    EXPECT_FALSE(matchesWildcard("scanner.ini.bak", "*.INI"));
    EXPECT_FALSE(matchesWildcard("scannerini", "*.INI"));
    EXPECT_TRUE(matchesWildcard("a.b.ini", "*.*.ini"));
    EXPECT_TRUE(matchesWildcard("ab", "a?"));
    EXPECT_FALSE(matchesWildcard("a", "a?"));
    EXPECT_TRUE(matchesWildcard("", "*"));
    EXPECT_TRUE(matchesWildcard("aaaaaaaaaaaaaaaaaaaab", "*a*a*a*b"));
    EXPECT_FALSE(matchesWildcard("aaaaaaaaaaaaaaaaaaaaa", "*a*a*a*b"));
}

TEST(Files, ListingTakesTheFolderFromThePattern) {
    TempFolder folder("capture");
    for (const char* name : {"one.INI", "two.ini", "Three.Ini", "readme.txt", "ini"}) {
        folder.writeFile(name, "");
    }
    std::filesystem::create_directory(folder.path("dir.ini"));

    std::vector<std::string> names = listFiles(folder.prefix() + "*.INI");
    std::ranges::sort(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Three.Ini", "dir.ini", "one.INI", "two.ini"}));

    // The folder is a plain prefix: without its separator the name runs into the pattern.
    const std::string runTogether = folder.prefix().substr(0, folder.prefix().size() - 1);
    EXPECT_TRUE(listFiles(runTogether + "*.INI").empty());
    EXPECT_TRUE(listFiles(folder.path("missing/*.INI")).empty());
    EXPECT_TRUE(listFiles("C:\\LiveScanIB\\*.INI").empty());
}

TEST(Files, ReadingIsBoundedAndReplacementIsWhole) {
    TempFolder folder;
    folder.writeFile("f", "12345");
    EXPECT_EQ(readSmallFile(folder.path("f"), 5), "12345");
    EXPECT_EQ(readSmallFile(folder.path("f"), 4), std::nullopt);
    EXPECT_EQ(readSmallFile(folder.prefix(), 100), std::nullopt);
    // A named pipe with no writer would block an ordinary open for ever.
    ASSERT_EQ(::mkfifo(folder.path("pipe").c_str(), 0600), 0);
    EXPECT_EQ(readSmallFile(folder.path("pipe"), 100), std::nullopt);
    EXPECT_FALSE(fileExists(folder.path("pipe")));

    EXPECT_TRUE(replaceFileContents(folder.path("f"), "new"));
    EXPECT_EQ(folder.read("f"), "new");
    EXPECT_FALSE(replaceFileContents(folder.path("none/f"), "x"));
}

TEST(Files, WholeFilesReadBackByteForByteAcrossBlockEdges) {
    TempFolder folder;
    for (const std::size_t size : {0, 1, 65535, 65536, 65537, 3 * 65536 + 7}) {
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<std::uint8_t>(i * 131 + i / 256);
        }
        writeFileBytes(folder.path("f"), bytes);
        EXPECT_EQ(readFileBytes(folder.path("f")), bytes) << size << " bytes";
    }
    EXPECT_THROW(readFileBytes(folder.path("none")), GeneralError);
}

TEST(Files, ReplacingThroughALinkKeepsTheLink) {
    TempFolder folder;
    folder.writeFile("real.ini", "old");
    std::filesystem::create_directory(folder.path("settings"));
    // A chain, relative and absolute, as the program folder's link and the settings folder make.
    std::filesystem::create_symlink("../real.ini", folder.path("settings/relative.ini"));
    std::filesystem::create_symlink(folder.path("settings/relative.ini"), folder.path("link.ini"));
    EXPECT_TRUE(replaceFileContents(folder.path("link.ini"), "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.path("link.ini")));
    EXPECT_EQ(folder.read("real.ini"), "new");
    // A settings file the operator deleted is made anew where the link leads.
    std::filesystem::remove(folder.path("real.ini"));
    EXPECT_TRUE(replaceFileContents(folder.path("link.ini"), "again"));
    EXPECT_EQ(folder.read("real.ini"), "again");
    EXPECT_TRUE(std::filesystem::is_symlink(folder.path("settings/relative.ini")));
}

} // namespace
} // namespace qv
