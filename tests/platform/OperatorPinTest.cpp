#include "platform/OperatorPin.h"

#include "platform/Errors.h"
#include "platform/FileDescriptor.h"
#include "platform/OperatorPinCheck.h"
#include "tests/support/TempFolder.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <vector>

namespace qv {
namespace {

// Few iterations: the tests check the scheme, not its cost.
constexpr int kTestIterations = 1000;
constexpr std::array<unsigned char, 4> kSalt{1, 2, 3, 4};

TEST(OperatorPin, OnlyTheVeryPinMatchesItsStoredForm) {
    const std::string stored = hashOperatorPin("482915", kSalt, kTestIterations);
    const struct {
        const char* attempt;
        bool matches;
    } cases[] = {{"482915", true},   {"482916", false},   {"48291", false},
                 {"4829150", false}, {"482915\n", false}, {"", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(operatorPinMatches(stored, c.attempt), c.matches) << '"' << c.attempt << '"';
    }
}

TEST(OperatorPin, FreshSaltsGiveDifferentFormsOfOnePin) {
    const std::string first = hashOperatorPin("482915");
    const std::string second = hashOperatorPin("482915");
    EXPECT_NE(first, second);
    EXPECT_TRUE(operatorPinMatches(first, "482915"));
    EXPECT_TRUE(operatorPinMatches(second, "482915"));
    // The stored form never holds the PIN itself.
    EXPECT_EQ(first.find("482915"), std::string::npos);
}

TEST(OperatorPin, DamagedStoredFormsLetNobodyIn) {
    const std::string good = hashOperatorPin("482915", kSalt, kTestIterations);
    const std::string key = good.substr(good.rfind('$') + 1);
    const std::string damaged[] = {
        "",
        "482915",
        "md5$1000$01020304$" + key,
        "pbkdf2-sha256$1000$01020304",
        "pbkdf2-sha256$1$01020304$" + key,
        "pbkdf2-sha256$99999999999$01020304$" + key,
        "pbkdf2-sha256$1000x$01020304$" + key,
        "pbkdf2-sha256$1000$0102030$" + key,
        "pbkdf2-sha256$1000$0102030g$" + key,
        "pbkdf2-sha256$1000$01020304$" + key.substr(2),
        good + "$00",
    };
    for (const std::string& stored : damaged) {
        EXPECT_THROW(operatorPinMatches(stored, "482915"), GeneralError) << stored;
    }
}

TEST(OperatorPin, NewPinsNeedALengthNoControlCharactersAndNoObviousPattern) {
    for (const std::string& pin : std::vector<std::string>{
             "482915", std::string(63, '7') + "1", "contraseña", "123457", "738152", "9021436"}) {
        EXPECT_NO_THROW(checkNewOperatorPin(pin)) << pin;
        EXPECT_EQ(operatorPinWeakness(pin), std::nullopt) << pin;
    }
    // Each reason, with the PINs it refuses.
    const std::vector<std::pair<const char*, std::vector<std::string>>> refused{
        {"at least 6", {"48291"}},
        {"at most 64", {std::string(65, '3') + "1"}},
        {"control characters", {"4829\t15"}},
        {"plain ascending", {"000000", std::string(64, '7'), "3456789", "987654", "abcdef"}},
        {"repeat a group", {"121212", "123123", "520520"}},
        {"repeated characters", {"112233", "111222"}},
        {"same backwards", {"123321", "abccba"}},
        {"keypad", {"159753", "147258", "789456", "258456", "147852"}},
        {"commonest", {"102030", "112358"}},
    };
    for (const auto& [why, pins] : refused) {
        for (const std::string& pin : pins) {
            try {
                checkNewOperatorPin(pin);
                ADD_FAILURE() << pin << " accepted";
            } catch (const GeneralError& error) {
                EXPECT_NE(std::string_view(error.what()).find(why), std::string_view::npos)
                    << pin << ": " << error.what();
            }
        }
    }
}

TEST(OperatorPin, TheFileGivesItsLineWithoutBlanksOrRefusesClearly) {
    const test::TempFolder folder;
    folder.writeFile("pin", "  pbkdf2-sha256$1000$0102$abcd\r\n");
    EXPECT_EQ(readOperatorPinFile(folder.path("pin")), "pbkdf2-sha256$1000$0102$abcd");
    folder.writeFile("empty", " \n");
    EXPECT_THROW(readOperatorPinFile(folder.path("empty")), GeneralError);
    EXPECT_THROW(readOperatorPinFile(folder.path("missing")), GeneralError);
    folder.writeFile("huge", std::string(5000, 'a'));
    EXPECT_THROW(readOperatorPinFile(folder.path("huge")), GeneralError);
}

TEST(OperatorPinCheck, AnswerLinesReadBackAndAnythingElseIsUnavailable) {
    using std::chrono::seconds;
    for (const PinVerdict verdict :
         {PinVerdict{PinAnswer::Right}, PinVerdict{PinAnswer::NoPin},
          PinVerdict{PinAnswer::Wrong, seconds(4)}, PinVerdict{PinAnswer::Locked, seconds(900)}}) {
        EXPECT_EQ(parsePinVerdictLine(pinVerdictLine(verdict)), verdict) << pinVerdictLine(verdict);
    }
    for (const char* line : {"", "yes ", "YES", "no", "no -1", "no 4x", "locked", "locked  3",
                             "no 99999999999999999999"}) {
        EXPECT_EQ(parsePinVerdictLine(line).answer, PinAnswer::Unavailable) << line;
    }
}

// A checker that takes the connection into its backlog and never answers: the kiosk gives up
// at its deadline with Unavailable instead of waiting for ever.
TEST(OperatorPinCheck, ACheckerThatNeverAnswersIsUnavailableAtTheDeadline) {
    const test::TempFolder folder;
    const std::string path = folder.path("silent.socket");
    const FileDescriptor listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    ASSERT_EQ(::bind(listening.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening.get(), 4), 0);
    EXPECT_EQ(askOperatorPinChecker(path, "482915", std::chrono::milliseconds(200)).answer,
              PinAnswer::Unavailable);
}

} // namespace
} // namespace qv
