#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"
#include "bus/sim/Syntax.h"
#include "support/Talk.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

namespace {

namespace syntax = bus::sim::syntax;
using testing_support::kTimeout;
using testing_support::Talk;

// Header matching shows in the answers below (short and long forms, any
// case, optional nodes, numeric suffixes, unknown headers).
TEST(Syntax, NumbersAreWholeDecimalNumbersOnly) {
    EXPECT_EQ(syntax::parseNumber("+1.5E3"), 1500.0);
    EXPECT_EQ(syntax::parseNumber(".5"), 0.5);
    for (std::string_view bad : {"", "+", "1.0V", "1 2", "nan", "inf", "0x10"})
        EXPECT_FALSE(syntax::parseNumber(bad)) << bad;
}

TEST(Bench, InstrumentsAnswerDeterministically) {
    // clang-format off
    const std::tuple<int, std::string_view, std::string_view> cases[] = {
        {5, "MEAS:VOLT:DC?;measure:voltage?;MEAS:VOLT:AC?;MEAS:CURR?;MEAS:RES?;MEAS:FREQ?",
            "+1.23456780E+00;+1.23456780E+00;+7.07106800E-01;+1.25000000E-03;+1.00037000E+03;"
            "+1.00000000E+03\n"},
        {5, "CONF:RES;READ?;CONF:VOLT:DC 0.1;READ?", "+1.00037000E+03;+9.90000000E+37\n"},
        {5, "CONF?;CONF:CURR:AC 1;CONF?;VOLT:NPLC 1;VOLT:NPLC?",
            "\"VOLT AUTO\";\"CURR:AC +1.000000E+00\";+1.000000E+00\n"},
        {5, "*IDN?;*OPC?;*ESE?;*ESE 4;*ESE?;*SRE 255;*SRE?;*TST?",
            "Vireon Sim,VDM-6500,SN000005,1.04.2;1;0;4;191;0\n"},
        {5, "*ESE 300;SYST:ERR?;*ESE;SYST:ERR?;*IDN? 1;SYST:ERR?",
            "-222,\"Data out of range\";-109,\"Missing parameter\";"
            "-108,\"Parameter not allowed\"\n"},
        {5, "*CLS;ID?;*ESR?;DESE 32;*ESR?", "32;32\n"},
        {5, "*CLS;*ESE 32;*SRE 32;BOGUS;*STB?;*CLS;*OPC;*ESR?;*STB?", "96;1;0\n"},
        {22, "CH1:SCALE?;:ch2:sca 0.5;:ch2:sca?;:CH1:COUP AC;:CH1:COUP?;:HOR:MAIN:SCALE?;"
             ":HOR:RECO?",
             "2.5000E-01;5.0000E-01;AC;5.0000E-04;20000\n"},
        {22, "MEASU:IMM:VAL?;:MEASU:IMM:TYP?;:MEASU:IMM:SOU?", "1.0000E+03;FREQUENCY;CH1\n"},
        {22, "MEASU:IMM:TYP PK2;:MEASU:IMM:SOU CH2;:MEASU:IMM:VAL?;:MEASU:IMM:TYP PERI;"
             ":MEASU:IMM:UNI?;:MEASU:IMM:SOU CH3;:MEASU:IMM:VAL?", "1.0000E+00;\"s\";9.9100E+37\n"},
        {22, "DAT:ENC RIB;:DAT:STAR 61;:DAT:STOP 62;:CURV?", "#12\t\n\n"},
        {22, "DAT:STAR 61;:DAT:STOP 62;:CURVE?;:DAT:STAR 3001;:DAT:STOP 3001;:CURVE?",
             "9,10;-100\n"},
        {22, "DAT:WID 2;:DAT:ENC RIB;:DAT:STAR 61;:DAT:STOP 62;:CURV?;:DAT:WID?",
             std::string_view("#14\t\0\n\0;2\n", 10)},
        {22, "ACQ:STATE STOP;:ACQ:STATE?;:DESE 32;:DESE?", "0;32\n"},
        {22, "DESE 0;*CLS;BOGUS;*ESR?;DESE 255;BOGUS;*ESR?", "0;32\n"},
        {22, "CH5:SCALE?;SYST:ERR?", "-113,\"Undefined header\"\n"},
        {22, "CH1:SCALE 100;SYST:ERR?", "-222,\"Data out of range\"\n"},
        {22, "CH1:COUP XYZ;SYST:ERR?", "-141,\"Invalid character data\"\n"},
        // *RST restores settings, not status: 160 is power-on and command error.
        {22, "*ESE 32;*SRE 48;CH1:SCA 1;BOGUS;*RST;CH1:SCA?;*ESE?;*SRE?;*ESR?",
             "2.5000E-01;32;48;160\n"},
        {9, "SET?", "FREQ 1.000E+03;AMPL 1.000E+00;OFFS 0.000E+00;FUNC SINE;OUT OFF\n"},
        {9, "freq 2e4;ampl 2.5;func squ;out on;OFFS -1.5;SET?",
            "FREQ 2.000E+04;AMPL 2.500E+00;OFFS -1.500E+00;FUNC SQUARE;OUT ON\n"},
        {9, "FUNC TRI;INIT;FUNC?", "FUNC SINE\n"}, {9, "*IDN?", kTimeout}};
    // clang-format on
    for (const auto& [address, message, answer] : cases) {
        const auto bench = bus::SimulatedBus::defaultBench(); // each from power-on
        EXPECT_EQ(Talk(*bench).ask(address, message), answer) << message;
    }
    const auto bench = bus::SimulatedBus::defaultBench();
    Talk talk(*bench);
    const std::string curve = talk.ask(22, "CURVE?");
    EXPECT_GT(curve.size(), 40000u);
    EXPECT_EQ(curve.find('\n'), curve.size() - 1);
    EXPECT_EQ(talk.ask(22, "CURVE?"), curve);
}

// A record of 100 million points is made as it is read: the answer waits
// whole in the output queue at once, and reading it goes on from where the
// last chunk ended.
TEST(Bench, LongRecordsAreMadeAsTheyAreRead) {
    const auto bench = bus::SimulatedBus::defaultBench();
    Talk talk(*bench);
    const std::int32_t ud = talk.open(22);
    talk.write(ud, "HOR:RECO 1E8;:DAT:STOP 100000000;:DAT:ENC RIB;:CURV?");
    EXPECT_EQ(bench->instrument(22)->outputSize(), 100'000'012u);
    char head[16] = {};
    bench->ibrd(ud, head, 11);
    EXPECT_EQ(std::string(head, 11), "#9100000000");
    bench->DevClear(0, 22);
    EXPECT_EQ(talk.ask(22, "DAT:ENC ASCI;:DAT:STAR 99999999;:CURV?"), "0,0\n");
}

// The status byte after each message, the way the console sets the devices
// up for checking: device clear, "DESE 32", "*ESE 32", "*SRE 48", then "*CLS"
// before the messages. A poll with RQS (64) is exactly one that ibwait saw
// coming; it clears RQS until the next request.
TEST(Bench, StatusBytesAfterEachMessage) {
    const auto bench = bus::SimulatedBus::defaultBench();
    Talk talk(*bench);
    struct Case {
        int address;
        std::vector<std::string_view> messages;
        std::vector<int> polls;
    };
    // clang-format off
    const Case cases[] = {
        {5, {"NO:SUCH:COMMAND 1"}, {96, 32}}, {5, {"*IDN?;BOGUS?"}, {112}}, {5, {"*IDN?"}, {80}},
        {5, {"*ESE 32"}, {0}}, {5, {"ID?\r\n"}, {96}}, {22, {"*IDN?;BOGUS", "ID?", "*CLS"}, {0}},
        {9, {"FREQ 1E12"}, {97, 0}}, {9, {"ID?;WHAT"}, {113, 0}}, {9, {"*IDN?"}, {97}},
        {9, {"FREQ 2.5E3;FREQ?"}, {0}}};
    // clang-format on
    for (const Case& c : cases) {
        const std::int32_t ud = talk.open(c.address);
        bench->DevClear(0, static_cast<bus::Addr4882>(c.address));
        for (std::string_view m : {"DESE 32", "*ESE 32", "*SRE 48", "*CLS"})
            if (c.address != 9) talk.write(ud, m); // the older instrument knows none of these
        for (std::string_view m : c.messages)
            talk.write(ud, m);
        for (const int expected : c.polls) {
            const bool waited = (bench->ibwait(ud, bus::TIMO | bus::RQS) & bus::RQS) != 0;
            EXPECT_EQ(talk.poll(ud), expected) << c.messages[0];
            EXPECT_EQ(waited, (expected & 64) != 0) << c.messages[0];
        }
    }
}

// A message that begins while an answer waits unread, or part-read,
// interrupts it: the rest is gone, MAV falls as the message begins, and the
// query error is set with -410. Blanks alone begin no message; messages in
// one write are messages each.
TEST(Bench, ANewMessageInterruptsAnUnreadAnswer) {
    const auto bench = bus::SimulatedBus::defaultBench();
    Talk t(*bench);
    const std::int32_t ud = t.open(22);
    t.write(ud, "*CLS");
    t.write(ud, "CURV?");
    char part[512];
    bench->ibrd(ud, part, sizeof part);
    t.write(ud, "\r\n");
    EXPECT_EQ(t.poll(ud), 16) << "the rest of the curve waits";
    t.write(ud, "*ESE 4");
    EXPECT_EQ(t.poll(ud), 32) << "no message available; the query error is an enabled event";
    EXPECT_EQ(t.ask(22, "SYST:ERR?;*ESR?"), "-410,\"Query INTERRUPTED\";4\n");
    EXPECT_EQ(t.ask(22, "*IDN?\n*ESR?"), "4\n");
}

// The error queue, as a verdict drains it: ten errors oldest first, the last
// place taken by the overflow; reading leaves the event register alone, and
// *CLS empties both. Both IEEE 488.2 instruments share it.
TEST(Bench, TheErrorQueueHoldsTenErrorsUntilReadOrCleared) {
    const auto bench = bus::SimulatedBus::defaultBench();
    Talk t(*bench);
    std::string bad = "*CLS", drain = "SYST:ERR?", expected;
    for (int i = 0; i < 11; ++i) {
        bad += ";BOGUS";
        if (i < 10) drain += ";SYSTem:ERRor:NEXT?";
        if (i < 9) expected += "-113,\"Undefined header\";";
    }
    t.write(t.open(22), bad);
    EXPECT_EQ(t.ask(22, drain), expected + "-350,\"Queue overflow\";0,\"No error\"\n");
    EXPECT_EQ(t.ask(22, "*ESR?"), "40\n") << "a command error, and the queue's overflow";
    EXPECT_EQ(t.ask(22, "CH9:NOPE;*CLS;SYST:ERR?;*ESR?"), "0,\"No error\";0\n");
}

// The older instrument knows nothing of that: its answers wait in order until
// read, up to what its output queue holds, and the rest is a rejected message.
TEST(Bench, TheOlderInstrumentKeepsItsAnswersUntilTheQueueIsFull) {
    const auto bench = bus::SimulatedBus::defaultBench();
    Talk t(*bench);
    const std::int32_t ud = t.open(9);
    t.write(ud, "FREQ?");
    EXPECT_EQ(t.ask(9, "AMPL?"), "FREQ 1.000E+03\n");
    EXPECT_EQ(t.ask(9, ""), "AMPL 1.000E+00\n");
    std::string many;
    while (many.size() < 400 * 1024)
        many += "SET?\n";
    t.write(ud, many);
    EXPECT_EQ(bench->instrument(9)->outputSize(), bus::sim::Instrument::kMaxOutput);
    EXPECT_EQ(t.poll(ud), 113) << "a rejected message, an answer waits";
}

} // namespace
