#include "bus/Discovery.h"
#include "support/ScriptedDriver.h"

#include <gtest/gtest.h>

using testing_support::ProgramEnded;
using testing_support::utf8;
using Calls = std::vector<std::string>;

namespace {

struct Discovery : ::testing::Test, testing_support::ScriptedSession {};

} // namespace

// What FindLstn reports → the device table without the board's own address,
// or the box (with the driver's advice) before the program ends.
TEST_F(Discovery, ListenersButTheBoardFillTheTableOrEndTheProgram) {
    struct Case {
        std::vector<bus::Addr4882> listeners;
        std::int32_t err;       // -1: no error
        std::vector<int> table; // then zeros
        std::string box;
        std::int32_t board = 0;
        std::string advice = "";
    };
    const std::string restart = "\n\nCorrect problem and restart.";
    // clang-format off
    const Case cases[] = {
        {{0, 5, 9, 22}, -1, {3, 5, 9, 22}, ""},
        {{0, 5, 0, 22}, -1, {2, 5, 22}, ""},
        {{5, 9, 21, 22}, -1, {3, 5, 9, 22}, "", 21},
        {{5, 9, 0, 22}, -1, {2, 5, 9}, "", 21},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, -1,
         {14, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, ""},
        {{}, bus::EBUS, {}, "Initialization Error 14|No listeners found." + restart},
        {{}, bus::ETAB, {},
         "Initialization Error 20|Too many listeners found.\nMax 14 listeners allowed." + restart},
        {{}, bus::ENOL, {}, "Initialization Error 2|No listeners found.\nSwitch on." + restart, 0,
         "Switch on."},
        {{}, bus::EDVR, {}, "Initialization Error 0|Load the module in /home/jürgen." + restart, 0,
         "Load the module in /home/jürgen."},
        // An adapter that stopped answering is named alone, not as an empty bus.
        {{}, bus::ENEB, {},
         "Initialization Error 7|The Prologix adapter on /dev/ttyUSB0 stopped answering." + restart,
         0, "The Prologix adapter on /dev/ttyUSB0 stopped answering."}};
    // clang-format on
    for (const Case& c : cases) {
        driver.listeners = c.listeners;
        driver.boardAddress = c.board;
        driver.advice = c.advice;
        driver.findOutcome = {c.err < 0 ? 0 : bus::ERR, c.err};
        boxes.clear();
        try {
            bus::FindListeners(s);
            std::vector<int> table = c.table;
            table.resize(s.devices.ListenerAddresses.size());
            EXPECT_EQ(std::vector<int>(s.devices.ListenerAddresses.begin(),
                                       s.devices.ListenerAddresses.end()),
                      table);
        } catch (const ProgramEnded& ended) {
            EXPECT_EQ(ended.exitCode, bus::kExitInitializationError);
        }
        const auto& shown = boxes.shown();
        EXPECT_EQ(shown.empty() ? "" : utf8(shown[0].title) + "|" + utf8(shown[0].text), c.box);
        EXPECT_TRUE(shown.empty() || shown[0].icon == platform::Icon::Critical);
    }
    EXPECT_EQ(Calls(driver.calls.begin() + 1, driver.calls.begin() + 5),
              (Calls{"SendIFC(0)", "ibsre(0,1)",
                     "FindLstn(0,0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 "
                     "25 26 27 28 29 30 ,15)",
                     "ibask(0,1)"}));
}

TEST_F(Discovery, OpenDevicePollsEachDeviceAddressesTheFirstAndReportsAFailedLastCall) {
    s.devices.ListenerAddresses = {3, 5, 9, 22};
    driver.outcomes = {{}, {}, {}, {}, {}, {}, {}, {}, {bus::ERR, bus::EARG}};
    EXPECT_EQ(bus::OpenDevice(s), 32);
    EXPECT_EQ(driver.calls, (Calls{"RegisterGpibGlobalsForThread", "ibdev(0,1,0,11,1,0)",
                                   "ibpad(32,5)", "ibrsp(32)", "ibpad(32,9)", "ibrsp(32)",
                                   "ibpad(32,22)", "ibrsp(32)", "ibpad(32,5)", "ibtmo(32,12)"}));
    EXPECT_EQ(s.devices.ButtonHandles[1], 32);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(boxes.shown()[0].title), "GPIB ERROR # 4");
}
