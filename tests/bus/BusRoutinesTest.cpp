#include "bus/BusErrors.h"
#include "bus/DeviceIo.h"
#include "platform/Text8.h"
#include "support/ScriptedDriver.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using platform::Answer;
using testing_support::ProgramEnded;
using testing_support::ScriptedDriver;
using testing_support::utf8;

namespace {

struct BusRoutines : ::testing::Test, testing_support::ScriptedSession {
    BusRoutines() {
        s.binding.ibpad(32, 5); // registers
        driver.calls.clear();
    }
    std::string box(std::size_t i = 0) const {
        return i < boxes.shown().size()
                   ? utf8(boxes.shown()[i].title) + "|" + utf8(boxes.shown()[i].text)
                   : "";
    }
};

} // namespace

// One known code is in the box below; any other code gets the common text,
// and the driver's own slips of spelling stay as operators know them.
TEST_F(BusRoutines, BusErrorBoxNamesTheCodeAndOkGoesOnWithTheFlagSet) {
    EXPECT_EQ(utf8(bus::BusErrorText(8)), "Unknown error.");
    EXPECT_EQ(utf8(bus::BusErrorText(14)), "GPIB bus eror.");
    bus::ReportBusError(s);
    EXPECT_TRUE(boxes.shown().empty()) << "no ERR, no box";
    driver.outcomes = {{bus::ERR, bus::ENOL}};
    s.binding.ibpad(32, 5);
    bus::ReportBusError(s);
    EXPECT_EQ(box(), "GPIB ERROR # 2|No listener on write function.\nSelect OK to continue or "
                     "Cancel to terminate program.");
    EXPECT_EQ(boxes.shown()[0].buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(boxes.shown()[0].icon, platform::Icon::Exclamation);
    EXPECT_TRUE(s.ErrorFlag);
    boxes.answerNext(Answer::Cancel);
    EXPECT_THROW(bus::ReportBusError(s), ProgramEnded);
}

TEST_F(BusRoutines, ANullDescriptorEndsTheProgramBeforeAnyIo) {
    EXPECT_THROW(bus::WriteChecked(s, 0, u"*IDN?"), ProgramEnded);
    EXPECT_THROW(bus::ReadResponse(s, 0), ProgramEnded);
    EXPECT_EQ(driver.calls, std::vector<std::string>{});
    EXPECT_EQ(box(1), "Device Error|Device not configured.\n\nCorrect problem and restart.");
    EXPECT_EQ(boxes.shown()[1].icon, platform::Icon::Critical);
}

TEST_F(BusRoutines, WriteCheckedWritesUnchangedAndClearsOrSetsTheFlag) {
    s.ErrorFlag = true;
    bus::WriteChecked(s, 32, u"*IDN?\r\n");
    EXPECT_EQ(driver.calls.back(), "ibwrt(32,*IDN?\r\n)");
    EXPECT_FALSE(s.ErrorFlag);
    driver.outcomes = {{bus::ERR, bus::ENOL}};
    bus::WriteChecked(s, 32, u"*RST");
    EXPECT_TRUE(s.ErrorFlag);
    EXPECT_EQ(boxes.shown().size(), 1u);
    driver.writeCount = 4; // one byte short without an error: reported as a time-out
    bus::WriteChecked(s, 32, u"*IDN?");
    EXPECT_EQ(box(1).substr(0, 15), "GPIB ERROR # 6|");
}

TEST(CleanAnswer, TrimsSpacesAndTrailingLineEnds) {
    // clang-format off
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"1.234\r\n", u"1.234"}, {u"\n", u""}, {u"  x  ", u"x"}, {u"a\r\n\r\n", u"a\r"},
        {u"   ", u""}, {u"ab\nX", u"ab"}, {u" \t1\t ", u"\t1\t"}, {u"a\0b\xFF\n"s, u"a\0b\xFF"s}};
    // clang-format on
    for (const auto& [in, out] : cases)
        EXPECT_EQ(bus::CleanAnswer(in), out) << utf8(in);
}

