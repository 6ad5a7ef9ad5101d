#include "core/Verdict.h"

#include "bus/drivers/BenchFile.h"
#include "support/ScriptedMessageBoxes.h"

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

#if VIREON_BENCH_FILES
namespace {

// pyvisa-sim's own file: a device whose file holds the status register and
// one whose file holds the error queue (the bench's 488.2 model answers the
// other), each after a command it does not know.
TEST(Verdict, ReadsPyvisaSimsStatusRegisterAndErrorQueue) {
    bus::BenchLoad load =
        bus::loadBenchFile(std::string(VIREON_TEST_DATA_DIR) + "/pyvisa-sim/default.yaml");
    ASSERT_TRUE(load.bus) << load.error;
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    bus::BusSession s(*load.bus, boxes, exit);
    std::vector<std::string> verdicts;
    for (const std::int16_t pad : {9, 4}) {
        const std::int16_t ud = s.binding.ibdev(0, pad, 0, bus::T1s, 1, 0);
        s.binding.ibwrt(ud, u"FAKE_COMMAND\n");
        verdicts.push_back(core::verdictText(core::readVerdict(s, ud, true)));
        verdicts.push_back(core::verdictText(core::readVerdict(s, ud, true)));
    }
    // The second verdict finds nothing: none of its own queries is left behind.
    EXPECT_EQ(verdicts, (std::vector<std::string>{"ESR 32 CME; " + kUndefined, "OK",
                                                  "ESR 160 CME PON; 1, Command error", "OK"}));
}

} // namespace
#endif
