// The vendor libraries: loading, the console's start on them, and the advice
// given when that fails. What the loaded libraries do on the bus is in
// DriverContractTest.

#include "bus/drivers/GpibLibrary.h"
#include "bus/drivers/DriverChoice.h"
#include "bus/drivers/GpibAdvice.h"
#include "bus/drivers/VisaBus.h"
#include "support/Files.h"
#include "support/Talk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

using bus::GpibLibrary;
using testing::HasSubstr;

// The fake, loaded as the back ends find the system's library: on Windows it
// sits in the system folder under the library's name; elsewhere, once loaded
// by its path, its name libgpib.so.0 finds it.
std::unique_ptr<bus::SharedLibrary> fakeLibrary([[maybe_unused]] const char* windowsName) {
#ifdef _WIN32
    return bus::SharedLibrary::openSystem(windowsName).library;
#else
    return bus::SharedLibrary::open(VIREON_FAKEGPIB_PATH).library;
#endif
}

template <class F> F* control(const std::unique_ptr<bus::SharedLibrary>& fake, const char* name) {
    return reinterpret_cast<F*>(fake->symbol(name));
}

TEST(GpibAdvice, EachStartUpFailureNamesItsCauseAndFix) {
    const bus::LinuxGpibSetup ready{"/etc/gpib.conf", true, "/dev/gpib0", true, true, true, "gpib"};
    const auto with = [&](bool bus::LinuxGpibSetup::*fact) {
        auto s = ready;
        s.*fact = false;
        return s;
    };
    const struct {
        std::int32_t iberr, ibcntl;
        bus::LinuxGpibSetup setup;
        const char* says; // "" for no advice
    } cases[] = {
        {bus::EARG, 0, with(&bus::LinuxGpibSetup::configFound), "no board is configured"},
        {bus::EDVR, 2, with(&bus::LinuxGpibSetup::deviceFound), "/dev/gpib0 is missing or"},
        {bus::EDVR, 19, with(&bus::LinuxGpibSetup::moduleLoaded), "kernel module"},
        {bus::EDVR, 13, with(&bus::LinuxGpibSetup::accessible), "usermod -aG gpib"},
        {bus::EDVR, 13, ready, "to the group gpib"},
        {bus::ENOL, 0, ready, "No instrument answered"},
        {bus::EDVR, 5, ready, "system error 5"},
        {bus::ETAB, 0, with(&bus::LinuxGpibSetup::configFound), ""},
    };
    for (const auto& c : cases) {
        const std::string advice = bus::linuxGpibAdvice(c.iberr, c.ibcntl, c.setup);
        EXPECT_TRUE(*c.says ? advice.find(c.says) != std::string::npos : advice.empty())
            << c.says << " in: " << advice;
    }
    EXPECT_THAT(bus::ni4882Advice(bus::ENEB, 0), HasSubstr("no GPIB board 0"));
    EXPECT_THAT(bus::ni4882Advice(bus::EDVR, 5), HasSubstr("system error 5"));
    EXPECT_EQ(bus::ni4882Advice(bus::ENOL, 0), "");
}

// A library whose board does not answer keeps auto on the simulated bench,
// saying why and what to fix on the note line and in the trace (the box of
// --driver gpib is Discovery's).
TEST(GpibLibraryStart, ABoardThatDoesNotAnswerIsExplainedAndAutoRunsTheBench) {
    const auto fake = fakeLibrary("ni4882.dll");
    ASSERT_TRUE(fake);
    control<void(int, long)>(fake, "FakeGpibFailStart")(bus::EDVR, 2);
    const std::string advice = bus::gpibFlavour().startupAdvice(bus::EDVR, 2);
    ASSERT_FALSE(advice.empty());
    const std::string trace = testing_support::scratchFile(".jsonl");
    {
        const bus::DriverSelection automatic = bus::selectDriver("auto", trace);
        EXPECT_TRUE(automatic.simulated);
        ASSERT_EQ(automatic.notes.size(), 1u);
        EXPECT_THAT(automatic.notes[0], HasSubstr("board does not answer"));
        EXPECT_THAT(automatic.notes[0], HasSubstr(advice));
    }
    EXPECT_THAT(testing_support::fileText(trace), HasSubstr("\"op\":\"note\""));
    std::filesystem::remove(trace);
}

// Like linux-gpib, the fake counts nothing when a read into a file times out;
// the back end counts the bytes that reached the file.
TEST(GpibLibraryStart, APartialFileReadCountsItsBytes) {
    const auto fake = fakeLibrary("ni4882.dll");
    ASSERT_TRUE(fake);
    bus::DriverSelection gpib = bus::selectDriver("gpib", "");
    ASSERT_TRUE(gpib.driver) << gpib.error;
    control<void(long)>(fake, "FakeGpibCutReads")(100);
    testing_support::Talk talk(*gpib.driver);
    const std::int32_t ud = talk.open(22);
    talk.write(ud, "CURV?\n");
    const std::string record = testing_support::scratchFile(".bin");
    EXPECT_EQ(gpib.driver->ibrdfA(ud, record.c_str()) & (bus::ERR | bus::TIMO),
              bus::ERR | bus::TIMO);
    EXPECT_EQ(talk.cntl, 100);
    std::filesystem::remove(record);
}

TEST(VisaBus, ItTalksAndNamesAStatusItDoesNotKnow) {
    const auto fake = fakeLibrary("visa64.dll");
    ASSERT_TRUE(fake);
#ifdef _WIN32
    bus::DriverSelection visa = bus::selectDriver("visa", "");
    ASSERT_TRUE(visa.driver) << visa.error;
    EXPECT_THAT(visa.description, HasSubstr("at GPIB0"));
    bus::Driver& driver = *visa.driver;
#else
    const bus::VisaLoadResult loaded = bus::VisaBus::load("GPIB0", VIREON_FAKEGPIB_PATH);
    ASSERT_TRUE(loaded.driver) << loaded.error;
    bus::Driver& driver = *loaded.driver;
#endif
    testing_support::Talk talk(driver);
    control<void(std::int32_t)>(fake, "FakeVisaFailNext")(static_cast<std::int32_t>(0xBFFF1234u));
    talk.write(talk.open(5), "*IDN?\n");
    EXPECT_EQ(talk.sta & bus::ERR, bus::ERR);
    EXPECT_EQ(talk.err, bus::EDVR);
    EXPECT_THAT(driver.startupAdvice(talk.err, talk.cntl), HasSubstr("0xBFFF1234"));
}

#ifndef _WIN32
TEST(GpibLibraryLoad, AFileThatIsNoneOrLacksAFunctionIsRefusedSayingWhy) {
    const std::string none = VIREON_FAKEGPIB_DIR "/no-such-gpib-library";
    const bus::GpibLoadResult missing = GpibLibrary::load(none);
    EXPECT_EQ(missing.driver, nullptr);
    EXPECT_THAT(missing.error, testing::StartsWith(none + " could not be loaded: "));
    const bus::GpibLoadResult partial = GpibLibrary::load(VIREON_FAKEGPIB_PARTIAL_PATH);
    EXPECT_EQ(partial.driver, nullptr);
    EXPECT_EQ(partial.error,
              VIREON_FAKEGPIB_PARTIAL_PATH " does not export ibrdf, which this program needs");
    EXPECT_EQ(bus::VisaBus::load("GPIB0", VIREON_FAKEGPIB_PARTIAL_PATH).error,
              VIREON_FAKEGPIB_PARTIAL_PATH " does not export viClear, which this program needs");
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
#endif

} // namespace
