#include "core/SyntaxCheck.h"

#include "support/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using syntaxcheck::kNoMethod;
using syntaxcheck::kSerialPollMethod;
using syntaxcheck::kStatusRegistersMethod;
using Calls = std::vector<std::string>;

// A session on a scripted driver with descriptor 32 open and the status
// variables registered.
struct SyntaxCheck : testing::Test, testing_support::ScriptedSession {
    SyntaxCheck() {
        s.devices.DeviceHandle = 32;
        s.binding.ibpad(32, 5);
        driver.calls.clear();
    }
    // The calls so far, then forgotten.
    Calls calls() { return std::exchange(driver.calls, {}); }
};

TEST_F(SyntaxCheck, ClearingPollsUntilTheStatusByteIsZeroAtMost25TimesAndReportsNothing) {
    driver.pollBytes = {96, 64, 0, 80};
    EXPECT_EQ(syntaxcheck::PreWriteClearing(s, kStatusRegistersMethod), 3);
    EXPECT_EQ(calls(), (Calls{"ibwrt(32,*CLS)", "ibrsp(32)", "ibrsp(32)", "ibrsp(32)"}));
    driver.pollBytes.assign(40, 0x41);
    EXPECT_EQ(syntaxcheck::PreWriteClearing(s, kSerialPollMethod), 25);
    driver.outcomes = {{bus::ERR, bus::ENOL}, {bus::ERR | bus::TIMO, bus::EABO}};
    syntaxcheck::PreWriteClearing(s, kStatusRegistersMethod);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(s.ErrorFlag);
}

// The order of the calls around a message is the console's (ConsoleTest).
TEST_F(SyntaxCheck, EachMethodKnowsItsErrorBytesAndAShortWaitLeavesTheStandingTimeOut) {
    for (const auto method : {kStatusRegistersMethod, kSerialPollMethod}) {
        const bool registers = method == kStatusRegistersMethod;
        for (const std::uint8_t status : {96, 112, 97, 113, 80, 0}) {
            driver.pollBytes = {status};
            // The wait times out unless a request comes: that is no error.
            driver.outcomes = {{}, {}, {bus::ERR | bus::TIMO, bus::EABO}};
            const bool rejected =
                status == (registers ? 96 : 97) || status == (registers ? 112 : 113);
            EXPECT_EQ(syntaxcheck::CheckSyntax(s, 32, method), rejected)
                << method << ' ' << int{status};
        }
    }
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(s.ErrorFlag); // the caller decides what a rejection means
    driver.timeout = bus::T300ms;
    calls();
    syntaxcheck::CheckSyntax(s, 32, kSerialPollMethod);
    EXPECT_EQ(calls(), (Calls{"ibask(32,3)", "ibwait(32,18432)", "ibrsp(32)"}));
    EXPECT_THROW(syntaxcheck::CheckSyntax(s, 0, kSerialPollMethod), testing_support::ProgramEnded);
    EXPECT_TRUE(calls().empty()) << "no descriptor, no call";
}

TEST_F(SyntaxCheck, SelectedMethodFollowsTheSelectionAndIsNoneWithoutOne) {
    syntaxcheck::DeviceSyntaxMethodTable methods{};
    methods[0] = kStatusRegistersMethod; // never used
    methods[2] = kSerialPollMethod;
    s.devices.SelectedDeviceIndex = 2;
    EXPECT_EQ(syntaxcheck::SelectedMethod(methods, s.devices), kSerialPollMethod);
    s.devices.SelectedDeviceIndex = 0;
    EXPECT_EQ(syntaxcheck::SelectedMethod(methods, s.devices), kNoMethod);
}

TEST_F(SyntaxCheck, StatusRegistersSetUpClearsTheDeviceThenEnablesCommandErrorsAndAnswers) {
    s.devices.SelectedAddress = 9;
    s.devices.ButtonHandles[1] = 33;
    driver.outcomes = {{bus::ERR, bus::ENOL}};
    syntaxcheck::SetUpStatusRegisters(s);
    EXPECT_EQ(calls(), (Calls{"DevClear(0,9)", "ibwrt(33,DESE 32)", "ibwrt(33,*ESE 32)",
                              "ibwrt(33,*SRE 48)"}));
    EXPECT_TRUE(boxes.shown().empty());
}

} // namespace
