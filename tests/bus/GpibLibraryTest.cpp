// The loading itself, the start-up of the console on the library, and the
// advice given when it fails; what the loaded library does is in
// DriverContractTest.

#include "bus/drivers/DriverChoice.h"
#include "bus/drivers/GpibAdvice.h"
#include "bus/drivers/GpibLibrary.h"
#include "core/Console.h"
#include "support/Files.h"
#include "support/ScriptedMessageBoxes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

using bus::GpibLibrary;
using testing::HasSubstr;

// The fake library, found by the back end as the system's own: on Windows
// it sits in the system folder as ni4882.dll; elsewhere, once loaded by its
// path, its name libgpib.so.0 finds it.
struct InstalledFakeGpib {
    InstalledFakeGpib() {
#ifdef _WIN32
        library = bus::SharedLibrary::openSystem(bus::gpibFlavour().library).library;
#else
        library = bus::SharedLibrary::open(VIREON_FAKEGPIB_PATH).library;
#endif
    }
    template <class F> F* control(const char* name) {
        return reinterpret_cast<F*>(library ? library->symbol(name) : nullptr);
    }
    std::unique_ptr<bus::SharedLibrary> library;
};

TEST(GpibAdvice, EachStartUpFailureNamesItsCauseAndFix) {
    const bus::LinuxGpibSetup ready{"/etc/gpib.conf", true, "/dev/gpib0", true, true, true, "gpib"};
    struct Case {
        std::int32_t iberr, ibcntl;
        bus::LinuxGpibSetup setup;
        const char* says; // "" for no advice
    };
    auto with = [&](auto change) { auto s = ready; change(s); return s; };
    const Case cases[] = {
        {bus::EARG, 0, with([](auto& s) { s.configFound = false; }), "no board is configured"},
        {bus::EDVR, 2, with([](auto& s) { s.deviceFound = false; }), "/dev/gpib0 is missing or"},
        {bus::EDVR, 19, with([](auto& s) { s.moduleLoaded = false; }), "kernel module"},
        {bus::EDVR, 2, ready, "kernel module is not loaded"},
        {bus::EDVR, 13, with([](auto& s) { s.accessible = false; }), "usermod -aG gpib"},
        {bus::EDVR, 13, ready, "to the group gpib"},
        {bus::ENOL, 0, ready, "No instrument answered"},
        {bus::EDVR, 5, ready, "system error 5"},
        {bus::ETAB, 0, with([](auto& s) { s.configFound = false; }), ""},
    };
    for (const Case& c : cases) {
        const std::string advice = bus::linuxGpibAdvice(c.iberr, c.ibcntl, c.setup);
        EXPECT_EQ(*c.says ? advice.find(c.says) != std::string::npos : advice.empty(), true)
            << c.says << " in: " << advice;
    }
    EXPECT_THAT(bus::ni4882Advice(bus::ENEB, 0), HasSubstr("NI MAX"));
}

// Each failure scripted in the library ends the start in the box that says
// what to fix, and keeps auto on the simulated bench, saying why on the
// note line and in the trace.
TEST(GpibLibraryStart, ABoardThatDoesNotAnswerIsExplainedAndAutoRunsTheBench) {
    InstalledFakeGpib fake;
    ASSERT_TRUE(fake.library);
    fake.control<void(int, long)>("FakeGpibFailStart")(bus::EDVR, 2);
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

    bus::DriverSelection gpib = bus::selectDriver("gpib", "");
    ASSERT_TRUE(gpib.driver) << gpib.error;
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    core::Console console(*gpib.driver, boxes, exit);
    EXPECT_THROW(console.TakeBus(), testing_support::ProgramEnded);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(testing_support::utf8(boxes.shown()[0].title), "Initialization Error 0");
    EXPECT_EQ(testing_support::utf8(boxes.shown()[0].text),
              advice + "\n\nCorrect problem and restart.");
    fake.control<void(int, long)>("FakeGpibFailStart")(-1, 0);
}

TEST(GpibLibraryStart, ABoardAtAddress21IsNoInstrumentAndAPartialFileReadCountsItsBytes) {
    InstalledFakeGpib fake;
    ASSERT_TRUE(fake.library);
    fake.control<void(int)>("FakeGpibBoard")(21);
    bus::DriverSelection gpib = bus::selectDriver("gpib", "");
    ASSERT_TRUE(gpib.driver) << gpib.error;
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    core::Console console(*gpib.driver, boxes, exit);
    console.TakeBus();
    std::vector<std::string> answers;
    console.IdentifyAll(*console.beginOperation(), {false, true, false},
                        [&](const std::u16string& a) { answers.push_back(testing_support::utf8(a)); });
    ASSERT_EQ(answers.size(), 3u) << "the instruments at 5, 9 and 22, the last first";
    EXPECT_THAT(answers[0], HasSubstr("VSO-2204"));
    EXPECT_THAT(answers[2], HasSubstr("VDM-6500"));

    fake.control<void(long)>("FakeGpibCutReads")(100);
    const std::string record = testing_support::scratchFile(".bin");
    console.SelectDevice(*console.beginOperation(), 3);
    console.WriteMessage(*console.beginOperation(), u"CURV?\n");
    const bus::TransferOutcome got = console.ReceiveFile(*console.beginOperation(),
                                                         std::u16string(record.begin(), record.end()));
    EXPECT_EQ(got.ibsta & (bus::ERR | bus::TIMO), bus::ERR | bus::TIMO);
    EXPECT_EQ(got.count, 100);
    std::filesystem::remove(record);
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
