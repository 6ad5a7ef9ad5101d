#include "bus/drivers/GpibLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

using bus::GpibLibrary;
using bus::GpibLoadResult;
using testing::HasSubstr;
using testing::StartsWith;

namespace fs = std::filesystem;

// A file in the build's own folder that goes away with the test.
class ScratchFile {
public:
    ScratchFile(const std::string& name, const std::string& content)
        : path_(fs::path(VIREON_FAKEGPIB_DIR) / name) {
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~ScratchFile() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

// No driver comes back, and the message names the file and gives the
// loader's reason.
void expectRefusedWithReason(const std::string& path) {
    const GpibLoadResult result = GpibLibrary::load(path);
    EXPECT_EQ(result.driver, nullptr);
    const std::string lead = path + " could not be loaded: ";
    EXPECT_THAT(result.error, StartsWith(lead));
    EXPECT_GT(result.error.size(), lead.size()) << "no reason given";
}

TEST(GpibLibraryLoad, MissingFileIsRefused) {
    expectRefusedWithReason((fs::path(VIREON_FAKEGPIB_DIR) / "no-such-gpib-library").string());
}

TEST(GpibLibraryLoad, FolderIsRefused) {
    expectRefusedWithReason(VIREON_FAKEGPIB_DIR);
}

TEST(GpibLibraryLoad, FileThatIsNoLibraryIsRefused) {
    const ScratchFile text("not-a-library.so", "GPIB library? No, just text.\n");
    expectRefusedWithReason(text.path());
}

// No GPIB library is installed on the build machines; where one is, the load
// must work instead.
TEST(GpibLibraryLoad, SystemLibraryThatIsAbsentFailsCleanly) {
#ifdef _WIN32
    const std::string expected = "Gpib-32.dll";
#else
    const std::string expected = "libgpib.so.0";
#endif
    const GpibLoadResult result = GpibLibrary::load();
    if (result.driver) GTEST_SKIP() << "this machine has " << result.driver->libraryName();
    EXPECT_THAT(result.error, HasSubstr(expected));
    EXPECT_THAT(result.error, HasSubstr("could not be loaded"));
}

// The fake imitates linux-gpib; on Windows the back end binds NI's names.
#ifndef _WIN32

TEST(GpibLibraryLoad, LibraryLackingAFunctionIsRefusedNamingIt) {
    const GpibLoadResult result = GpibLibrary::load(VIREON_FAKEGPIB_PARTIAL_PATH);
    EXPECT_EQ(result.driver, nullptr);
    EXPECT_THAT(result.error, HasSubstr(VIREON_FAKEGPIB_PARTIAL_PATH));
    EXPECT_THAT(result.error, HasSubstr("ibrdf"));
}

TEST(GpibLibraryLoad, CompleteLibraryLoadsUnderItsOwnName) {
    const GpibLoadResult result = GpibLibrary::load(VIREON_FAKEGPIB_PATH);
    ASSERT_NE(result.driver, nullptr) << result.error;
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.driver->libraryName(), VIREON_FAKEGPIB_PATH);
}

// Each back end holds the library only as long as it lives, and the library's
// state goes with it.
TEST(GpibLibraryLoad, LibraryIsUnloadedWithTheLastBackEnd) {
    const auto loaded = [] {
        void* handle = dlopen(VIREON_FAKEGPIB_PATH, RTLD_NOW | RTLD_NOLOAD);
        if (handle) dlclose(handle);
        return handle != nullptr;
    };
    ASSERT_FALSE(loaded());
    {
        GpibLoadResult first = GpibLibrary::load(VIREON_FAKEGPIB_PATH);
        GpibLoadResult second = GpibLibrary::load(VIREON_FAKEGPIB_PATH);
        ASSERT_NE(first.driver, nullptr) << first.error;
        ASSERT_NE(second.driver, nullptr) << second.error;
        first.driver.reset();
        EXPECT_TRUE(loaded()) << "the other back end still uses it";
    }
    EXPECT_FALSE(loaded());
}

#endif

} // namespace
