// The VISA back end chosen by name and failing as a library can; what it
// does on the bus is in DriverContractTest.

#include "bus/drivers/DriverChoice.h"
#include "bus/drivers/VisaBus.h"
#include "support/Talk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::HasSubstr;

TEST(VisaBus, ChosenByNameItTalksAndNamesAStatusItDoesNotKnow) {
#ifdef _WIN32 // the fake sits in the system folder as visa64.dll
    auto fake = bus::SharedLibrary::openSystem("visa64.dll").library;
#else // once loaded by its path, the back end's lookup of libvisa.so finds it
    auto fake = bus::SharedLibrary::open(VIREON_FAKEVISA_PATH).library;
#endif
    ASSERT_TRUE(fake);
    bus::DriverSelection visa = bus::selectDriver("visa", "");
    ASSERT_TRUE(visa.driver) << visa.error;
    EXPECT_THAT(visa.description, HasSubstr("at GPIB0"));
    testing_support::Talk talk(*visa.driver);
    EXPECT_EQ(talk.ask(5, "*IDN?\n"), "Vireon Sim,VDM-6500,SN000005,1.04.2\n");

    reinterpret_cast<void (*)(std::int32_t)>(fake->symbol("FakeVisaFailNext"))(
        static_cast<std::int32_t>(0xBFFF1234u));
    talk.write(talk.open(5), "*IDN?\n");
    EXPECT_EQ(talk.sta & bus::ERR, bus::ERR);
    EXPECT_EQ(talk.err, bus::EDVR);
    EXPECT_THAT(visa.driver->startupAdvice(talk.err, talk.cntl), HasSubstr("0xBFFF1234"));
}

#ifndef _WIN32
TEST(VisaBus, ALibraryWithoutAVisaFunctionIsRefusedNamingIt) {
    const bus::VisaLoadResult loaded = bus::VisaBus::load("GPIB0", VIREON_FAKEGPIB_PATH);
    EXPECT_EQ(loaded.driver, nullptr);
    EXPECT_EQ(loaded.error,
              VIREON_FAKEGPIB_PATH " does not export viOpenDefaultRM, which this program needs");
}
#endif

} // namespace
