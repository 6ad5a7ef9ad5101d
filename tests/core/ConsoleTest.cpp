#include "core/Console.h"

#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"
#include "support/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <thread>
#include <tuple>

namespace {

using Calls = std::vector<std::string>;

struct ConsoleCore : ::testing::Test {
    ConsoleCore() {
        driver.listeners = {0, 5, 9};
        console.TakeBus();
        console.SelectDevice(*console.beginOperation(), 1);
        driver.calls.clear();
        console.setExchangeRecorded(
            [this](const core::ExchangeRecord& r) { records.push_back(r); });
    }
    testing_support::ScriptedDriver driver;
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    std::vector<core::ExchangeRecord> records; // outlives the operation, which may tell one
    core::Console console{driver, boxes, exit};
    std::optional<core::Console::Operation> op = console.beginOperation();
};

TEST_F(ConsoleCore, OneOperationAtATime) {
    EXPECT_TRUE(console.busy());
    EXPECT_FALSE(console.beginOperation());
    {
        const auto moved = std::move(*op);
        op.reset();
        EXPECT_TRUE(console.busy());
    }
    EXPECT_FALSE(console.busy());
    EXPECT_TRUE(console.beginOperation());
}

TEST_F(ConsoleCore, UnderAMethodTheMessageIsFramedByClearingAndCheck) {
    console.SetSelectedMethod(*op, syntaxcheck::kSerialPollMethod);
    driver.pollBytes = {0, 97};
    console.PreWriteClearing(*op);
    EXPECT_TRUE(console.WriteMessage(*op, u"BAD"));
    EXPECT_TRUE(console.session().ErrorFlag);
    console.SetSelectedMethod(*op, syntaxcheck::kNoMethod);
    console.PreWriteClearing(*op);
    EXPECT_FALSE(console.WriteMessage(*op, u"*RST"));
    EXPECT_EQ(driver.calls,
              (Calls{"ibrsp(32)", "ibwrt(32,BAD)", "ibask(32,3)", "ibtmo(32,10)",
                     "ibwait(32,18432)", "ibtmo(32,12)", "ibrsp(32)", "ibwrt(32,*RST)"}));
}

TEST_F(ConsoleCore, FileTransfersRunUnderTheLongTimeOutAndRestoreTheStandingOne) {
    driver.outcomes = {{}, {}, {}, {bus::ERR | bus::TIMO, bus::EABO}};
    EXPECT_TRUE(console.ReceiveFile(*op, u"a.dat").timedOut());
    console.SendFile(*op, u"b.dat");
    EXPECT_EQ(driver.calls,
              (Calls{"ibask(32,3)", "ibtmo(32,15)", "ibwait(32,16640)", "ibrdfA(32,a.dat)",
                     "ibtmo(32,12)", "ibask(32,3)", "ibtmo(32,15)", "ibwait(32,16640)",
                     "ibwrtfA(32,b.dat)", "ibtmo(32,12)"}));
}

// Every exchange reaches the history as one record, when it is over: what
// went out, what came back, and what became of it.
TEST_F(ConsoleCore, EachExchangeIsRecordedOnceWithItsVerdict) {
    driver.reads = {{"Vireon,1\n", bus::END, 0}, {"#15ABCDE", bus::END, 0}};
    console.WriteMessage(*op, u"*IDN?\n");
    console.ReadResponse(*op);
    console.WriteMessage(*op, u"CURV?");
    console.ReadResponse(*op);
    console.WriteMessage(*op, u"*RST");
    console.ReadResponse(*op); // nothing comes: the box, and no answer
    console.SetSelectedMethod(*op, syntaxcheck::kSerialPollMethod);
    driver.pollBytes = {97};
    console.WriteMessage(*op, u"BAD");
    console.SendFile(*op, u"b.dat");
    op.reset();

    using Row = std::tuple<int, std::string, std::string, std::string, std::string>;
    std::vector<Row> rows;
    for (const auto& r : records)
        rows.emplace_back(r.address, core::shownSent(r), core::shownAnswer(r), r.verdict, r.kind);
    EXPECT_EQ(rows, (std::vector<Row>{
                        {5, "*IDN?\\n", "Vireon,1", "", ""},
                        {5, "CURV?", "block, 8 bytes", "", ""},
                        {5, "*RST", "", "no answer", ""},
                        {5, "BAD", "", "rejected", ""},
                        {5, "from file b.dat", "", "", "from file"},
                    }));
    EXPECT_EQ(records[0].bytes, 14u);
    EXPECT_GT(records[0].utcMs, 1700000000000);
}

// The verdict's own queries go under the short time-out, and the standing
// one comes back after them.
TEST_F(ConsoleCore, AVerdictPollsThenAsksTheEventStatusAndTheErrorQueue) {
    console.setSelectedVerdicts(true);
    driver.reads = {
        {"+1.0\n", bus::END, 0}, {"0\n", bus::END, 0}, {"0,\"No error\"\n", bus::END, 0}};
    console.WriteMessage(*op, u"MEAS?");
    console.ReadResponse(*op);
    EXPECT_TRUE(records.empty()) << "the record waits for its verdict";
    driver.calls.clear();
    console.judge(*op);
    EXPECT_EQ(driver.calls,
              (Calls{"ibask(32,3)", "ibtmo(32,10)", "ibrsp(32)", "ibwrt(32,*ESR?)", "ibrd(32,256)",
                     "ibwrt(32,:SYST:ERR?)", "ibrd(32,256)", "ibtmo(32,12)"}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].answer, "+1.0");
    EXPECT_EQ(records[0].verdict, "OK");
}

struct Judging {
    const char* name;
    std::int16_t method;
    std::deque<unsigned char> polls; // the syntax check's first, if any
    std::deque<testing_support::ScriptedDriver::Chunk> reads;
    std::string verdict;
    std::vector<std::string> queries; // what the verdict wrote
};

class ConsoleVerdict : public ConsoleCore, public testing::WithParamInterface<Judging> {};

TEST_P(ConsoleVerdict, AsksWhatTheDeviceCanTellAndJoinsItToTheRecord) {
    const Judging& j = GetParam();
    console.SetSelectedMethod(*op, j.method);
    console.setSelectedVerdicts(true);
    driver.pollBytes = j.polls;
    driver.reads = j.reads;
    console.WriteMessage(*op, u"M");
    driver.calls.clear();
    console.judge(*op);
    std::vector<std::string> queries;
    for (const std::string& call : driver.calls)
        if (call.rfind("ibwrt(32,", 0) == 0) queries.push_back(call.substr(9, call.size() - 10));
    EXPECT_EQ(queries, j.queries);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].verdict, j.verdict);
}

