#include "exchange/AnswerData.h"
#include "exchange/IncomingText.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

using namespace std::string_literals;
using testing_support::utf8;

// A binary block is one summary line in the view and counts as that line;
// a text block or any other answer is shown as it is.
TEST(AnswerData, BinaryBlocksAreSummedUpInOneLine) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"#15\0\1\2\3\4"s, "05: #1 block, 5 bytes\r\n"},
        {u"#15\xFF\1"s, "05: #1 block, 2 of 5 bytes\r\n"},
        {u"#12\0\0xyz"s, "05: #1 block, 2 bytes and 3 more\r\n"},
        {u"#15hello", "05: #15hello\r\n"},
        {u"#0\0\1"s, "05: #0\0\1\r\n"s}};
    for (const auto& [answer, shown] : cases)
        EXPECT_EQ(utf8(exchange::BuildBlock(answer, 5)), shown) << utf8(answer);
    const std::u16string big = u"#520000" + std::u16string(20000, u'\xFF');
    EXPECT_EQ(exchange::SizeEstimate(big), exchange::SizeEstimate(std::size_t{21}));
    EXPECT_EQ(exchange::SizeEstimate(u"#15hello"), exchange::SizeEstimate(std::size_t{8}));
}

TEST(AnswerData, NumberListsAreCommaOrBlankSeparatedNumbersOnly) {
    const std::pair<std::u16string, std::vector<double>> lists[] = {
        {u"1,2,-3", {1, 2, -3}},
        {u"+1.5E3, -2.5e-1\r\n", {1500, -0.25}},
        {u" 4 5\t6\n7 ", {4, 5, 6, 7}},
        {u"9.91E37", {9.91e37}}};
    for (const auto& [answer, numbers] : lists)
        EXPECT_EQ(exchange::ParseNumberList(answer), numbers) << utf8(answer);
    for (const std::u16string bad :
         {u"", u"1,,2", u"1,2,", u",1", u"1;2", u"1V", u"nan", u"ID 5", u"0x10", u"1\u00B2"})
        EXPECT_FALSE(exchange::ParseNumberList(bad)) << utf8(bad);
}

TEST(AnswerData, BlockBytesAreSamplesOfTheChosenFormat) {
    const std::string data = "\x01\xFF\x80\x00\x7F"s;
    struct Case {
        exchange::SampleFormat format;
        std::vector<double> samples;
    };
    const Case cases[] = {
        {{8, true, true}, {1, -1, -128, 0, 127}}, {{8, false, true}, {1, 255, 128, 0, 127}},
        {{16, true, true}, {511, -32768}},        {{16, true, false}, {-255, 128}},
        {{16, false, true}, {511, 32768}},        {{16, false, false}, {65281, 128}}};
    for (const Case& c : cases)
        EXPECT_EQ(exchange::BlockSamples(data, c.format), c.samples) << c.format.bits;
    EXPECT_EQ(exchange::BlockData(u"#14ab\0\xFF;x"s), "ab\0\xFF"s);
    EXPECT_EQ(exchange::BlockData(u"#14ab"), "ab");
    EXPECT_FALSE(exchange::BlockData(u"1,2"));
}

TEST(AnswerData, HexLinesAndCsvShowEveryByteAndValue) {
    const std::string bytes = "0123456789ABCDEF\0\x7F\xFFz"s;
    EXPECT_EQ(utf8(exchange::HexLine(bytes, 0)),
              "00000000  30 31 32 33 34 35 36 37  38 39 41 42 43 44 45 46  0123456789ABCDEF");
    EXPECT_EQ(utf8(exchange::HexLine(bytes, 16)),
              "00000010  00 7F FF 7A                                       ...z");
    EXPECT_EQ(exchange::CsvText({-1.5, 2, 1e-7}), "index,value\r\n0,-1.5\r\n1,2\r\n2,1e-07\r\n");
}
