#include "syntaxcheck/SyntaxCheckConsole.h"

#include "bus/sim/Instrument.h"

#include <QJsonArray>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using console_testing::TraceCall;
using syntaxcheck::kSerialPollMethod;
using syntaxcheck::kStatusRegistersMethod;
using syntaxcheck_testing::BenchConsole;

const QString kIbrsp = QStringLiteral("ibrsp");
const QString kIbwrt = QStringLiteral("ibwrt");
const QString kIbrd = QStringLiteral("ibrd");

int count(const std::vector<QString>& ops, const QString& op) {
    return static_cast<int>(std::count(ops.begin(), ops.end(), op));
}

// The calls of the check after the message: the short wait, then the poll.
void expectCheckAfter(const std::vector<TraceCall>& calls, const QString& message) {
    const auto written = std::find_if(calls.begin(), calls.end(), [&](const TraceCall& call) {
        return call.op == QStringLiteral("ibwrt") && call.args.at(1).toString() == message;
    });
    ASSERT_NE(written, calls.end()) << message.toStdString() << " was not written";
    ASSERT_GE(calls.end() - written, 6);
    const auto at = [&](int i) { return *(written + i); };
    EXPECT_EQ(at(1).op, QStringLiteral("ibask"));
    EXPECT_EQ(at(2).op, QStringLiteral("ibtmo"));
    EXPECT_EQ(at(2).args.at(1).toInt(), bus::T300ms);
    EXPECT_EQ(at(3).op, QStringLiteral("ibwait"));
    EXPECT_EQ(at(3).args.at(1).toInt(), bus::TIMO | bus::RQS);
    EXPECT_EQ(at(4).op, QStringLiteral("ibtmo"));
    EXPECT_EQ(at(4).args.at(1).toInt(), bus::T3s);
    EXPECT_EQ(at(5).op, QStringLiteral("ibrsp"));
}

struct Bench : testing::Test {
    BenchConsole c;
};

TEST_F(Bench, StatusRegistersMethodFlagsARejectedQueryOfTheMultimeterAndReadsNothing) {
    c.chooseMethod(0, kStatusRegistersMethod);
    c.markTrace();
    c.send(QStringLiteral("MEAS:BOGUS?"));

    const auto calls = c.traceSinceMark();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].op, kIbwrt);
    EXPECT_EQ(calls[0].args.at(1).toString(), QStringLiteral("*CLS"));
    EXPECT_EQ(calls[1].op, kIbrsp);
    expectCheckAfter(calls, QStringLiteral("MEAS:BOGUS?"));
    EXPECT_EQ(count(c.opsSinceMark(), kIbrd), 0);
    EXPECT_TRUE(c.h.form().session().ErrorFlag);
    EXPECT_TRUE(c.h.form().Timer1().isActive());
    EXPECT_TRUE(c.view().isEmpty());

    c.waitForBlinkEnd();
    EXPECT_FALSE(c.h.form().Timer1().isActive());
    EXPECT_TRUE(c.errorLabel()->isVisible());
    EXPECT_EQ(c.check().blink().BlinkCount(), 0);
}

TEST_F(Bench, StatusRegistersMethodLetsAGoodQueryThroughAndReadsItsAnswer) {
    c.chooseMethod(0, kStatusRegistersMethod);
    c.markTrace();
    c.send(QStringLiteral("*IDN?"));

    expectCheckAfter(c.traceSinceMark(), QStringLiteral("*IDN?"));
    EXPECT_GT(count(c.opsSinceMark(), kIbrd), 0);
    EXPECT_FALSE(c.h.form().session().ErrorFlag);
    EXPECT_FALSE(c.h.form().Timer1().isActive());
    EXPECT_TRUE(c.errorLabel()->isHidden());
    EXPECT_TRUE(c.view().startsWith(QStringLiteral("05: Vireon Sim,VDM-6500")))
        << c.view().toStdString();
}

