#include "syntaxcheck/SyntaxCheck.h"

#include "support/ScriptedDriver.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using syntaxcheck::kNoMethod;
using syntaxcheck::kSerialPollMethod;
using syntaxcheck::kStatusRegistersMethod;
using testing_support::ProgramEnded;
using testing_support::ScriptedDriver;
using testing_support::utf8;

// A session on a scripted driver with the descriptor open at address 5.
struct ScriptedSession : testing::Test {
    ScriptedSession() {
        s.devices.ListenerAddresses = {2, 5, 9};
        s.devices.DeviceHandle = 32;
        s.devices.ButtonHandles[1] = 32;
        s.devices.SelectedDeviceIndex = 1;
        s.devices.SelectedAddress = 5;
    }
    // The calls after the lazy registration.
    std::vector<std::string> calls() const {
        std::vector<std::string> c;
        for (const std::string& call : driver.calls)
            if (call.find("GpibGlobalsForThread") == std::string::npos) c.push_back(call);
        return c;
    }

    ScriptedDriver driver;
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    bus::BusSession s{driver, boxes, exit};
};

using PreWriteClearing = ScriptedSession;

TEST_F(PreWriteClearing, StatusRegistersMethodClearsThenPollsUntilTheStatusByteIsZero) {
    driver.pollBytes = {96, 64, 0, 80};
    EXPECT_EQ(syntaxcheck::PreWriteClearing(s, kStatusRegistersMethod), 3);
    EXPECT_EQ(calls(),
              (std::vector<std::string>{"ibwrt(32,*CLS)", "ibrsp(32)", "ibrsp(32)", "ibrsp(32)"}));
    EXPECT_FALSE(s.ErrorFlag);
}

TEST_F(PreWriteClearing, SerialPollMethodOnlyPolls) {
    driver.pollBytes = {97, 0};
    EXPECT_EQ(syntaxcheck::PreWriteClearing(s, kSerialPollMethod), 2);
    EXPECT_EQ(calls(), (std::vector<std::string>{"ibrsp(32)", "ibrsp(32)"}));
}

TEST_F(PreWriteClearing, AStatusByteThatNeverClearsCostsExactlyTwentyFivePolls) {
    driver.pollBytes.assign(40, 0x41);
    EXPECT_EQ(syntaxcheck::PreWriteClearing(s, kSerialPollMethod), 25);
    EXPECT_EQ(driver.count("ibrsp"), 25);
}

TEST_F(PreWriteClearing, FailuresAreNeitherReportedNorFlagged) {
    driver.outcomes = {{bus::ERR, bus::ENOL}, {bus::ERR | bus::TIMO, bus::EABO}};
    syntaxcheck::PreWriteClearing(s, kStatusRegistersMethod);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(s.ErrorFlag);
}

// Method, status byte, whether it means the message was rejected.
using StatusCase = std::tuple<std::int16_t, std::int16_t, bool>;
class RejectedStatusBytes : public testing::TestWithParam<StatusCase> {};

TEST_P(RejectedStatusBytes, EachMethodCountsOnlyItsOwnErrorBytes) {
    const auto [method, status, rejected] = GetParam();
    EXPECT_EQ(syntaxcheck::IsSyntaxError(method, status), rejected);
}

INSTANTIATE_TEST_SUITE_P(Table, RejectedStatusBytes,
                         testing::Values(StatusCase{kStatusRegistersMethod, 96, true},
                                         StatusCase{kStatusRegistersMethod, 112, true},
                                         StatusCase{kStatusRegistersMethod, 97, false},
                                         StatusCase{kStatusRegistersMethod, 113, false},
                                         StatusCase{kStatusRegistersMethod, 80, false},
                                         StatusCase{kStatusRegistersMethod, 32, false},
                                         StatusCase{kStatusRegistersMethod, 0, false},
                                         StatusCase{kSerialPollMethod, 97, true},
                                         StatusCase{kSerialPollMethod, 113, true},
                                         StatusCase{kSerialPollMethod, 96, false},
                                         StatusCase{kSerialPollMethod, 112, false},
                                         StatusCase{kSerialPollMethod, 33, false},
                                         StatusCase{kSerialPollMethod, 0, false},
                                         StatusCase{kSerialPollMethod, 225, false}));

