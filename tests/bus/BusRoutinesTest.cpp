#include "bus/BusErrors.h"
#include "bus/DeviceIo.h"
#include "support/ScriptedDriver.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

using platform::Answer;
using testing_support::ProgramEnded;
using testing_support::ScriptedDriver;
using testing_support::utf8;

namespace {

struct Fixture : ::testing::Test {
    ScriptedDriver driver;
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    bus::BusSession s{driver, boxes, exit};

    void failNextCall(std::int32_t err) { driver.outcomes.push_back({bus::ERR, err}); }
};

using BusErrors = Fixture;
using WriteChecked = Fixture;
using ReadResponse = Fixture;

} // namespace

TEST(BusErrorText, KnownAndUnknownCodes) {
    EXPECT_EQ(bus::BusErrorText(2), u"No listener on write function.");
    EXPECT_EQ(bus::BusErrorText(14), u"GPIB bus eror.");
    EXPECT_EQ(bus::BusErrorText(15), u"Serial poll status queue owerflow.");
    EXPECT_EQ(bus::BusErrorText(20), u"Table problem.");
    for (std::int16_t code : {8, 9, 13, 17, 18, 19, 21, 99, -1})
        EXPECT_EQ(bus::BusErrorText(code), u"Unknown error.") << code;
}

TEST_F(BusErrors, NoErrNoBoxAndFlagUntouched) {
    s.ErrorFlag = true;
    s.binding.ibpad(32, 5);
    bus::ReportBusError(s);
    EXPECT_TRUE(boxes.shown().empty());
    EXPECT_TRUE(s.ErrorFlag);
}

