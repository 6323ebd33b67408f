#include "imaging/WSQPACK.h"
#include "platform/DynamicLibrary.h"
#include "platform/Errors.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

namespace {

class WSQPACKBinding : public ::testing::Test {
protected:
    void TearDown() override { qv::unloadWSQPack(); }

    static bool noEntryPoints() {
        const auto& entries = qv::wsqPackEntries();
        return !entries.compress && !entries.uncompress && !entries.free;
    }
};

TEST_F(WSQPACKBinding, AMissingLibraryLeavesTheStationWithoutCompression) {
    EXPECT_NO_THROW(qv::LoadWSQPack("QVNOSUCHWSQ.DLL"));
    EXPECT_FALSE(qv::WSQPackLoaded());
    EXPECT_TRUE(noEntryPoints());

    if (qv::DynamicLibrary::tryOpen(qv::kWSQPackLibraryName)) {
        GTEST_SKIP() << "a compression library is installed where the system finds it";
    }
    EXPECT_NO_THROW(qv::LoadWSQPack());
    EXPECT_FALSE(qv::WSQPackLoaded());
}

TEST_F(WSQPACKBinding, BindsOnceAndUnloadsCompletely) {
    qv::LoadWSQPack(FAKE_WSQPACK_COMPLETE);
    ASSERT_TRUE(qv::WSQPackLoaded());
    const auto& entries = qv::wsqPackEntries();
    EXPECT_NE(entries.compress, nullptr);
    EXPECT_NE(entries.uncompress, nullptr);
    EXPECT_NE(entries.free, nullptr);

    // A second start-up call changes nothing, even with a library that would fail.
    const auto compress = entries.compress;
    EXPECT_NO_THROW(qv::LoadWSQPack(FAKE_WSQPACK_NO_FREE));
    EXPECT_EQ(qv::wsqPackEntries().compress, compress);

    qv::unloadWSQPack();
    EXPECT_FALSE(qv::WSQPackLoaded());
    EXPECT_TRUE(noEntryPoints());
    EXPECT_EQ(::dlopen(FAKE_WSQPACK_COMPLETE, RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_F(WSQPACKBinding, AMissingEntryPointIsAnAssertionWithItsLine) {
    struct Case {
        const char* library;
        const char* message;
        bool compressResolved;
    };
    const Case cases[] = {
        {FAKE_WSQPACK_NO_COMPRESS, "Assertion failure (WSQPACK, line 132)", false},
        {FAKE_WSQPACK_NO_UNCOMPRESS, "Assertion failure (WSQPACK, line 136)", true},
        {FAKE_WSQPACK_NO_FREE, "Assertion failure (WSQPACK, line 140)", true},
    };
    for (const Case& broken : cases) {
        SCOPED_TRACE(broken.library);
        try {
            qv::LoadWSQPack(broken.library);
            ADD_FAILURE() << "bound a library lacking an entry point";
        } catch (const qv::AssertionFailed& error) {
            EXPECT_STREQ(error.what(), broken.message);
        }
        // Nothing after the missing entry point is resolved.
        EXPECT_TRUE(qv::WSQPackLoaded());
        EXPECT_EQ(qv::wsqPackEntries().compress != nullptr, broken.compressResolved);
        EXPECT_EQ(qv::wsqPackEntries().free, nullptr);
        qv::unloadWSQPack();
    }
}

} // namespace