using CheckSyntax = ScriptedSession;

TEST_F(CheckSyntax, WaitsUnderAShortTimeOutAndGivesTheStandingOneBack) {
    driver.timeout = bus::T3s;
    driver.pollBytes = {96};
    EXPECT_TRUE(syntaxcheck::CheckSyntax(s, 32, kStatusRegistersMethod));
    EXPECT_EQ(calls(), (std::vector<std::string>{"ibask(32,3)", "ibtmo(32,10)", "ibwait(32,18432)",
                                                 "ibtmo(32,12)", "ibrsp(32)"}));
    EXPECT_EQ(driver.timeout, bus::T3s);
    // The caller decides what a rejected message means for the answer.
    EXPECT_FALSE(s.ErrorFlag);
}

TEST_F(CheckSyntax, AStandingShortTimeOutIsLeftAlone) {
    driver.timeout = bus::T300ms;
    driver.pollBytes = {97};
    EXPECT_TRUE(syntaxcheck::CheckSyntax(s, 32, kSerialPollMethod));
    EXPECT_EQ(driver.count("ibtmo"), 0);
    EXPECT_EQ(driver.count("ibwait(32,18432)"), 1);
}

TEST_F(CheckSyntax, AnAcceptedQueryPasses) {
    driver.timeout = bus::T10s;
    driver.pollBytes = {80};
    EXPECT_FALSE(syntaxcheck::CheckSyntax(s, 32, kStatusRegistersMethod));
    EXPECT_EQ(calls().back(), "ibrsp(32)");
    EXPECT_EQ(driver.timeout, bus::T10s);
}

TEST_F(CheckSyntax, AWaitThatTimesOutIsNormalAndNothingIsReported) {
    driver.timeout = bus::T3s;
    driver.outcomes = {{}, {}, {bus::ERR | bus::TIMO, bus::EABO}};
    driver.pollBytes = {0};
    EXPECT_FALSE(syntaxcheck::CheckSyntax(s, 32, kStatusRegistersMethod));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_EQ(driver.timeout, bus::T3s);
}

TEST_F(CheckSyntax, WithoutADescriptorTheProgramEnds) {
    try {
        syntaxcheck::CheckSyntax(s, 0, kStatusRegistersMethod);
        FAIL() << "the program went on";
    } catch (const ProgramEnded& ended) {
        EXPECT_EQ(ended.exitCode, bus::kExitDeviceNotConfigured);
    }
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(boxes.shown().front().text),
              "Device not configured.\n\nCorrect problem and restart.");
    EXPECT_TRUE(calls().empty());
}

using SelectedMethod = ScriptedSession;

TEST_F(SelectedMethod, FollowsTheSelectionAndIsNoneWithoutOne) {
    syntaxcheck::DeviceSyntaxMethodTable methods{};
    methods[2] = kSerialPollMethod;
    s.devices.SelectedDeviceIndex = 2;
    EXPECT_EQ(syntaxcheck::SelectedMethod(methods, s.devices), kSerialPollMethod);
    s.devices.SelectedDeviceIndex = 1;
    EXPECT_EQ(syntaxcheck::SelectedMethod(methods, s.devices), kNoMethod);
    methods[0] = kStatusRegistersMethod; // never used
    s.devices.SelectedDeviceIndex = 0;
    EXPECT_EQ(syntaxcheck::SelectedMethod(methods, s.devices), kNoMethod);
}

using SetUpStatusRegisters = ScriptedSession;

TEST_F(SetUpStatusRegisters, ClearsTheDeviceThenEnablesOnlyCommandErrorsAndAnswers) {
    s.devices.SelectedAddress = 9;
    s.devices.ButtonHandles[1] = 33;
    driver.outcomes = {{bus::ERR, bus::ENOL}};
    syntaxcheck::SetUpStatusRegisters(s);
    EXPECT_EQ(calls(), (std::vector<std::string>{"DevClear(0,9)", "ibwrt(33,DESE 32)",
                                                 "ibwrt(33,*ESE 32)", "ibwrt(33,*SRE 48)"}));
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_FALSE(s.ErrorFlag);
}

} // namespace
