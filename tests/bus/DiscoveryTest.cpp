#include "bus/Discovery.h"
#include "support/ScriptedDriver.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

using testing_support::ProgramEnded;
using testing_support::ScriptedDriver;
using testing_support::utf8;

namespace {

struct Discovery : ::testing::Test {
    ScriptedDriver driver;
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    bus::BusSession s{driver, boxes, exit};

    std::vector<int> table() const {
        return {s.devices.ListenerAddresses.begin(), s.devices.ListenerAddresses.end()};
    }
    std::string endWithFindError(std::int32_t err) {
        driver.findOutcome = {bus::ERR, err};
        try {
            bus::FindListeners(s);
        } catch (const ProgramEnded&) {
            EXPECT_EQ(boxes.shown().size(), 1u);
            EXPECT_EQ(utf8(boxes.shown()[0].title), "Initialization Error " + std::to_string(err));
            EXPECT_EQ(boxes.shown()[0].icon, platform::Icon::Critical);
            return utf8(boxes.shown()[0].text);
        }
        ADD_FAILURE() << "the program should have ended";
        return {};
    }
};

} // namespace

TEST_F(Discovery, TakesTheBusAndProbesAddresses1To30) {
    driver.listeners = {0, 5, 9, 22};
    bus::FindListeners(s);
    ASSERT_GE(driver.calls.size(), 4u);
    EXPECT_EQ(driver.calls[1], "SendIFC(0)");
    EXPECT_EQ(driver.calls[2], "ibsre(0,1)");
    std::string probes = "FindLstn(0,";
    for (int a = 0; a <= 30; ++a) probes += std::to_string(a) + " ";
    EXPECT_EQ(driver.calls[3], probes + ",15)");
    EXPECT_EQ(table(), (std::vector<int>{3, 5, 9, 22, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Discovery, CountStopsAtTheFirstEmptyEntry) {
    driver.listeners = {0, 5, 0, 22};
    bus::FindListeners(s);
    EXPECT_EQ(s.devices.count(), 1);
}

TEST_F(Discovery, FourteenDevicesFillTheTable) {
    driver.listeners = {0};
    for (int a = 1; a <= 14; ++a) driver.listeners.push_back(static_cast<bus::Addr4882>(a + 10));
    bus::FindListeners(s);
    EXPECT_EQ(s.devices.count(), 14);
    EXPECT_EQ(s.devices.ListenerAddresses[14], 24);
}

TEST_F(Discovery, NoEntriesMeansNoDevices) {
    driver.listeners = {0};
    bus::FindListeners(s);
    EXPECT_EQ(s.devices.count(), 0);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(Discovery, TerminatingMessagesByErrorCode) {
    EXPECT_EQ(endWithFindError(bus::EBUS), "No listeners found.\n\nCorrect problem and restart.");
}

TEST_F(Discovery, TooManyListeners) {
    EXPECT_EQ(endWithFindError(bus::ETAB),
              "Too many listeners found.\nMax 14 listeners allowed.\n\nCorrect problem and restart.");
}

TEST_F(Discovery, OtherErrorsGiveOnlyTheRestartLine) {
    EXPECT_EQ(endWithFindError(bus::ENEB), "\n\nCorrect problem and restart.");
}

TEST_F(Discovery, OpenDevicePollsEachDeviceAndAddressesTheFirst) {
    driver.listeners = {0, 5, 9, 22};
    bus::FindListeners(s);
    driver.calls.clear();
    const std::int16_t ud = bus::OpenDevice(s);
    EXPECT_EQ(ud, 32);
    const std::vector<std::string> expected = {
        "ibdev(0,1,0,11,1,0)", "ibpad(32,5)", "ibrsp(32)", "ibpad(32,9)", "ibrsp(32)",
        "ibpad(32,22)",        "ibrsp(32)",   "ibpad(32,5)", "ibtmo(32,12)"};
    EXPECT_EQ(driver.calls, expected);
    EXPECT_EQ(s.devices.ButtonHandles[1], 32);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(Discovery, OpenDeviceReportsAFailedLastCall) {
    driver.listeners = {0, 5};
    bus::FindListeners(s);
    driver.outcomes = {{}, {}, {}, {}, {bus::ERR, bus::EARG}};
    EXPECT_EQ(bus::OpenDevice(s), 32);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(boxes.shown()[0].title), "GPIB ERROR # 4");
    EXPECT_TRUE(s.ErrorFlag);
}

TEST_F(Discovery, OpenDeviceWithNoDevicesAddressesZero) {
    driver.listeners = {0};
    bus::FindListeners(s);
    driver.calls.clear();
    bus::OpenDevice(s);
    EXPECT_EQ(driver.calls, (std::vector<std::string>{"ibdev(0,1,0,11,1,0)", "ibpad(32,0)",
                                                      "ibtmo(32,12)"}));
}