const std::string kEsr = "*ESR?", kErr = ":SYST:ERR?";

Judging queueBound() {
    Judging j{"QueueReadTwentyTimesAtMost", 0, {0}, {{"4\n"}}, "ESR 4 QYE", {kEsr}};
    for (int i = 0; i < 21; ++i) {
        j.reads.push_back({"-350,\"Queue overflow\"\n"});
        if (i < 20) j.verdict += "; -350,\"Queue overflow\"", j.queries.push_back(kErr);
    }
    j.verdict += "; more errors";
    return j;
}

// clang-format off
const Judging kJudgings[] = {
    {"SilentEventStatusLeavesTheStatusByte", 0, {0}, {}, "OK", {kEsr}},
    // The query it did not know is taken back by a second register read.
    {"NoErrorQueue", 0, {0}, {{"0\n"}}, "OK", {kEsr, kErr, kEsr}},
    {"AnAnswerWaitsAndStaysUnasked", 0, {16}, {}, "STB 16", {}},
    {"SerialPollMethodByStatusByteAlone", syntaxcheck::kSerialPollMethod, {97, 33}, {},
     "rejected; STB 33", {}},
    queueBound(),
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Devices, ConsoleVerdict, testing::ValuesIn(kJudgings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConsoleCore, ReleasingTheBusReturnsTheDevicesToLocalAndSaysNothing) {
    driver.outcomes = {{bus::ERR, bus::ECIC}, {bus::ERR, bus::EARG}};
    console.ReleaseBus();
    EXPECT_EQ(driver.calls, (Calls{"ibsre(0,0)", "ibonl(32,0)"}));
    EXPECT_TRUE(boxes.shown().empty());
}

} // namespace

