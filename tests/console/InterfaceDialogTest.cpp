#include "console/InterfaceDialog.h"

#include <gtest/gtest.h>

namespace {

// What the dialog shows for a back end is what it gives back unchanged.
TEST(InterfaceChoice, ShowsAndGivesBackTheBackEndsItOffers) {
    for (const char* backEnd : {"sim", "gpib", "prologix:/dev/ttyUSB0", "ar488:COM3",
                                "prologix:lab-gpib:1234", "ar488:[::1]:99"})
        EXPECT_EQ(console::backEndOf(console::interfaceOf(backEnd)), backEnd);
    EXPECT_EQ(console::backEndOf(console::interfaceOf("prologix:lab-gpib")),
              "prologix:lab-gpib:1234");
    EXPECT_EQ(console::backEndOf(console::interfaceOf("replay:run.jsonl")), "sim");
}

TEST(InterfaceChoice, TheCaptionNamesAnAdapterOnly) {
    EXPECT_EQ(console::interfaceCaption("prologix:/dev/ttyUSB0"), "Prologix on /dev/ttyUSB0");
    EXPECT_EQ(console::interfaceCaption("ar488:10.0.0.7:23"), "AR488 on 10.0.0.7:23");
    EXPECT_EQ(console::interfaceCaption("sim"), "");
}

} // namespace
