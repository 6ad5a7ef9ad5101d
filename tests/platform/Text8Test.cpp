#include "platform/Text8.h"

#include <gtest/gtest.h>

TEST(Text8, EveryByteRoundTrips) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    const std::u16string text = platform::fromBytes(all);
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(platform::toBytes(text), all);
}

TEST(Text8, MapsWindows1252AndKeepsUnassignedBytes) {
    EXPECT_EQ(platform::charOfByte(0x80), u'\u20AC');
    EXPECT_EQ(platform::charOfByte(0x9F), u'\u0178');
    for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(platform::charOfByte(b), b);
    EXPECT_EQ(platform::charOfByte(0xE9), u'\u00E9');
    EXPECT_EQ(platform::byteOfChar(u'\u2122'), 0x99);
}

TEST(Text8, CharactersWithoutAByteBecomeQuestionMarks) {
    EXPECT_EQ(platform::toBytes(u"a\u0100b\u4E2D"), "a?b?");
    EXPECT_EQ(platform::byteOfChar(u'\u0080'), -1); // C1 0x80 is the euro sign's byte
}
