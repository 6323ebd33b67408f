#include "config/SettingsFile.h"

#include "platform/Errors.h"
#include "tests/support/TempFolder.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <utility>

namespace qv {
namespace {

using test::TempFolder;

Settings loadFrom(const TempFolder& folder, const std::string& contents) {
    folder.writeFile("Quorvantis.INI", contents);
    return SettingsFile(folder.path("Quorvantis.INI")).load();
}

TEST(SettingsFile, MissingFileGivesEveryDefault) {
    TempFolder folder;
    const Settings settings = SettingsFile(folder.path("Quorvantis.INI")).load();
    EXPECT_FALSE(settings.flipHorizontal);
    EXPECT_FALSE(settings.flipVertical);
    EXPECT_EQ(settings.pathLiveScan, "C:\\LiveScanIB\\");
    EXPECT_EQ(settings.host,
              "http://fichadas.quorvantis.local/QuorvantisSVC/QuorvantisService.asmx");
    EXPECT_EQ(settings.liveScanIni, "");

    const Settings otherSection = loadFrom(folder, "[Other]\nHost=x\nFlipVertical=1\n");
    EXPECT_EQ(otherSection.host, kDefaultHost);
    EXPECT_FALSE(otherSection.flipVertical);
}

TEST(SettingsFile, IntegersTakeDecimalAndLongHexadecimalForms) {
    const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
        {"1", 1},
        {"0", 0},
        {"2", 2},
        {"-7", -7},
        {"+3", 3},
        {"0x1", 1},
        {"0X1f", 31},
        {"0x0", 0},
        {"0xFFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"", std::nullopt},
        {"yes", std::nullopt},
        {"0x", std::nullopt},
        {"0X", std::nullopt},
        {"1a", std::nullopt},
        {"0xG", std::nullopt},
        {"0x-1", std::nullopt},
        {"0x+1", std::nullopt},
        {"+-1", std::nullopt},
        {"2147483648", std::nullopt},
        {"0x100000000", std::nullopt},
        {"1 2", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseProfileInteger(text), expected) << '"' << text << '"';
    }
}

TEST(SettingsFile, BooleansAreAnyNonZeroNumber) {
    TempFolder folder;
    Settings settings = loadFrom(folder, "[Config]\nFlipHorizontal=0x1\nFlipVertical=2\n");
    EXPECT_TRUE(settings.flipHorizontal);
    EXPECT_TRUE(settings.flipVertical);

    settings = loadFrom(folder, "[config]\nfliphorizontal=yes\nFLIPVERTICAL= -1 \n");
    EXPECT_FALSE(settings.flipHorizontal);
    EXPECT_TRUE(settings.flipVertical);

    settings = loadFrom(folder, "[Config]\nFlipHorizontal=0\nFlipVertical=\n");
    EXPECT_FALSE(settings.flipHorizontal);
    EXPECT_FALSE(settings.flipVertical);
}

TEST(SettingsFile, TextsAreReadUpTo2047Characters) {
    TempFolder folder;
    const std::string longHost = "http://" + std::string(3000, 'h');
    const Settings settings = loadFrom(folder, "[Config]\nHost=" + longHost +
                                                   "\nPathLiveScan=\nLiveScanIni=Lector.ini\n");
    EXPECT_EQ(settings.host, longHost.substr(0, 2047));
    EXPECT_EQ(settings.pathLiveScan, "");
    EXPECT_EQ(settings.liveScanIni, "Lector.ini");
}

TEST(SettingsFile, SavingWritesEachKeyAndKeepsTheRestOfTheFile) {
    TempFolder folder;
    folder.writeFile("Quorvantis.INI",
                     "; station 4\r\n[Config]\r\nLiveScanIni=old.ini\r\nExtra=kept\r\n");
    const SettingsFile file(folder.path("Quorvantis.INI"));
    Settings settings;
    settings.flipHorizontal = true;
    settings.pathLiveScan = "/opt/capture/";
    settings.host = "http://server/svc.asmx";
    file.save(settings);
    EXPECT_EQ(folder.read("Quorvantis.INI"), "; station 4\r\n[Config]\r\n"
                                             "LiveScanIni=old.ini\r\nExtra=kept\r\n"
                                             "FlipHorizontal=1\r\nFlipVertical=0\r\n"
                                             "PathLiveScan=/opt/capture/\r\n"
                                             "Host=http://server/svc.asmx\r\n");

    settings.liveScanIni = "new.ini";
    settings.flipHorizontal = false;
    file.save(settings);
    const Settings reloaded = file.load();
    EXPECT_EQ(reloaded.liveScanIni, "new.ini");
    EXPECT_FALSE(reloaded.flipHorizontal);
    EXPECT_EQ(reloaded.pathLiveScan, "/opt/capture/");
}

TEST(SettingsFile, AFailedWriteNamesTheFileAndKeepsEarlierKeys) {
    TempFolder folder;
    // Running as root, a read-only folder would still be written: use a folder that is a file.
    folder.writeFile("not-a-folder", "");
    const std::string unreachable = folder.path("not-a-folder/Quorvantis.INI");
    try {
        SettingsFile(unreachable).save(Settings{});
        ADD_FAILURE() << "saving into a file's name as folder succeeded";
    } catch (const GeneralError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + unreachable);
    }

