#include "exchange/IncomingText.h"

#include <QString>

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST(IncomingText, SizeEstimateRoundsTheLineCountHalfToEven) {
    const std::pair<std::size_t, std::int64_t> sizes[] = {{0, 6},   {25, 31},   {26, 38},
                                                          {75, 93}, {125, 143}, {29252, 32768}};
    for (const auto& [length, size] : sizes)
        EXPECT_EQ(exchange::SizeEstimate(length), size) << length;
    EXPECT_GT(exchange::SizeEstimate(29253), 32768);
    EXPECT_GT(exchange::SizeEstimate(std::size_t{1} << 40), 32768); // no overflow
}

TEST(IncomingText, BlocksAreFiftyCharacterLinesLedByTheAddressControlCharactersInside) {
    EXPECT_EQ(exchange::BuildBlock(u"", 5), u"");
    EXPECT_EQ(exchange::BuildBlock(u"a\r\nb\0c"s, 9), u"09: a\r\nb\0c\r\n"s);
    const std::u16string x(50, u'x'), y(50, u'y');
    EXPECT_EQ(exchange::BuildBlock(x, 22), u"22: " + x + u"\r\n");
    EXPECT_EQ(exchange::BuildBlock(x + y + u"z", 12),
              u"12: " + x + u"\r\n12: " + y + u"\r\n12: z\r\n");
}

TEST(IncomingText, HelpIsThirtyFiveLinesWithOneBlankBeforeAnEarlierAnswer) {
    const std::u16string alone = exchange::HelpText(u"");
    // 35 lines plus the separating blank for an empty view.
    EXPECT_EQ(QString::fromStdU16String(alone).count(QStringLiteral("\r\n")), 36);
    EXPECT_TRUE(alone.starts_with(u"\r\n*** Vireon Help ***"));
    EXPECT_TRUE(alone.ends_with(u"*** End Help *** Click Clear to continue ***\r\n\r\n"));
    EXPECT_EQ(exchange::HelpText(u"05: 1\r\n"), alone);
    EXPECT_EQ(exchange::HelpText(alone), alone.substr(0, alone.size() - 2)); // it has its own blank
}