TEST_F(Bench, SerialPollMethodFlagsTheOlderInstrumentsRejectionAndReadsNothing) {
    c.chooseMethod(1, kSerialPollMethod);
    c.markTrace();
    c.send(QStringLiteral("FREQ?X"));

    const auto calls = c.traceSinceMark();
    ASSERT_FALSE(calls.empty());
    // No "*CLS" for an instrument that does not know it: the polls come first.
    EXPECT_EQ(calls[0].op, kIbrsp);
    expectCheckAfter(calls, QStringLiteral("FREQ?X"));
    EXPECT_EQ(count(c.opsSinceMark(), kIbrd), 0);
    EXPECT_TRUE(c.h.form().session().ErrorFlag);
    EXPECT_TRUE(c.h.form().Timer1().isActive());
    c.waitForBlinkEnd();
    EXPECT_TRUE(c.errorLabel()->isVisible());

    // The next message starts with the label hidden and the error drained.
    c.markTrace();
    c.send(QStringLiteral("ID?"));
    EXPECT_GT(count(c.opsSinceMark(), kIbrd), 0);
    EXPECT_FALSE(c.h.form().session().ErrorFlag);
    EXPECT_TRUE(c.errorLabel()->isHidden());
    EXPECT_TRUE(c.view().startsWith(QStringLiteral("09: ID VIREON SIM/VFG-209")))
        << c.view().toStdString();
}

TEST_F(Bench, TheStatusRegistersBytesOfTheOlderInstrumentAreNoErrorOfThatMethod) {
    // 97 means a rejection only under the serial poll method.
    c.chooseMethod(1, kStatusRegistersMethod);
    c.send(QStringLiteral("BOGUS"));
    EXPECT_FALSE(c.h.form().session().ErrorFlag);
    EXPECT_FALSE(c.h.form().Timer1().isActive());
}

TEST_F(Bench, WithoutAMethodNothingIsClearedOrChecked) {
    c.select(0);
    c.markTrace();
    c.send(QStringLiteral("MEAS:BOGUS?"));
    const auto ops = c.opsSinceMark();
    EXPECT_EQ(count(ops, kIbrsp), 0);
    EXPECT_EQ(count(ops, kIbwrt), 1);
    for (const TraceCall& call : c.traceSinceMark()) {
        if (call.op == QStringLiteral("ibwait")) {
            EXPECT_NE(call.args.at(1).toInt(), bus::TIMO | bus::RQS);
        }
    }
    EXPECT_FALSE(c.h.form().Timer1().isActive());
}

TEST_F(Bench, EachDeviceKeepsItsOwnMethod) {
    c.chooseMethod(1, kSerialPollMethod);
    c.select(0);
    c.markTrace();
    c.send(QStringLiteral("*RST"));
    EXPECT_EQ(count(c.opsSinceMark(), kIbrsp), 0);
}

// A device whose status byte never returns to 0.
class StuckStatus final : public bus::sim::Instrument {
    void execute(std::string_view) override {}
    std::uint8_t statusByte() const override { return 0x01; }
    bool serviceCondition() const override { return false; }
};

TEST(StuckDevice, CostsExactlyTwentyFivePollsAndTheMessageStillGoesOut) {
    auto bus = std::make_unique<bus::SimulatedBus>();
    bus->attach(7, std::make_unique<StuckStatus>());
    BenchConsole c(std::move(bus));
    c.chooseMethod(0, kSerialPollMethod);
    c.markTrace();
    c.send(QStringLiteral("GO"));

    const auto ops = c.opsSinceMark();
    const auto write = std::find(ops.begin(), ops.end(), kIbwrt);
    ASSERT_NE(write, ops.end());
    EXPECT_EQ(std::count(ops.begin(), write, kIbrsp), 25);
    EXPECT_EQ(c.writesSinceMark(), (std::vector<QString>{QStringLiteral("GO")}));
    EXPECT_FALSE(c.h.form().session().ErrorFlag);
}

TEST(VanishedDevice, ItsCheckEndsAtOnceWithoutAFalseError) {
    BenchConsole c;
    c.chooseMethod(1, kSerialPollMethod);
    c.h.bus().detach(9);
    c.h.boxes.clear();
    c.send(QStringLiteral("FREQ 100"));
    // The failed write is the operator's news; the check adds no error label.
    ASSERT_EQ(c.h.boxes.shown().size(), 1u);
    EXPECT_EQ(testing_support::utf8(c.h.boxes.shown().front().title), "GPIB ERROR # 2");
    EXPECT_FALSE(c.h.form().Timer1().isActive());
}

} // namespace
