#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"
#include "bus/sim/Syntax.h"

#include <gtest/gtest.h>

#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace syntax = bus::sim::syntax;

// ---------------------------------------------------------------------------
// Header and number syntax.

struct HeaderCase {
    std::string_view pattern;
    std::string_view header;
    bool matches;
    int suffix = 0;
};

class Headers : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(Headers, MatchShortOrLongFormInAnyCase) {
    const HeaderCase c = GetParam();
    int suffix = 0;
    EXPECT_EQ(syntax::headerMatches(c.pattern, c.header, suffix), c.matches);
    if (c.matches) {
        EXPECT_EQ(suffix, c.suffix);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Headers,
    ::testing::Values(HeaderCase{"MEASure:VOLTage:[DC]", "MEAS:VOLT:DC", true},
                      HeaderCase{"MEASure:VOLTage:[DC]", "measure:voltage", true},
                      HeaderCase{"MEASure:VOLTage:[DC]", ":Meas:Volt:Dc", true},
                      HeaderCase{"MEASure:VOLTage:[DC]", "MEASU:VOLT", false},
                      HeaderCase{"MEASure:VOLTage:[DC]", "MEAS:VOLTA", false},
                      HeaderCase{"MEASure:VOLTage:[DC]", "MEAS:VOLT:DC:X", false},
                      HeaderCase{"MEASure:VOLTage:[DC]", "MEAS", false},
                      HeaderCase{"MEASure:VOLTage:[DC]", "", false},
                      HeaderCase{"[SENSe]:VOLTage:[DC]:NPLCycles", "VOLT:NPLC", true},
                      HeaderCase{"[SENSe]:VOLTage:[DC]:NPLCycles", "sens:volt:dc:nplcycles", true},
                      HeaderCase{"HORizontal:[MAIn]:SCAle", "HOR:MAIN:SCALE", true},
                      HeaderCase{"HORizontal:[MAIn]:SCAle", "hor:sca", true},
                      HeaderCase{"CH#:SCAle", "CH2:SCA", true, 2},
                      HeaderCase{"CH#:SCAle", "ch14:scale", true, 14},
                      HeaderCase{"CH#:SCAle", "CH:SCALE", false}, HeaderCase{"*IDN", "*idn", true},
                      HeaderCase{"*IDN", "*IDNX", false},
                      HeaderCase{"MEASUrement:IMMed:VALue", "MEASU:IMM:VAL", true},
                      HeaderCase{"MEASUrement:IMMed:VALue", "MEAS:IMM:VAL", false}));

TEST(Numbers, ParseWholeDecimalNumbersOnly) {
    EXPECT_EQ(syntax::parseNumber("32"), 32.0);
    EXPECT_EQ(syntax::parseNumber("+1.5E3"), 1500.0);
    EXPECT_EQ(syntax::parseNumber("-2.5e-3"), -2.5e-3);
    EXPECT_EQ(syntax::parseNumber(".5"), 0.5);
    for (std::string_view bad : {"", "+", "abc", "1.0V", "1 2", "nan", "inf", "0x10"}) {
        EXPECT_FALSE(syntax::parseNumber(bad)) << bad;
    }
}

TEST(Numbers, FormatInTheInstrumentsExponentForm) {
    const auto format = [](double v, int digits, bool sign) {
        std::string out;
        syntax::appendExponent(out, v, digits, sign);
        return out;
    };
    EXPECT_EQ(format(1000, 4, false), "1.0000E+03");
    EXPECT_EQ(format(1.2345678, 8, true), "+1.23456780E+00");
    EXPECT_EQ(format(-5e-4, 4, false), "-5.0000E-04");
    EXPECT_EQ(format(-0.0, 4, false), "0.0000E+00");
    EXPECT_EQ(format(9.9e37, 8, true), "+9.90000000E+37");
}

// ---------------------------------------------------------------------------
// Instrument behaviour through the bus.

class Bench : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(bus->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    }

    std::string query(int address, std::string_view text) {
        const std::int32_t ud = bus->ibdev(0, address, 0, bus::T1s, 1, 0);
        bus->ibwrt(ud, text.data(), static_cast<std::int32_t>(text.size()));
        std::string answer;
        char buffer[512];
        for (;;) {
            bus->ibrd(ud, buffer, sizeof buffer);
            if (sta & bus::ERR) return answer;
            answer.append(buffer, static_cast<std::size_t>(cntl));
            if (sta & bus::END) return answer;
        }
    }

    std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench();
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};

struct QueryCase {
    int address;
    std::string_view message;
    std::string_view answer;
};