// The read waits for completion and runs under T10s; the standing time-out
// is put back in every case. What else goes out around it is the console's.
TEST_F(BusRoutines, ReadResponseReadsUnderT10sAndRestoresTheStandingTimeOut) {
    for (const std::int32_t standing : {bus::T3s, bus::T10s}) {
        driver.timeout = standing;
        driver.calls.clear();
        bus::ReadResponse(s, 32);
        std::int32_t underRead = standing; // followed through the calls up to the read
        std::string beforeRead;
        for (const std::string& call : driver.calls) {
            if (call == "ibrd(32,512)") break;
            if (call.starts_with("ibtmo(32,")) underRead = std::stoi(call.substr(9));
            beforeRead = call;
        }
        EXPECT_EQ(underRead, bus::T10s) << standing;
        EXPECT_EQ(beforeRead, "ibwait(32,16640)");
        EXPECT_EQ(driver.calls.back(), "ibtmo(32," + std::to_string(standing) + ")");
    }
}

TEST(BlockHeader, ParsesDefiniteLengthHeadersOnly) {
    // answer → header size and length, or -1 for none
    const std::pair<std::string, std::pair<int, int>> cases[] = {
        {"#15hello", {3, 5}}, {"#41000", {6, 1000}}, {"#3012x", {5, 12}}, {"#H1F", {-1, 0}},
        {"#4100", {-1, 0}},   {"1,2,3", {-1, 0}},    {"#2a5", {-1, 0}}};
    for (const auto& [answer, expected] : cases) {
        const auto header = bus::ParseBlockHeader(std::string_view(answer));
        const std::pair<int, int> got{header ? static_cast<int>(header->headerSize) : -1,
                                      header ? static_cast<int>(header->length) : 0};
        EXPECT_EQ(got, expected) << answer;
    }
}

// Chunks the driver delivers → the answer, or "" with the box. A block
// answer keeps its bytes (line ends and spaces inside it are data), is read
// on past an END-less chunk, and is reported when short or long.
TEST_F(BusRoutines, ReadResponseJoinsChunksUpToEndKeepsBlocksWholeAndFailsWhole) {
    using Chunks = std::deque<ScriptedDriver::Chunk>;
    struct Case {
        Chunks chunks;
        std::string answer;
        std::string box;
        std::size_t unread = 0; // no read after a failure
    };
    const std::string ioError = "I/O Error|Read cycle failed\nOperation aborted.";
    const Case cases[] = {
        {{{"1.234\r\n"}}, "1.234", ""},
        {{{std::string(512, 'A'), 0}, {"BC\n"}}, std::string(512, 'A') + "BC", ""},
        {{{"12", 0}, {"34\n"}}, "1234", ""}, // a short chunk before the last leaves no padding
        {{{"\x00\xFF\r\n\x01z\n"s}}, "\0\xFF\r\n\x01z"s, ""},
        {{{std::string(512, 'x'), 0}}, "", ioError}, // then a time-out
        {{{"partial", bus::ERR, bus::ENOL}, {"never read\n"}}, "", ioError, 1},
        {{{"#2", 0}}, "", ioError}, // a time-out inside a block fails as ever
        {{{"#14\r\n \n\n"}}, "#14\r\n \n", ""},
        {{{"#"s, 0}, {"15\0\xFF\r\n"s, 0}, {"\n\r\n"s}}, "#15\0\xFF\r\n\n"s, ""},
        {{{"#15ab\n"}},
         "#15ab\n",
         "Block Length Error|The answer announced a block of 5 bytes but ended after 3 of them."},
        {{{"#12ab;X\n"}},
         "#12ab;X",
         "Block Length Error|The answer announced a block of 2 bytes but 2 more bytes came after "
         "it."},
        {{{"#0 raw \n"}}, "#0 raw ", ""}};
    for (const auto& c : cases) {
        driver.reads = c.chunks;
        boxes.clear();
        EXPECT_EQ(bus::ReadResponse(s, 32), platform::fromBytes(c.answer));
        EXPECT_EQ(box(), c.box) << c.answer;
        EXPECT_EQ(driver.reads.size(), c.unread) << c.answer;
    }
}
