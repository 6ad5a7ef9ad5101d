#include "core/Sequence.h"

#include "bus/drivers/SimulatedBus.h"
#include "support/Files.h"
#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct NumbersRow {
    const char* name;
    const char* answer;
    std::optional<std::vector<double>> numbers;
};

class Numbers : public ::testing::TestWithParam<NumbersRow> {};

TEST_P(Numbers, AreReadAsAnInstrumentWritesThem) {
    EXPECT_EQ(core::parseNumbers(GetParam().answer), GetParam().numbers);
}

using V = std::vector<double>;
INSTANTIATE_TEST_SUITE_P(
    Answers, Numbers,
    ::testing::Values(NumbersRow{"PlainWithLineEnd", "+1.234500E+00\r\n", V{1.2345}},
                      NumbersRow{"Negative", "-42", V{-42}},
                      NumbersRow{"ExponentWithoutSign", "5e3", V{5000}},
                      NumbersRow{"OverflowMarker", "9.9E37", V{9.9e37}},
                      NumbersRow{"CommaList", "1,2.5,-3e-3\n", V{1, 2.5, -3e-3}},
                      NumbersRow{"CommaListWithBlanks", "1 , 2,\t3", V{1, 2, 3}},
                      NumbersRow{"BlankList", "1  2\t3", V{1, 2, 3}},
                      NumbersRow{"Identity", "Vireon Sim,VDM-1000,0,1.0", std::nullopt},
                      NumbersRow{"NumberWithUnit", "1.5V", std::nullopt},
                      NumbersRow{"SpelledNotANumber", "nan", std::nullopt},
                      NumbersRow{"EmptyField", "1,,2", std::nullopt},
                      NumbersRow{"TrailingComma", "1,", std::nullopt},
                      NumbersRow{"DoubleSign", "+-1", std::nullopt},
                      NumbersRow{"Empty", "", std::nullopt},
                      NumbersRow{"OnlyLineEnd", "\n", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct LogRowCase {
    const char* name;
    core::LogRow row;
    const char* text;
};

class LogRows : public ::testing::TestWithParam<LogRowCase> {};

TEST_P(LogRows, AreCsvAsRfc4180Says) {
    EXPECT_EQ(core::logRow(GetParam().row), GetParam().text);
}

// 2026-12-07T02:45:01.123Z
constexpr std::int64_t kAt = 1796611501123;

INSTANTIATE_TEST_SUITE_P(
    Rows, LogRows,
    ::testing::Values(
        LogRowCase{"Plain",
                   {kAt, 1.5, 5, "MEAS:VOLT?", 0.125, "", 0},
                   "2026-12-07T02:45:01.123Z,1.500,5,MEAS:VOLT?,0.125,\r\n"},
        LogRowCase{"FailedReadHasAnEmptyValue",
                   {kAt, 0, 22, "CURV?", std::nullopt, "no answer", 0},
                   "2026-12-07T02:45:01.123Z,0.000,22,CURV?,,no answer\r\n"},
        LogRowCase{"CommasQuotesAndLineEndsAreQuoted",
                   {kAt, 2, 5, "SYST:ERR?;:DISP \"a,b\"", 9.9e37, "error: -113,\"x\"\nmore", 0},
                   "2026-12-07T02:45:01.123Z,2.000,5,\"SYST:ERR?;:DISP \"\"a,b\"\"\",9.9e+37,"
                   "\"error: -113,\"\"x\"\"\nmore\"\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SequenceParts, EntriesGoOutAsTheSendCycleMakesThem) {
    using core::outgoingOf;
    EXPECT_EQ(outgoingOf(u" MEAS:VOLT? ", true, true)->text, u"MEAS:VOLT?\r\n");
    EXPECT_TRUE(outgoingOf(u"MEAS:VOLT?", false, false)->query);
    EXPECT_FALSE(outgoingOf(u"*RST", false, true)->query);
    EXPECT_EQ(outgoingOf(u"READ??", false, true)->text, u"READ\n");
    // A bare "??" only reads.
    EXPECT_EQ(outgoingOf(u"??", true, true)->text, u"");
    EXPECT_FALSE(outgoingOf(u"<Help>", false, false));
    EXPECT_FALSE(outgoingOf(u"   ", false, false));
}

TEST(SequenceParts, AWaitEndsAtTheSliceInWhichTheStopCame) {
    std::vector<std::chrono::milliseconds> slept;
    int asked = 0;
    const auto sleep = [&](std::chrono::milliseconds d) { slept.push_back(d); };
    EXPECT_TRUE(core::waitInSlices(
        25ms, 10ms, [] { return false; }, sleep));
    EXPECT_EQ(slept, (std::vector{10ms, 10ms, 5ms}));
    slept.clear();
    EXPECT_FALSE(core::waitInSlices(
        1h, 10ms, [&] { return ++asked > 2; }, sleep));
    EXPECT_EQ(slept.size(), 2u);
    slept.clear();
    EXPECT_TRUE(core::waitInSlices(
        0ms, 10ms, [] { return false; }, sleep));
    EXPECT_TRUE(slept.empty());
}

// A run on the simulated bench through the console: the multimeter at 5.
struct SequenceRunTest : ::testing::Test {
    SequenceRunTest() {
        console.setExchangeRecorded([this](const core::ExchangeRecord& r) {
            records.push_back(r);
            if (run) run->exchangeRecorded(r);
        });
        console.TakeBus();
        console.SelectDevice(*op, 1);
        fs::create_directories(dir);
    }
    ~SequenceRunTest() override { fs::remove_all(dir); }

    core::SequenceOutcome runPlan(core::SequencePlan plan, core::SequenceLog* log = nullptr) {
        run.emplace(console, std::move(plan), log);
        run->setRowLogged([this](const core::LogRow& row) {
            rows.push_back(row);
            if (onRow) onRow();
        });
        return run->run(*op);
    }

    std::unique_ptr<bus::SimulatedBus> bench = bus::SimulatedBus::defaultBench();
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    core::Console console{*bench, boxes, exit};
    std::optional<core::Console::Operation> op = console.beginOperation();
    std::optional<core::SequenceRun> run;
    std::vector<core::ExchangeRecord> records;
    std::vector<core::LogRow> rows;
    std::function<void()> onRow;
    fs::path dir = testing_support::scratchFile("");
};

TEST_F(SequenceRunTest, EachRoundLogsARowPerQueryAndEachMessageIsAnExchange) {
    core::SequenceLog log;
    ASSERT_EQ(log.open(dir / "run.csv"), "");
    const auto outcome = runPlan({{u"<Help>", u"*CLS", u"MEAS:VOLT?"}, 3, 0ms, false, true}, &log);
    EXPECT_EQ(outcome.rounds, 3);
    EXPECT_FALSE(outcome.stopped);
    ASSERT_EQ(rows.size(), 3u);
    for (const core::LogRow& row : rows) {
        EXPECT_EQ(row.address, 5);
        EXPECT_EQ(row.message, "MEAS:VOLT?");
        EXPECT_TRUE(row.value);
        EXPECT_EQ(row.verdict, "");
    }
    op.reset(); // the last message's record is told as the operation ends
    EXPECT_EQ(records.size(), 6u);
    EXPECT_EQ(records[1].sent, "MEAS:VOLT?\n");
    // The header and the rows, as they were logged.
    std::string expected = core::logHeader();
    for (const core::LogRow& row : rows)
        expected += core::logRow(row);
    EXPECT_EQ(testing_support::fileText((dir / "run.csv").string()), expected);
}

TEST_F(SequenceRunTest, AQueryWithoutAnAnswerIsARowWithAnEmptyValueAndTheRunGoesOn) {
    const auto outcome = runPlan({{u"NOSUCH?", u"MEAS:VOLT?"}, 2, 0ms, false, true});
    EXPECT_EQ(outcome.rounds, 2);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_FALSE(rows[0].value);
    EXPECT_EQ(rows[0].verdict, "no answer");
    EXPECT_TRUE(rows[1].value);
    EXPECT_FALSE(rows[2].value);
    EXPECT_TRUE(boxes.shown().empty()) << "an unattended run asks nothing";
}

TEST_F(SequenceRunTest, AStopEndsARunThatRepeatsUntilStopped) {
    onRow = [this] {
        if (rows.size() == 3) console.requestStop();
    };
    const auto outcome = runPlan({{u"MEAS:VOLT?"}, 0, 0ms, false, true});
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(rows.size(), 3u);
}

// The wait between rounds lets the window run (here the stop comes from it)
// and ends at the stop; were it not heard, this test would never end. The
// window is told busy once for the whole run.
TEST_F(SequenceRunTest, AStopDuringTheWaitBetweenRoundsEndsTheRunThere) {
    std::vector<bool> said;
    console.setBusyChanged([&](bool busy) { said.push_back(busy); });
    console.setWaitingHook([this] {
        if (!rows.empty()) console.requestStop();
    });
    const auto outcome = runPlan({{u"MEAS:VOLT?"}, 1000, 1h, false, true});
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.rounds, 1);
    EXPECT_EQ(rows.size(), 1u);
    op.reset();
    EXPECT_EQ(said, (std::vector<bool>{true, false}));
}

TEST_F(SequenceRunTest, ALogThatCannotBeOpenedSaysWhichAndWhy) {
    core::SequenceLog log;
    const std::string said = log.open(dir / "no such folder" / "run.csv");
    EXPECT_NE(said.find("no such folder"), std::string::npos) << said;
    EXPECT_FALSE(log.isOpen());
}

} // namespace
