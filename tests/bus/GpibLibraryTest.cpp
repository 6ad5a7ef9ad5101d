// The loading itself; what the loaded library does is in DriverContractTest.

#include "bus/drivers/GpibLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <dlfcn.h>

namespace {

using bus::GpibLibrary;
using testing::HasSubstr;

TEST(GpibLibraryLoad, AFileThatIsNoneOrLacksAFunctionIsRefusedSayingWhy) {
    const std::string none = VIREON_FAKEGPIB_DIR "/no-such-gpib-library";
    const bus::GpibLoadResult missing = GpibLibrary::load(none);
    EXPECT_EQ(missing.driver, nullptr);
    EXPECT_THAT(missing.error, testing::StartsWith(none + " could not be loaded: "));
    const bus::GpibLoadResult partial = GpibLibrary::load(VIREON_FAKEGPIB_PARTIAL_PATH);
    EXPECT_EQ(partial.driver, nullptr);
    EXPECT_EQ(partial.error,
              VIREON_FAKEGPIB_PARTIAL_PATH " does not export ibrdf, which this program needs");
}

// Each back end holds the library as long as it lives, and the library's
// state goes with it.
TEST(GpibLibraryLoad, TheLibraryIsUnloadedWithTheLastBackEnd) {
    const auto loaded = [] {
        void* handle = dlopen(VIREON_FAKEGPIB_PATH, RTLD_NOW | RTLD_NOLOAD);
        return handle != nullptr && dlclose(handle) == 0;
    };
    ASSERT_FALSE(loaded());
    {
        bus::GpibLoadResult first = GpibLibrary::load(VIREON_FAKEGPIB_PATH);
        const bus::GpibLoadResult second = GpibLibrary::load(VIREON_FAKEGPIB_PATH);
        ASSERT_NE(second.driver, nullptr) << second.error;
        EXPECT_EQ(second.driver->libraryName(), VIREON_FAKEGPIB_PATH);
        first.driver.reset();
        EXPECT_TRUE(loaded()) << "the other back end still uses it";
    }
    EXPECT_FALSE(loaded());
}

} // namespace
#endif