class Queries : public Bench, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(Queries, AnswerDeterministically) {
    const QueryCase c = GetParam();
    EXPECT_EQ(query(c.address, c.message), c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Multimeter, Queries,
    ::testing::Values(
        QueryCase{5, "MEAS:VOLT:DC?", "+1.23456780E+00\n"},
        QueryCase{5, "measure:voltage?", "+1.23456780E+00\n"},
        QueryCase{5, "MEAS:VOLT:AC?", "+7.07106800E-01\n"},
        QueryCase{5, "MEAS:CURR?", "+1.25000000E-03\n"},
        QueryCase{5, "MEAS:RES?", "+1.00037000E+03\n"},
        QueryCase{5, "MEAS:FREQ?", "+1.00000000E+03\n"},
        QueryCase{5, "CONF:RES;READ?", "+1.00037000E+03\n"},
        QueryCase{5, "CONF:VOLT:DC 0.1;READ?", "+9.90000000E+37\n"},
        QueryCase{5, "CONF?", "\"VOLT AUTO\"\n"},
        QueryCase{5, "CONF:CURR:AC 1;CONF?", "\"CURR:AC +1.000000E+00\"\n"},
        QueryCase{5, "VOLT:NPLC 1;VOLT:NPLC?", "+1.000000E+00\n"},
        QueryCase{5, "*IDN?;*OPC?;*ESE?", "Vireon Sim,VDM-6500,SN000005,1.04.2;1;0\n"},
        QueryCase{5, "*ESE 4;*ESE?", "4\n"}, QueryCase{5, "*SRE 255;*SRE?", "191\n"},
        QueryCase{5, "*TST?", "0\n"}, QueryCase{5, "SYST:ERR?", "0,\"No error\"\n"},
        QueryCase{5, "BOGUS;SYST:ERR?;SYST:ERR?", "-113,\"Undefined header\";0,\"No error\"\n"},
        QueryCase{5, "*ESE 300;SYST:ERR?", "-222,\"Data out of range\"\n"},
        QueryCase{5, "*ESE;SYST:ERR?", "-109,\"Missing parameter\"\n"},
        QueryCase{5, "*IDN? 1;SYST:ERR?", "-108,\"Parameter not allowed\"\n"}));

INSTANTIATE_TEST_SUITE_P(
    Oscilloscope, Queries,
    ::testing::Values(
        QueryCase{22, "CH1:SCALE?", "2.5000E-01\n"},
        QueryCase{22, "ch2:sca 0.5;ch2:sca?", "5.0000E-01\n"},
        QueryCase{22, "CH1:COUP AC;CH1:COUP?", "AC\n"},
        QueryCase{22, "HOR:MAIN:SCALE?", "5.0000E-04\n"}, QueryCase{22, "HOR:RECO?", "20000\n"},
        QueryCase{22, "MEASU:IMM:VAL?", "1.0000E+03\n"},
        QueryCase{22, "MEASU:IMM:TYP?;:MEASU:IMM:SOU?", "FREQUENCY;CH1\n"},
        QueryCase{22, "MEASU:IMM:TYP PK2;:MEASU:IMM:SOU CH2;:MEASU:IMM:VAL?", "1.0000E+00\n"},
        QueryCase{22, "MEASU:IMM:TYP PERI;:MEASU:IMM:UNI?", "\"s\"\n"},
        QueryCase{22, "MEASU:IMM:SOU CH3;:MEASU:IMM:VAL?", "9.9100E+37\n"},
        QueryCase{22, "DAT:ENC RIB;:DAT:STAR 61;:DAT:STOP 62;:CURV?", "#12\t\n\n"},
        QueryCase{22, "DAT:STAR 61;:DAT:STOP 62;:CURVE?", "9,10\n"},
        QueryCase{22, "DAT:STAR 3001;:DAT:STOP 3001;:CURVE?", "-100\n"},
        QueryCase{22, "ACQ:STATE STOP;:ACQ:STATE?", "0\n"}, QueryCase{22, "DESE 32;DESE?", "32\n"},
        QueryCase{22, "CH5:SCALE?;SYST:ERR?", "-113,\"Undefined header\"\n"},
        QueryCase{22, "CH1:SCALE 100;SYST:ERR?", "-222,\"Data out of range\"\n"},
        QueryCase{22, "CH1:COUP XYZ;SYST:ERR?", "-141,\"Invalid character data\"\n"}));

INSTANTIATE_TEST_SUITE_P(
    OlderInstrument, Queries,
    ::testing::Values(
        QueryCase{9, "SET?", "FREQ 1.000E+03;AMPL 1.000E+00;OFFS 0.000E+00;FUNC SINE;OUT OFF\n"},
        QueryCase{9, "freq 2e4;ampl 2.5;func squ;out on;SET?",
                  "FREQ 2.000E+04;AMPL 2.500E+00;OFFS 0.000E+00;FUNC SQUARE;OUT ON\n"},
        QueryCase{9, "OFFS -1.5;OFFS?", "OFFS -1.500E+00\n"},
        QueryCase{9, "FUNC TRI;INIT;FUNC?", "FUNC SINE\n"}, QueryCase{9, "*IDN?", ""}));

TEST_F(Bench, OscilloscopeCurveIsLongerThan40000Characters) {
    const std::string curve = query(22, "CURVE?");
    EXPECT_GT(curve.size(), 40000u);
    EXPECT_EQ(curve.back(), '\n');
    EXPECT_EQ(curve.find('\n'), curve.size() - 1);
    EXPECT_EQ(query(22, "CURVE?"), curve) << "the same every time";
}

TEST_F(Bench, AnOverfullOutputQueueKeepsWhatFitsAndIsAQueryError) {
    query(22, "*ESE 4");
    // Many queries in one message, and many messages in one write.
    std::string curves;
    while (curves.size() + 12 <= 64 * 1024)
        curves += "CURV?;CURV?\n";
    const std::int32_t ud = bus->ibdev(0, 22, 0, bus::T1s, 1, 0);
    bus->ibwrt(ud, curves.data(), static_cast<std::int32_t>(curves.size()));
    EXPECT_EQ(bus->instrument(22)->outputSize(), bus::sim::Instrument::kMaxOutput);
    char status = 0;
    bus->ibrsp(ud, &status);
    EXPECT_EQ(status, 48) << "an answer waits and the query error is an enabled event";
}

TEST_F(Bench, ResetRestoresSettingsButNotStatus) {
    EXPECT_EQ(query(22, "*ESE 32;*SRE 48;CH1:SCA 1;BOGUS;*RST;CH1:SCA?;*ESE?;*SRE?;*ESR?"),
              "2.5000E-01;32;48;160\n")
        << "160: power-on and command error";
}

TEST_F(Bench, StatusByteQueryShowsTheSummary) {
    EXPECT_EQ(query(5, "*CLS;*ESE 32;*SRE 32;BOGUS;*STB?"), "96\n");
    EXPECT_EQ(query(5, "*CLS;*STB?"), "0\n");
    EXPECT_EQ(query(5, "*OPC;*ESR?"), "1\n");
}

// ---------------------------------------------------------------------------
// Message framing, seen by a device that records what it gets.

class Recorder final : public bus::sim::Instrument {
public:
    std::vector<std::string> messages;
    int tooLong = 0;
    bool lost = false;

private:
    void execute(std::string_view message) override {
        if (message == "FAIL\n") throw std::bad_alloc();
        messages.emplace_back(message);
    }
    void outOfMemory() override { lost = true; }
    std::uint8_t statusByte() const override { return 0; }
    bool serviceCondition() const override { return false; }
    std::size_t maxMessageLength() const override { return 8; }
    void messageTooLong() override { ++tooLong; }
};

TEST(Framing, LineFeedOrEoiEndsAMessage) {
    Recorder r;
    r.receive("A\nBC", false);
    r.receive("D", false);
    r.receive("E", true);
    r.receive("F\nG\n", true);
    EXPECT_EQ(r.messages, (std::vector<std::string>{"A\n", "BCDE", "F\n", "G\n"}));
}

TEST(Framing, OverlongMessagesAreDroppedWhole) {
    Recorder r;
    r.receive("0123", false);
    r.receive("45678", false);
    r.receive("9\nok\n", false);
    r.receive("0123456789", true);
    EXPECT_EQ(r.messages, (std::vector<std::string>{"ok\n"}));
    EXPECT_EQ(r.tooLong, 2);
}

TEST(Framing, AMessageThatRunsOutOfMemoryIsDroppedNotThrown) {
    Recorder r;
    EXPECT_NO_THROW(r.receive("FAIL\n", true));
    r.receive("ok\n", true);
    EXPECT_TRUE(r.lost);
    EXPECT_EQ(r.messages, (std::vector<std::string>{"ok\n"}));
}

TEST(OutputQueue, AnswersAreReadInOrderEachWithItsEnd) {
    Recorder r;
    r.queueOutput("one\n");
    r.queueOutput("");
    r.queueOutput("two\n");
    EXPECT_EQ(r.outputSize(), 8u);
    char buffer[16];
    bool end = false;
    EXPECT_EQ(r.talk(buffer, 16, end), 4u);
    EXPECT_TRUE(end);
    EXPECT_EQ(r.talk(buffer, 2, end), 2u);
    EXPECT_FALSE(end);
    EXPECT_EQ(r.talk(buffer, 16, end), 2u);
    EXPECT_TRUE(end);
    EXPECT_FALSE(r.hasOutput());
    EXPECT_EQ(r.talk(buffer, 16, end), 0u);
    EXPECT_FALSE(end);
}

} // namespace
