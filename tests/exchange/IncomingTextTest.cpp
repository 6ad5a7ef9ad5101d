#include "exchange/IncomingText.h"

#include <gtest/gtest.h>

#include <algorithm>

using exchange::BuildBlock;
using exchange::SizeEstimate;

TEST(SizeEstimate, RoundsLineCountHalfToEven) {
    EXPECT_EQ(SizeEstimate(0), 6);
    EXPECT_EQ(SizeEstimate(25), 25 + 6);    // 0.5 lines -> 0
    EXPECT_EQ(SizeEstimate(26), 26 + 12);   // 0.52 -> 1
    EXPECT_EQ(SizeEstimate(75), 75 + 18);   // 1.5 -> 2
    EXPECT_EQ(SizeEstimate(125), 125 + 18); // 2.5 -> 2
    EXPECT_EQ(SizeEstimate(29252), 32768);  // the longest answer that fits
    EXPECT_GT(SizeEstimate(29253), 32768);
    EXPECT_GT(SizeEstimate(std::size_t{1} << 40), 32768); // no overflow
}

TEST(BuildBlock, CutsIntoLinesLedByTheAddress) {
    EXPECT_EQ(BuildBlock(u"123456789", 5), u"05: 123456789\r\n");
    EXPECT_EQ(BuildBlock(u"", 5), u"");
    const std::u16string fifty(50, u'a');
    EXPECT_EQ(BuildBlock(fifty, 22), u"22: " + fifty + u"\r\n");

    std::u16string answer(120, u'x');
    std::fill(answer.begin() + 50, answer.begin() + 100, u'y');
    const std::u16string block = BuildBlock(answer, 12);
    EXPECT_EQ(block, u"12: " + std::u16string(50, u'x') + u"\r\n12: " + std::u16string(50, u'y') +
                         u"\r\n12: " + std::u16string(20, u'x') + u"\r\n");
}

TEST(BuildBlock, ControlCharactersStayInsideTheirLine) {
    using namespace std::string_literals;
    EXPECT_EQ(BuildBlock(u"a\r\nb\0c"s, 9), u"09: a\r\nb\0c\r\n"s);
}

TEST(HelpText, ThirtyFiveLinesAndOneBlankBeforeAnEarlierAnswer) {
    const std::u16string alone = exchange::HelpText(u"");
    std::size_t lines = 0;
    for (std::size_t p = alone.find(u"\r\n"); p != std::u16string::npos;
         p = alone.find(u"\r\n", p + 2))
        ++lines;
    EXPECT_EQ(lines, 36u); // 35 lines plus the separating blank for an empty view
    EXPECT_EQ(alone.substr(0, 21), u"\r\n*** Vireon Help ***");
    EXPECT_EQ(alone.substr(alone.size() - 48),
              u"*** End Help *** Click Clear to continue ***\r\n\r\n");

    EXPECT_EQ(exchange::HelpText(u"05: 1\r\n"), alone);
    // An earlier help text starts with its own blank line.
    EXPECT_EQ(exchange::HelpText(alone), alone.substr(0, alone.size() - 2));
}