// Every bus call runs on the worker: a long answer arrives byte for byte,
// the box it asks for is shown on the thread that waits, and an end of the
// program there reaches the caller.
TEST(ConsoleWorker, HandsTheAnswerTheBoxesAndTheEndBackToTheWaitingThread) {
    auto bus = bus::SimulatedBus::defaultBench();
    struct ThreadBoxes : testing_support::ScriptedMessageBoxes {
        platform::Answer show(std::u16string_view text, std::u16string_view title,
                              platform::Buttons buttons, platform::Icon icon) override {
            threads.push_back(std::this_thread::get_id());
            return ScriptedMessageBoxes::show(text, title, buttons, icon);
        }
        std::vector<std::thread::id> threads;
    } boxes;
    testing_support::ThrowingExit exit;
    core::Console console(*bus, boxes, exit);
    console.TakeBus();
    auto op = console.beginOperation();
    console.SelectDevice(*op, 1);
    constexpr std::size_t kSize = 4'000'003;
    // Whole: what the bytes are is the read's (BusRoutines, StopPartWay).
    bus->instrument(5)->queueGenerated(
        kSize, [](std::uint64_t, char* dest, std::size_t n) { std::fill_n(dest, n, 'x'); });
    EXPECT_EQ(console.ReadResponse(*op).size(), kSize);
    EXPECT_EQ(console.bytesMoved(), kSize);

    EXPECT_EQ(console.ReadResponse(*op), u"");
    EXPECT_EQ(boxes.threads, std::vector<std::thread::id>{std::this_thread::get_id()});
    boxes.answerNext(platform::Answer::Cancel);
    bus->detach(5);
    EXPECT_THROW(console.WriteMessage(*op, u"*RST"), testing_support::ProgramEnded);
}

// A task that outlasts the grace period: the caller keeps waiting for its
// end, running whileWaiting meanwhile (here the one thing that ends it). A
// worker that never lets the caller run fails here, not at ctest's time-out.
TEST(ConsoleWorker, WaitsForALongTaskAndLetsTheWindowRunMeanwhile) {
    core::Worker worker;
    std::atomic<bool> released{false};
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    worker.run(
        [&] {
            while (!released && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::yield();
        },
        [&] { released = true; });
    EXPECT_TRUE(released) << "whileWaiting never ran";
}

// A second task handed over from the waiting thread while one runs would
// take its place half-way: the program stops, saying why.
TEST(ConsoleWorkerDeathTest, RefusesATaskHandedOverWhileAnotherRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            core::Worker worker;
            std::atomic<bool> released{false};
            worker.run(
                [&] {
                    while (!released)
                        std::this_thread::yield();
                },
                [&] { worker.run([] {}); });
        },
        "a bus task was handed over while another was running");
}

// The window hears "busy" only once a call has let its events run, and
// "idle" when that call is over; quick calls say nothing.
TEST(ConsoleWorker, SaysBusyWhileALongCallLetsTheWindowRun) {
    auto bench = bus::SimulatedBus::defaultBench();
    testing_support::ScriptedMessageBoxes boxes;
    testing_support::ThrowingExit exit;
    core::Console console(*bench, boxes, exit);
    std::vector<bool> said;
    console.setBusyChanged([&](bool busy) { said.push_back(busy); });
    console.TakeBus();
    auto op = console.beginOperation();
    console.SelectDevice(*op, 1);
    EXPECT_TRUE(said.empty());
    console.setWaitingHook([&] { console.requestStop(); });
    // Slow to come, and endless: only the stop ends it.
    bench->instrument(5)->queueGenerated(
        std::uint64_t{1} << 40, [](std::uint64_t, char* dest, std::size_t n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::fill_n(dest, n, '1');
        });
    EXPECT_EQ(console.ReadResponse(*op), u"");
    EXPECT_EQ(said, (std::vector<bool>{true, false}));
}
