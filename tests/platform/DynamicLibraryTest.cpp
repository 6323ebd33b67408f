#include "platform/DynamicLibrary.h"

#include "platform/Errors.h"
#include "tests/support/TempFolder.h"

#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

using qv::DynamicLibrary;
using ProbeFunction = int (*)();

TEST(DynamicLibraryNames, StationNamesBecomeSharedObjectNames) {
    EXPECT_EQ(DynamicLibrary::platformFileName("WSQPACK.DLL"), "libWSQPACK.so");
    EXPECT_EQ(DynamicLibrary::platformFileName("ScanMan.dll"), "libScanMan.so");
    EXPECT_EQ(DynamicLibrary::platformFileName("libm.so.6"), "libm.so.6");
    EXPECT_EQ(DynamicLibrary::platformFileName(".dll"), ".dll");
}

TEST(DynamicLibraryLoading, FindsAStationLibraryInTheExecutablesFolder) {
    // The probe library is built beside this test program and on no search path.
    ASSERT_TRUE(std::filesystem::exists(qv::executableFolder() / "libQVPROBE.so"));
    const DynamicLibrary library = DynamicLibrary::open("QVPROBE.DLL");
    EXPECT_EQ(library.location(), (qv::executableFolder() / "libQVPROBE.so").string());
    const auto answer = library.function<ProbeFunction>("qvProbeAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(library.symbol("noSuchFunction"), nullptr);
}

TEST(DynamicLibraryLoading, TellsWhichFileTheLoaderMappedForALibrary) {
    EXPECT_TRUE(qv::loadedLibraryFile("libQVPROBE.so").empty());
    {
        const DynamicLibrary library = DynamicLibrary::open("QVPROBE.DLL");
        EXPECT_EQ(qv::loadedLibraryFile("libQVPROBE.so"),
                  std::filesystem::canonical(qv::executableFolder() / "libQVPROBE.so"));
        // A name that only ends like a loaded library's is another library.
        EXPECT_TRUE(qv::loadedLibraryFile("QVPROBE.so").empty());
    }
    EXPECT_TRUE(qv::loadedLibraryFile("libQVPROBE.so").empty());
}

TEST(DynamicLibraryLoading, UsesTheSystemSearchForOtherLibraries) {
    const DynamicLibrary library = DynamicLibrary::open("libm.so.6");
    const auto cosine = library.function<double (*)(double)>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
}

TEST(DynamicLibraryLoading, LoadsAPathAsItStands) {
    const auto path = qv::executableFolder() / "libQVPROBE.so";
    const DynamicLibrary library = DynamicLibrary::open(path.string());
    EXPECT_EQ(library.location(), path.string());
    EXPECT_NE(library.symbol("qvProbeAnswer"), nullptr);
}

TEST(DynamicLibraryLoading, UnloadsWhenTheOwnerGoes) {
    const auto path = (qv::executableFolder() / "libQVPROBE.so").string();
    {
        const DynamicLibrary library = DynamicLibrary::open(path);
        void* stillThere = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_NE(stillThere, nullptr);
        ::dlclose(stillThere);
    }
    EXPECT_EQ(::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST(DynamicLibraryFailures, AMissingLibraryIsEmptyOrAnErrorNamingIt) {
    EXPECT_FALSE(DynamicLibrary::tryOpen("QVABSENT.DLL").has_value());
    EXPECT_FALSE(DynamicLibrary::tryOpen("").has_value());
    try {
        DynamicLibrary::open("QVABSENT.DLL");
        FAIL() << "a missing library loaded";
    } catch (const qv::GeneralError& error) {
        EXPECT_NE(std::string(error.what()).find("QVABSENT.DLL"), std::string::npos)
            << error.what();
        EXPECT_NE(std::string(error.what()).find("libQVABSENT.so"), std::string::npos)
            << error.what();
    }
}

TEST(DynamicLibraryFailures, AFileThatIsNoLibraryDoesNotLoad) {
    const qv::test::TempFolder folder;
    folder.writeFile("not-a-library.so", "just text");
    const std::string path = folder.path("not-a-library.so");
    EXPECT_FALSE(DynamicLibrary::tryOpen(path).has_value());
    EXPECT_THROW(DynamicLibrary::open(path), qv::GeneralError);
}

} // namespace
