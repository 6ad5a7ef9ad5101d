#include "core/Verdict.h"

#include <gtest/gtest.h>

namespace {

struct Judged {
    const char* name;
    core::VerdictReading reading;
    const char* text;
};

class VerdictText : public testing::TestWithParam<Judged> {};

TEST_P(VerdictText, SaysOkOrWhatWentWrongInAFixedShortForm) {
    EXPECT_EQ(core::verdictText(GetParam().reading), GetParam().text);
}

const std::string kUndefined = "-113,\"Undefined header\"";
const std::string kInterrupted = "-410,\"Query INTERRUPTED\"";

// clang-format off
const Judged kJudged[] = {
    {"NothingSet", {true, 0, 0, {}, false}, "OK"},
    {"PowerOnAndOperationCompleteAreNoFault", {true, 0, 129, {}, false}, "OK"},
    {"CommandErrorWithItsQueueLine", {true, 32, 32, {kUndefined}, false},
     "ESR 32 CME; -113,\"Undefined header\""},
    {"EveryBitNamedLowestFirst", {true, 0, 255, {}, false},
     "ESR 255 OPC RQC QYE DDE EXE CME URQ PON"},
    {"AnErrorTheRegisterDidNotKeep", {true, 0, 0, {"-222,\"Data out of range\""}, false},
     "-222,\"Data out of range\""},
    {"QueueStillFullAfterTheLastRead", {true, 0, 4, {kInterrupted, kInterrupted}, true},
     "ESR 4 QYE; -410,\"Query INTERRUPTED\"; -410,\"Query INTERRUPTED\"; more errors"},
    {"StatusByteAloneClear", {true, 0, std::nullopt, {}, false}, "OK"},
    {"StatusByteAloneSet", {true, 97, std::nullopt, {}, false}, "STB 97"},
    {"PollUnanswered", {false, 0, std::nullopt, {}, false}, "no poll"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Readings, VerdictText, testing::ValuesIn(kJudged),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Verdict, ErrorCodesOpenTheQueueLineOrThereIsNone) {
    EXPECT_EQ(core::errorCode(kUndefined), -113);
    EXPECT_EQ(core::errorCode("0,\"No error\""), 0);
    EXPECT_EQ(core::errorCode("+32"), 32);
    for (std::string_view bad : {"", "ERR", "-1x,\"a\"", " 0", "1.5"})
        EXPECT_FALSE(core::errorCode(bad)) << bad;
}

} // namespace
