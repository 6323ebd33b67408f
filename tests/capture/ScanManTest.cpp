#include "capture/ScanMan.h"

#include "platform/DynamicLibrary.h"
#include "platform/Errors.h"
#include "tests/capture/ScriptedScanMan.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

using Calls = std::vector<std::string>;

class ScanManBinding : public ::testing::Test {
protected:
    void SetUp() override {
        LoadScanMan(SCRIPTED_SCANMAN);
        script() = {};
    }
    void TearDown() override { UnloadScanMan(); }

    ScriptedScanManScript& script() {
        return *library_.function<ScriptedScanManScript* (*)()>("ScriptedScanMan_Script")();
    }

    // A second reference to the library the binding loaded, to reach its script.
    DynamicLibrary library_ = DynamicLibrary::open(SCRIPTED_SCANMAN);
};

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const GeneralError& error) {
        return error.what();
    }
    return "(nothing raised)";
}

TEST(ScanManResult, FailureCodesBecomeTheErrorWithTheirDescription) {
    const std::pair<int32_t, std::string> table[] = {{-1, "Failed"},
                                                     {-2, "Out of memory"},
                                                     {-3, "Not initialized"},
                                                     {-4, "Argument null"},
                                                     {-5, "Invalid argument"},
                                                     {-10, "Invalid parameter"},
                                                     {-11, "Parameter is read only"},
                                                     {-100, "Not capturing"},
                                                     {-101, "Already capturing"},
                                                     {-7, "-7"},
                                                     {INT32_MIN, "-2147483648"},
                                                     {0, ""},
                                                     {42, ""}};
    for (const auto& [code, text] : table) {
        EXPECT_EQ(ScanManErrorText(code), text) << code;
    }
    EXPECT_EQ(messageOf([] { CheckScanManResult(-3); }),
              "ScanMan error:\r\tCode = -3\r\tDescription = Not initialized");
    EXPECT_EQ(messageOf([] { CheckScanManResult(-7); }),
              "ScanMan error:\r\tCode = -7\r\tDescription = -7");
    EXPECT_NO_THROW(CheckScanManResult(0));
    EXPECT_NO_THROW(CheckScanManResult(42));
}

TEST(ScanManLoad, AMissingLibraryIsNamedInTheError) {
    const std::string message = messageOf([] { LoadScanMan("/nonexistent/libScanMan.so"); });
    EXPECT_NE(message.find("/nonexistent/libScanMan.so"), std::string::npos) << message;
    EXPECT_FALSE(ScanManLoaded());
    EXPECT_EQ(messageOf([] { SMInitialize(); }), "The scanner library is not loaded");
}

TEST_F(ScanManBinding, ReadsParametersOnlyAfterTheirTypeIsConfirmed) {
    script().types = {{10, 100}, {11, 5}, {12, 5}, {13, 5}, {14, -7}};
    script().texts = {{10, "ScanMan 9"}, {13, ""}};
    script().integers = {{11, 1}, {12, -3}};

    EXPECT_EQ(GetScanManParameter10(), "ScanMan 9");
    EXPECT_EQ(GetScanManParameter11(), 1);
    EXPECT_EQ(GetScanManParameter12(), -3);
    EXPECT_EQ(script().calls, (Calls{"type 0 10", "read 0 10 null", "read 0 10", "type 0 11",
                                     "read 0 11", "type 0 12", "read 0 12"}));

    script().types[13] = 100;
    script().calls.clear();
    EXPECT_EQ(GetTextParameter(0, 13), "");
    EXPECT_EQ(script().calls, (Calls{"type 0 13", "read 0 13 null", "read 0 13"}));

    script().types[13] = 5;
    script().calls.clear();
    EXPECT_EQ(messageOf([] { GetTextParameter(0, 13); }), "ScanMan parameter is of wrong type");
    EXPECT_EQ(script().calls, Calls{"type 0 13"});

    EXPECT_EQ(messageOf([] { GetIntegerParameter(0, 10); }), "ScanMan parameter is of wrong type");
    EXPECT_EQ(messageOf([] { GetIntegerParameter(0, 14); }),
              "ScanMan error:\r\tCode = -7\r\tDescription = -7");
}

TEST_F(ScanManBinding, ScannerIdsAreSizedWithTheirTerminatingZero) {
    script().scannerCount = 1;
    script().ids = {{1, "", 0}};
    EXPECT_EQ(GetScannerIdAt(0), "");
    EXPECT_EQ(script().calls, (Calls{"SMGetScannerId 0 size 0", "SMGetScannerId 0 size 1"}));

    for (const ScriptedScanManScript::Id& broken :
         {ScriptedScanManScript::Id{-5, "", 0}, {6, "x", -1}, {0, "", 0}}) {
        script().ids = {broken};
        EXPECT_EQ(messageOf([] { GetScannerIdAt(0); }), "Can not retrieve scanner id");
    }
}

TEST_F(ScanManBinding, ListingSkipsUnreadableIdsAndIgnoresEmptyCounts) {
    script().scannerCount = 3;
    script().ids = {{4, "one", 0}, {-1, "", 0}, {6, "three", 0}};
    std::vector<std::string> ids{"stale"};
    ListScannerIds(ids);
    EXPECT_EQ(ids, (Calls{"one", "three"}));

    for (const int32_t count : {0, -2}) {
        script().scannerCount = count;
        script().calls.clear();
        ListScannerIds(ids);
        EXPECT_TRUE(ids.empty());
        EXPECT_EQ(script().calls, Calls{"SMGetScannerCount"});
    }
}

TEST_F(ScanManBinding, StartsEachScannerByIdAndStopsThemAll) {
    EXPECT_EQ(StartScannerCapture("virtual_image:0", nullptr, nullptr, 0), 0);
    EXPECT_EQ(StopAllCapture(), 0);
    EXPECT_EQ(script().calls, (Calls{"SMStartCapturing virtual_image:0", "SMStopCapturing all"}));
}

} // namespace
} // namespace qv