    // A folder text with a line break is refused at the third key, after the flips are saved.
    const SettingsFile file(folder.path("Quorvantis.INI"));
    Settings settings;
    settings.flipHorizontal = true;
    settings.flipVertical = true;
    settings.pathLiveScan = "/a\n[Config]\nHost=injected";
    EXPECT_THROW(file.save(settings), GeneralError);
    const Settings reloaded = file.load();
    EXPECT_TRUE(reloaded.flipHorizontal);
    EXPECT_TRUE(reloaded.flipVertical);
    EXPECT_EQ(reloaded.pathLiveScan, kDefaultPathLiveScan);
    EXPECT_EQ(reloaded.host, kDefaultHost);
}

TEST(SettingsFile, DefaultPathIsBesideTheExecutable) {
    const std::string path = SettingsFile::defaultPath();
    ASSERT_GT(path.size(), kSettingsFileName.size());
    EXPECT_TRUE(path.ends_with("/Quorvantis.INI"));
    const std::string folder = path.substr(0, path.size() - kSettingsFileName.size());
    EXPECT_TRUE(std::filesystem::exists(folder + "config_settings_test"));
}

class CapturePrograms : public ::testing::Test {
protected:
    void addProgram(const std::string& iniName, const std::string& title) const {
        capture.writeFile(iniName, "[Config]\r\nTitulo=" + title + "\r\nExeCaptura=cap-" + iniName +
                                       "\r\nExeConfig=cfg-" + iniName + "\r\n");
    }
    TempFolder capture{"LiveScan"};
};

TEST_F(CapturePrograms, ListsTitledIniFilesWhateverTheirLetterCase) {
    addProgram("a.ini", "Lector");
    addProgram("B.INI", "Lector");
    addProgram("c.Ini", "");
    addProgram("d.txt", "Texto");
    capture.writeFile("e.ini", "[Otro]\nTitulo=fuera de seccion\n");
    std::filesystem::create_directory(capture.path("folder.ini"));

    const CaptureProgramList programs = listCapturePrograms(capture.prefix());
    ASSERT_EQ(programs.titles.size(), 2u);
    EXPECT_EQ(programs.titles, (std::vector<std::string>{"Lector", "Lector"}));
    std::vector<std::string> files = programs.iniFiles;
    std::ranges::sort(files);
    EXPECT_EQ(files, (std::vector<std::string>{"B.INI", "a.ini"}));
}

TEST_F(CapturePrograms, MissingFolderOrFolderWithoutSeparatorListsNothing) {
    addProgram("a.ini", "Lector");
    EXPECT_TRUE(listCapturePrograms(capture.path("missing/")).titles.empty());
    const std::string withoutSeparator = capture.prefix().substr(0, capture.prefix().size() - 1);
    EXPECT_TRUE(listCapturePrograms(withoutSeparator).titles.empty());
    EXPECT_TRUE(listCapturePrograms(std::string(kDefaultPathLiveScan)).titles.empty());
}

TEST_F(CapturePrograms, SelectionTakesTheFirstNameEqualIgnoringCase) {
    const std::vector<std::string> files = {"uno.ini", "Dos.INI", "dos.ini"};
    EXPECT_EQ(findCaptureProgram(files, "DOS.ini"), 1);
    EXPECT_EQ(findCaptureProgram(files, "uno.ini"), 0);
    EXPECT_EQ(findCaptureProgram(files, "tres.ini"), -1);
    EXPECT_EQ(findCaptureProgram(files, ""), -1);
    EXPECT_EQ(findCaptureProgram({}, "uno.ini"), -1);
}

TEST_F(CapturePrograms, KeysComeFromTheSelectedFile) {
    addProgram("a.ini", "Lector");
    EXPECT_EQ(readCaptureProgramKey(capture.path("a.ini"), "ExeCaptura"), "cap-a.ini");
    EXPECT_EQ(readCaptureProgramKey(capture.path("a.ini"), "execonfig"), "cfg-a.ini");
    EXPECT_EQ(readCaptureProgramKey(capture.path("a.ini"), "Nada"), "");
    EXPECT_EQ(readCaptureProgramKey("", "ExeCaptura"), "");
}

} // namespace
} // namespace qv
