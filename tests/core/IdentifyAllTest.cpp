#include "core/IdentifyAll.h"

#include "support/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using testing_support::ScriptedDriver;
using testing_support::utf8;

using Printed = std::vector<std::pair<int, std::string>>;

// A read that times out; any other chunk here is a whole answer.
const ScriptedDriver::Chunk kSilence{"", bus::ERR | bus::TIMO, bus::EABO};

// Devices at 5, 9 and 22 behind descriptor 32; 9 selected.
struct IdentifyAll : testing::Test, testing_support::ScriptedSession {
    IdentifyAll() {
        s.devices.ListenerAddresses = {3, 5, 9, 22};
        s.devices.DeviceHandle = 32;
        s.devices.SelectedAddress = 9;
        s.devices.TimeoutCode = bus::T3s;
        s.binding.ibpad(32, 9); // registers
        driver.calls.clear();
    }
    Printed run(const devices::IdQueries& queries) {
        Printed printed;
        devices::IdentifyAll(s, queries, [&](const std::u16string& text) {
            printed.emplace_back(s.devices.SelectedAddress, utf8(text));
        });
        return printed;
    }
};

TEST_F(IdentifyAll, WithBothQueriesASilentIdIsFollowedByStarIdnLastDeviceFirst) {
    driver.reads = {kSilence, {"SCOPE,1\r\n"}, {"  GEN 2\n"}, kSilence, kSilence};
    EXPECT_EQ(run({true, true, false, false}),
              (Printed{{22, "SCOPE,1"}, {9, "GEN 2"}, {5, "No response"}}));
    const std::vector<std::string> expected{
        "ibpad(32,22)",     "ibtmo(32,10)",     "ibwrt(32,ID?)",    "ibwait(32,16640)",
        "ibrd(32,512)",     "ibwrt(32,*IDN?)",  "ibwait(32,16640)", "ibrd(32,512)",
        "ibtmo(32,12)",     "ibpad(32,9)",      "ibtmo(32,10)",     "ibwrt(32,ID?)",
        "ibwait(32,16640)", "ibrd(32,512)",     "ibtmo(32,12)",     "ibpad(32,5)",
        "ibtmo(32,10)",     "ibwrt(32,ID?)",    "ibwait(32,16640)", "ibrd(32,512)",
        "ibwrt(32,*IDN?)",  "ibwait(32,16640)", "ibrd(32,512)",     "ibtmo(32,12)",
        "ibpad(32,9)"};
    EXPECT_EQ(driver.calls, expected);
}

TEST_F(IdentifyAll, WithOneQueryEachDeviceIsAskedOnceWithTheChosenLineEnds) {
    driver.reads = {{"C\n"}, kSilence, {"A\n"}};
    EXPECT_EQ(run({false, true, true, false}), (Printed{{22, "C"}, {9, "No response"}, {5, "A"}}));
    driver.reads = {{"x"}, {"y"}, {"z"}};
    run({true, false, false, true});
    EXPECT_EQ(driver.count("ibwrt(32,*IDN?\r)"), 3);
    EXPECT_EQ(driver.count("ibwrt(32,ID?\n)"), 3);
}

// A failed write is reported, and the read still decides: any read that ends
// without a time-out is an answer, even one with an error and nothing in it.
TEST_F(IdentifyAll, AFailedWriteIsReportedAndTheDeviceStillGetsItsWaitAndRead) {
    // 22 is gone: both its writes fail; the operator goes on each time.
    driver.outcomes = {{}, {}, {bus::ERR, bus::ENOL}, {}, {bus::ERR, bus::ENOL}};
    driver.reads = {kSilence, kSilence, {"", bus::ERR, bus::EABO}, {"A"}};
    EXPECT_EQ(run({true, true, false, false}), (Printed{{22, "No response"}, {9, ""}, {5, "A"}}));
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(utf8(boxes.shown()[0].title), "GPIB ERROR # 2");
    EXPECT_EQ(driver.count("ibrd"), 4);
}

// Stopped while the first device answers: nobody else is asked, and the
// descriptor is back at the selected device under its standing time-out.
TEST_F(IdentifyAll, AStopEndsItAtTheDeviceBeingAsked) {
    bool stop = false;
    s.stopRequested = [&] { return stop; };
    driver.reads = {{"SCOPE,1\n"}};
    driver.calls.clear();
    Printed printed;
    devices::IdentifyAll(s, {true, false, false, false}, [&](const std::u16string& text) {
        printed.emplace_back(s.devices.SelectedAddress, utf8(text));
        stop = true;
    });
    EXPECT_EQ(printed, (Printed{{22, "SCOPE,1"}}));
    EXPECT_EQ(driver.count("ibwrt"), 1);
    EXPECT_EQ(driver.calls.back(), "ibpad(32,9)");
    EXPECT_EQ(driver.count("ibtmo(32,12)"), 1);
}

TEST(IdentificationText, LosesOuterSpacesAndEveryLineEnd) {
    EXPECT_EQ(utf8(devices::identificationText(u"  ID GEN\n   ")), "ID GEN");
    EXPECT_EQ(utf8(devices::identificationText(u" A\nB\r\nin  side ")), "ABin  side");
    EXPECT_EQ(utf8(devices::identificationText(std::u16string(512, u' '))), "");
}

} // namespace
