#include "tests/pinchecker/PinCheckerPeer.h"
#include "tests/pinchecker/PinCheckerProcess.h"
#include "tools/kiosk-pin-checker/PinLockout.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace qv::test {
namespace {

using std::chrono::seconds;

TEST(PinChecker, AnEmptyPinIsNoTryAndATryDuringTheWaitIsNeitherCheckedNorCounted) {
    PinCheckerProcess checker;
    EXPECT_EQ(checker.ask(""), (PinVerdict{PinAnswer::Wrong, seconds(0)}));
    EXPECT_EQ(checker.ask("731064"), (PinVerdict{PinAnswer::Wrong, seconds(1)}));
    const PinVerdict during = checker.ask(kRightPin);
    EXPECT_EQ(during.answer, PinAnswer::Locked);
    EXPECT_LE(during.wait, seconds(1));
    EXPECT_EQ(readLockout(checker.lockoutFile()).failures, 1);
}

TEST(PinChecker, TheWaitGrowsSurvivesARestartAndEndsWithTheRightPin) {
    PinCheckerProcess checker;
    const struct {
        int before;
        std::string pin;
        int wait;
    } cases[] = {{1, std::string(200, '4'), 2}, {9, "731064", 512}, {10, "731064", 900}};
    for (const auto& c : cases) {
        checker.restartAfterFailures(c.before);
        EXPECT_EQ(checker.ask(c.pin), (PinVerdict{PinAnswer::Wrong, seconds(c.wait)})) << c.before;
    }
    EXPECT_EQ(readLockout(checker.lockoutFile()).failures, 11);
    checker.stop();
    checker.start();
    const PinVerdict afterRestart = checker.ask(kRightPin);
    EXPECT_EQ(afterRestart.answer, PinAnswer::Locked);
    EXPECT_GT(afterRestart.wait, seconds(500));

    checker.restartAfterFailures(11);
    EXPECT_EQ(checker.ask(kRightPin).answer, PinAnswer::Right);
    EXPECT_EQ(readLockout(checker.lockoutFile()), LockoutState{});
}

TEST(PinChecker, ADamagedPinFileLetsNobodyInAndCountsNothing) {
    PinCheckerProcess checker;
    checker.folder.writeFile("operator-pin", "pbkdf2-sha256$1$00$00\n");
    EXPECT_EQ(checker.ask(kRightPin).answer, PinAnswer::NoPin);
    EXPECT_EQ(readLockout(checker.lockoutFile()).failures, 0);
}

TEST(PinChecker, ItsJournalHoldsOutcomesAndNeverWhatWasTyped) {
    PinCheckerProcess checker;
    checker.ask("731064");
    checker.ask("559182");
    checker.restartAfterFailures(0);
    checker.ask(kRightPin);
    const std::string log = checker.log();
    for (const char* outcome : {"refused", "locked", "accepted"}) {
        EXPECT_NE(log.find(std::string("event=operator-pin-check outcome=") + outcome),
                  std::string::npos)
            << log;
    }
    for (const char* typed : {"731064", "559182", kRightPin}) {
        EXPECT_EQ(log.find(typed), std::string::npos) << log;
    }
}

// What other peers do while the kiosk tries, and how the kiosk fares. The kiosk's try runs under
// its own short deadline, so a checker held by the others shows as Unavailable.
TEST(PinChecker, OtherPeersCannotHoldItAndATryWhosePeerLeftIsNotChecked) {
    const struct {
        const char* others;
        int count;
        void (PinCheckerPeer::*act)();
        PinAnswer kiosk;
        const char* journalled;
    } cases[] = {
        {"one trickling a digit at a time", 1, &PinCheckerPeer::trickle, PinAnswer::Right,
         "timed-out"},
        {"idle, within one user's share", 3, nullptr, PinAnswer::Right, "timed-out"},
        {"idle, one user's share taken", 4, nullptr, PinAnswer::Unavailable, "refused"},
        {"one closing without a word", 1, &PinCheckerPeer::leave, PinAnswer::Right, "cut"},
        {"one gone before its wrong try's answer", 1, &PinCheckerPeer::tryAndLeave,
         PinAnswer::Right, "left"},
    };
    for (const auto& c : cases) {
        PinCheckerProcess checker;
        std::vector<std::unique_ptr<PinCheckerPeer>> others;
        for (int i = 0; i < c.count; ++i) {
            others.push_back(std::make_unique<PinCheckerPeer>(checker.socketPath()));
            if (c.act) {
                (others.back().get()->*c.act)();
            }
        }
        EXPECT_EQ(
            askOperatorPinChecker(checker.socketPath(), kRightPin, std::chrono::seconds(3)).answer,
            c.kiosk)
            << c.others;
        const std::string line =
            std::string("event=operator-pin-connection outcome=") + c.journalled;
        EXPECT_TRUE(eventually([&] { return checker.log().find(line) != std::string::npos; }))
            << c.others << "\n"
            << checker.log();
        EXPECT_EQ(readLockout(checker.lockoutFile()).failures, 0) << c.others;
    }
}

TEST(PinLockout, AClockSetBackAddsNothingToTheWait) {
    const auto now = std::chrono::system_clock::now();
    const std::int64_t nowSeconds =
        std::chrono::duration_cast<seconds>(now.time_since_epoch()).count();
    EXPECT_EQ(lockoutLeft({2, nowSeconds + 86400}, now), seconds(2));
    EXPECT_EQ(lockoutLeft({2, nowSeconds - 1}, now), seconds(0));
}

TEST(PinLockout, ADamagedFileIsAFreshStart) {
    const TempFolder folder;
    for (const char* text : {"", "failures x\nlocked-until 5\n", "failures -3\nlocked-until 5\n",
                             "locked-until 5\nfailures 3\n"}) {
        folder.writeFile("lockout", text);
        EXPECT_EQ(readLockout(folder.path("lockout")), LockoutState{}) << text;
    }
    ASSERT_TRUE(writeLockout(folder.path("lockout"), {3, 1700000000}));
    EXPECT_EQ(readLockout(folder.path("lockout")), (LockoutState{3, 1700000000}));
}

} // namespace
} // namespace qv::test
