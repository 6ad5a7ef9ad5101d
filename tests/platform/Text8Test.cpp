#include "platform/Text8.h"

#include <gtest/gtest.h>

// Windows-1252, its five unassigned bytes kept as the C1 characters of the
// same value, so every byte survives; characters without a byte become '?'.
TEST(Text8, EveryByteRoundTripsAndOnlyWindows1252HasBytes) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    EXPECT_EQ(platform::toBytes(platform::fromBytes(all)), all);
    EXPECT_EQ(platform::fromBytes("\x80\x81\x8D\x8F\x90\x9D\x9F\xE9"),
              u"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00E9");
    EXPECT_EQ(platform::toBytes(u"a\u0100b\u4E2D\u0080\u2122"), "a?b??\x99");
}