TEST_F(BusErrors, OkGoesOnWithTheFlagSet) {
    failNextCall(bus::ENOL);
    s.binding.ibwrt(32, u"*IDN?");
    bus::ReportBusError(s);
    ASSERT_EQ(boxes.shown().size(), 1u);
    const auto& box = boxes.shown()[0];
    EXPECT_EQ(utf8(box.title), "GPIB ERROR # 2");
    EXPECT_EQ(utf8(box.text),
              "No listener on write function.\nSelect OK to continue or Cancel to terminate program.");
    EXPECT_EQ(box.buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(box.icon, platform::Icon::Exclamation);
    EXPECT_TRUE(s.ErrorFlag);
}

TEST_F(BusErrors, CancelEndsTheProgram) {
    failNextCall(17);
    s.binding.ibwrt(32, u"X");
    boxes.answerNext(Answer::Cancel);
    EXPECT_THROW(bus::ReportBusError(s), ProgramEnded);
    EXPECT_EQ(utf8(boxes.shown()[0].title), "GPIB ERROR # 17");
    EXPECT_EQ(utf8(boxes.shown()[0].text).substr(0, 15), "Unknown error.\n");
}

TEST_F(WriteChecked, WritesUnchangedAndClearsTheFlag) {
    s.ErrorFlag = true;
    bus::WriteChecked(s, 32, u"*IDN?\r\n");
    EXPECT_EQ(driver.written.back(), "*IDN?\r\n");
    EXPECT_FALSE(s.ErrorFlag);
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(WriteChecked, ZeroDescriptorEndsTheProgramBeforeWriting) {
    try {
        bus::WriteChecked(s, 0, u"*IDN?");
        FAIL() << "the program should have ended";
    } catch (const ProgramEnded&) {
    }
    EXPECT_EQ(driver.count("ibwrt"), 0);
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(boxes.shown()[0].title), "Device Error");
    EXPECT_EQ(utf8(boxes.shown()[0].text), "Device not configured.\n\nCorrect problem and restart.");
    EXPECT_EQ(boxes.shown()[0].icon, platform::Icon::Critical);
}

TEST_F(WriteChecked, FailureReportedAndFlagSetOnOk) {
    failNextCall(bus::ENOL);
    bus::WriteChecked(s, 32, u"*RST");
    EXPECT_TRUE(s.ErrorFlag);
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST(CleanAnswer, TrimsSpacesAndTrailingLineEnds) {
    using namespace std::string_literals;
    struct Case {
        std::u16string in, out;
    };
    const Case cases[] = {
        {u"1.234\r\n", u"1.234"}, {u"abc\n", u"abc"},     {u"\n", u""},
        {u"  x  ", u"x"},         {u"a\r\n\r\n", u"a\r"}, {u"a\n\n\n", u"a"},
        {u"", u""},               {u"   ", u""},          {u"\r", u""},
        {u"ab\nX", u"ab"},        {u" \t1\t ", u"\t1\t"}, {u"a\0b\xFF\n"s, u"a\0b\xFF"s},
    };
    for (const Case& c : cases) EXPECT_EQ(bus::CleanAnswer(c.in), c.out) << utf8(c.in);
}

TEST_F(ReadResponse, OneChunkAnswer) {
    driver.reads.push_back({"1.234\r\n", bus::END});
    EXPECT_EQ(bus::ReadResponse(s, 32), u"1.234");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(ReadResponse, ReadsUnderT10sAndRestoresTheStandingTimeout) {
    driver.timeout = bus::T3s;
    driver.reads.push_back({"OK\n", bus::END});
    bus::ReadResponse(s, 32);
    const std::vector<std::string> expected = {"ibask(32,3)", "ibtmo(32,13)", "ibwait(32,16640)",
                                               "ibrd(32,512)", "ibtmo(32,12)"};
    const std::vector<std::string> tail(driver.calls.end() - 5, driver.calls.end());
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(driver.timeout, bus::T3s);
}

TEST_F(ReadResponse, StandingT10sIsNotSetAgain) {
    driver.timeout = bus::T10s;
    driver.reads.push_back({"OK\n", bus::END});
    bus::ReadResponse(s, 32);
    EXPECT_EQ(driver.count("ibtmo"), 1); // only the restore
}

TEST_F(ReadResponse, LongAnswerAcrossChunks) {
    const std::string first(512, 'A');
    driver.reads.push_back({first, 0});
    driver.reads.push_back({"BC\n", bus::END});
    const std::u16string answer = bus::ReadResponse(s, 32);
    EXPECT_EQ(answer.size(), 514u);
    EXPECT_EQ(answer.substr(510), u"AABC");
}

TEST_F(ReadResponse, ShortChunkBeforeTheLastLeavesNoPadding) {
    driver.reads.push_back({"12", 0});
    driver.reads.push_back({"34\n", bus::END});
    EXPECT_EQ(bus::ReadResponse(s, 32), u"1234");
}

TEST_F(ReadResponse, BinaryBytesAreData) {
    using namespace std::string_literals;
    driver.reads.push_back({"\x00\xFF\r\n\x01z\n"s, bus::END});
    EXPECT_EQ(bus::ReadResponse(s, 32), u"\0\xFF\r\n\x01z"s);
}

TEST_F(ReadResponse, LoneLineFeedIsAnEmptyAnswerWithoutABox) {
    driver.reads.push_back({"\n", bus::END});
    EXPECT_EQ(bus::ReadResponse(s, 32), u"");
    EXPECT_TRUE(boxes.shown().empty());
}

TEST_F(ReadResponse, TimeoutDiscardsEarlierChunksAndShowsTheBox) {
    driver.timeout = bus::T3s;
    driver.reads.push_back({std::string(512, 'x'), 0}); // then nothing: a time-out
    EXPECT_EQ(bus::ReadResponse(s, 32), u"");
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(utf8(boxes.shown()[0].title), "I/O Error");
    EXPECT_EQ(utf8(boxes.shown()[0].text), "Read cycle failed\nOperation aborted.");
    EXPECT_EQ(boxes.shown()[0].icon, platform::Icon::Exclamation);
    EXPECT_EQ(driver.timeout, bus::T3s);
}

TEST_F(ReadResponse, FailureWithoutEndOrTimeoutEndsTheLoop) {
    driver.reads.push_back({"partial", bus::ERR, bus::ENOL});
    driver.reads.push_back({"never read\n", bus::END});
    EXPECT_EQ(bus::ReadResponse(s, 32), u"");
    EXPECT_EQ(driver.count("ibrd"), 1);
    EXPECT_EQ(boxes.shown().size(), 1u);
}

TEST_F(ReadResponse, ZeroDescriptorEndsTheProgram) {
    EXPECT_THROW(bus::ReadResponse(s, 0), ProgramEnded);
    EXPECT_EQ(driver.count("ibrd"), 0);
}
