#include "bus/drivers/DriverChoice.h"

#include "bus/drivers/GpibLibrary.h"
#include "bus/drivers/TraceDriver.h"
#include "support/Files.h"

#ifdef VIREON_ADAPTER_SIM
#include "HislipServer.h"
#include "Vxi11Server.h"
#include "bus/drivers/SimulatedBus.h"
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

// The text of --driver → "NAME ARGS" of the back end it picks, or what the
// refusal says. The trace wraps a back end; it is chosen with --trace.
TEST(DriverChoices, NameInAnyCaseThenArguments) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"gPiB", "gpib "}, {"", "choose auto, sim, gpib"}, {"gpib:5", "takes no arguments"},
        {" sim", "unknown driver \" sim\""}, {"simul", "--driver help"},
        {"trace:x.jsonl", "unknown driver"},
        {"VXI11:lab-gw:1111/gpib0,22", "vxi11 lab-gw:1111/gpib0,22"},
        {"vxi11", "needs vxi11:HOST[:PMAPPORT][/DEVICE][,lock]"},
        {"HiSLIP:[fe80::1]:4880/hislip0", "hislip [fe80::1]:4880/hislip0"},
        {"hislip:", "needs hislip:HOST[:PORT][/SUBADDRESS][,lock]"}};
    // clang-format on
    for (const auto& [text, expected] : cases) {
        std::string error;
        const std::optional<bus::BackEndChoice> choice = bus::parseBackEndChoice(text, error);
        if (choice)
            EXPECT_EQ(std::string(choice->backEnd->name) + " " + choice->args, expected);
        else
            EXPECT_NE(error.find(expected), std::string::npos) << text << ": " << error;
    }
}

TEST(BackEnds, TheListShowsEveryRowWithItsArguments) {
    const std::string list = bus::backEndList();
    for (const bus::BackEnd& row : bus::backEnds()) {
        EXPECT_NE(list.find(std::string(row.name)), std::string::npos) << row.name;
        EXPECT_NE(list.find(std::string(row.help)), std::string::npos) << row.name;
    }
    EXPECT_NE(list.find("trace:FILE"), std::string::npos) << list;
}

TEST(SelectDriver, WithoutTheLibraryAutoFallsBackAndGpibFailsNamingWhy) {
    const bus::GpibLoadResult library = bus::GpibLibrary::load();
    if (library.driver) GTEST_SKIP() << "a GPIB library loads on this machine";

    bus::DriverSelection fallback = bus::selectDriver("auto", "");
    ASSERT_NE(fallback.driver, nullptr);
    EXPECT_TRUE(fallback.simulated);
    ASSERT_EQ(fallback.notes.size(), 1u);
    EXPECT_NE(fallback.notes[0].find(library.error), std::string::npos) << fallback.notes[0];

    const bus::DriverSelection refused = bus::selectDriver("gpib", "");
    EXPECT_EQ(refused.driver, nullptr);
    EXPECT_NE(refused.error.find(library.error), std::string::npos) << refused.error;
}

TEST(SelectDriver, ATraceWrapsTheBackEndOrIsLeftOutWithANote) {
    // The traced bench itself runs through the driver contract suite.
    const std::string trace = testing_support::scratchFile(".jsonl");
    EXPECT_EQ(bus::selectDriver("sim", trace).description,
              "simulated bench, I/O trace to " + trace);
    std::remove(trace.c_str());

    const std::string nowhere = ::testing::TempDir() + "no-such-folder/trace.jsonl";
    bus::DriverSelection s = bus::selectDriver("sim", nowhere);
    EXPECT_EQ(dynamic_cast<bus::TraceDriver*>(s.driver.get()), nullptr);
    ASSERT_EQ(s.notes.size(), 1u);
    EXPECT_EQ(s.notes[0].rfind("trace disabled: cannot open trace file '" + nowhere + "': ", 0), 0u)
        << s.notes[0];
    EXPECT_NE(s.driver, nullptr) << "the bench runs untraced";
}

// The protocols themselves are tested with their clients; here, that each
// row reaches the server behind its arguments and names what it reached,
// and that a host where nothing listens is named in the refusal.
TEST(SelectDriver, TheLanRowsReachTheirServerOrNameTheHost) {
#ifdef VIREON_ADAPTER_SIM
    serve::Vxi11Options vxi11Options;
    vxi11Options.portmapperPort = 0;
    serve::Vxi11Server vxi11(vxi11Options, bus::SimulatedBus::defaultBench());
    serve::HislipServer hislip({}, bus::SimulatedBus::defaultBench());
    ASSERT_EQ(vxi11.error() + hislip.error(), "");
    const std::pair<std::string, std::string> reached[] = {
        {"vxi11:127.0.0.1:" + std::to_string(vxi11.portmapperPort()) + "/gpib0",
         "VXI-11 gpib0 on 127.0.0.1"},
        {"hislip:127.0.0.1:" + std::to_string(hislip.port()),
         "HiSLIP hislip0 on 127.0.0.1:" + std::to_string(hislip.port())},
        {"vxi11:127.0.0.1:" + std::to_string(vxi11.portmapperPort()) + "/gpib0,LOCK",
         "VXI-11 gpib0 on 127.0.0.1, each device locked"},
        {"hislip:127.0.0.1:" + std::to_string(hislip.port()) + ",lock",
         "HiSLIP hislip0 on 127.0.0.1:" + std::to_string(hislip.port()) + ", each device locked"}};
    for (const auto& [choice, description] : reached) {
        const bus::DriverSelection s = bus::selectDriver(choice, "");
        EXPECT_NE(s.driver, nullptr) << choice << ": " << s.error;
        EXPECT_EQ(s.description, description);
        EXPECT_TRUE(s.notes.empty()) << s.notes.front();
    }
#endif
    // Port 1 on loopback: refused at once, no network asked.
    for (const char* nobody : {"vxi11:127.0.0.1:1", "hislip:127.0.0.1:1/gpib0"}) {
        const bus::DriverSelection s = bus::selectDriver(nobody, "");
        EXPECT_EQ(s.driver, nullptr) << nobody;
        EXPECT_NE(s.error.find("127.0.0.1"), std::string::npos) << s.error;
    }
}

} // namespace

TEST(SelectDriver, ABenchTakesItsFileAndARateAloneOrAfterIt) {
    EXPECT_EQ(bus::selectDriver("sim:rate=2000000", "").description,
              "simulated bench, paced at 2000000 bytes/s");
#if VIREON_BENCH_FILES // the MinGW build reads no bench files
    const std::string file = std::string(VIREON_TEST_DATA_DIR) + "/bench.yaml";
    const bus::DriverSelection bench = bus::selectDriver("sim:" + file + ",rate=5", "");
    EXPECT_EQ(bench.description, "simulated bench from " + file + ", paced at 5 bytes/s");
    EXPECT_TRUE(bench.simulated);
    EXPECT_EQ(bench.notes.size(), 1u) << "the serial resource is skipped";
#endif
    for (const char* wrong : {"sim:rate=0", "sim:rate=", "sim:rate=1e6"})
        EXPECT_NE(bus::selectDriver(wrong, "").error.find("rate="), std::string::npos) << wrong;
    EXPECT_EQ(bus::selectDriver("sim:run.jsonl", "").error,
              "run.jsonl: a recorded trace is replayed with --driver replay:run.jsonl");
    EXPECT_EQ(bus::selectDriver("replay:/nowhere.jsonl", "").error,
              "cannot open trace file '/nowhere.jsonl'");
}
