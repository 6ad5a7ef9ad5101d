#include "core/Console.h"

#include "support/ScriptedDriver.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::ScriptedDriver;
using Calls = std::vector<std::string>;

struct ConsoleCore : ::testing::Test {
    ConsoleCore() {
        driver.listeners = {0, 5, 9};
        console.TakeBus();
        auto operation = console.beginOperation();
        console.SelectDevice(*operation, 1);
        driver.calls.clear();
    }
    ScriptedDriver driver;
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    core::Console console{driver, boxes, exit};
};

TEST_F(ConsoleCore, OneOperationAtATime) {
    auto first = console.beginOperation();
    ASSERT_TRUE(first);
    EXPECT_TRUE(console.busy());
    EXPECT_FALSE(console.beginOperation());
    {
        const auto moved = std::move(*first);
        first.reset();
        EXPECT_TRUE(console.busy());
    }
    EXPECT_FALSE(console.busy());
    EXPECT_TRUE(console.beginOperation());
}

TEST_F(ConsoleCore, UnderAMethodTheMessageIsFramedByClearingAndCheck) {
    auto operation = console.beginOperation();
    console.SetSelectedMethod(*operation, syntaxcheck::kSerialPollMethod);
    driver.calls.clear();
    driver.pollBytes = {0, 97};
    console.PreWriteClearing(*operation);
    EXPECT_TRUE(console.WriteMessage(*operation, u"BAD"));
    EXPECT_TRUE(console.session().ErrorFlag);
    EXPECT_EQ(driver.calls, (Calls{"ibrsp(32)", "ibwrt(32,BAD)", "ibask(32,3)", "ibtmo(32,10)",
                                   "ibwait(32,18432)", "ibtmo(32,12)", "ibrsp(32)"}));

    // Without a method, nothing but the write.
    console.SetSelectedMethod(*operation, syntaxcheck::kNoMethod);
    driver.calls.clear();
    console.PreWriteClearing(*operation);
    EXPECT_FALSE(console.WriteMessage(*operation, u"*RST"));
    EXPECT_EQ(driver.calls, (Calls{"ibwrt(32,*RST)"}));
}

TEST_F(ConsoleCore, AWriteCutShortWithoutAnErrorIsReportedAsOne) {
    driver.writeCount = 3;
    boxes.answerNext(platform::Answer::Ok);
    auto operation = console.beginOperation();
    console.WriteMessage(*operation, u"*IDN?");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, u"GPIB ERROR # 6");
    EXPECT_TRUE(console.session().ErrorFlag);
}

TEST_F(ConsoleCore, FileTransfersRunUnderTheLongTimeOutAndRestoreTheStandingOne) {
    auto operation = console.beginOperation();
    driver.outcomes = {{}, {}, {}, {bus::ERR | bus::TIMO, bus::EABO}};
    const bus::TransferOutcome received = console.ReceiveFile(*operation, u"a.dat");
    EXPECT_TRUE(received.timedOut());
    console.SendFile(*operation, u"b.dat");
    EXPECT_EQ(driver.calls,
              (Calls{"ibask(32,3)", "ibtmo(32,15)", "ibwait(32,16640)", "ibrdfA(32,a.dat)",
                     "ibtmo(32,12)", "ibask(32,3)", "ibtmo(32,15)", "ibwait(32,16640)",
                     "ibwrtfA(32,b.dat)", "ibtmo(32,12)"}));
}

TEST_F(ConsoleCore, ReleasingTheBusReturnsTheDevicesToLocalAndSaysNothing) {
    driver.outcomes = {{bus::ERR, bus::ECIC}, {bus::ERR, bus::EARG}};
    console.ReleaseBus();
    EXPECT_EQ(driver.calls, (Calls{"ibsre(0,0)", "ibonl(32,0)"}));
    EXPECT_TRUE(boxes.shown().empty());
}

} // namespace
