#include "bus/drivers/ReplayBus.h"
#include "bus/sim/Instrument.h"
#include "support/Files.h"
#include "support/Talk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing_support::kTimeout;
using testing_support::Talk;

constexpr const char* kOpening = R"({"op":"ibdev","args":[0,5,0,11,1,0],"data":32,"ibsta":256}
)";
constexpr const char* kFindFive =
    R"({"op":"FindLstn","args":[0,[5,65535],30],"data":[5],"ibsta":256})";

std::string writeLine(const std::string& message) {
    return R"({"op":"ibwrt","args":[32,")" + message + R"(\n",3],"ibsta":256})" + "\n";
}

std::string readLine(const std::string& data, bool end = true) {
    return R"({"op":"ibrd","args":[32,512],"data":")" + data + R"(","ibsta":)" +
           (end ? "8448" : "256") + "}\n";
}

// A write of `message` whose line is `length` bytes long without its line
// feed: an array no replay looks at makes up the rest.
std::string paddedWriteLine(const std::string& message, std::size_t length) {
    std::string line = writeLine(message);
    line.insert(1, R"("skipped":[],)");
    const std::size_t wanted = length - (line.size() - 1);
    std::string padding = "0";
    while (padding.size() + 2 <= wanted)
        padding += ",0";
    if (padding.size() < wanted) padding += ' ';
    line.insert(line.find("[]") + 1, padding);
    return line;
}

enum class Source { Text, File };

class LongLines : public testing::TestWithParam<Source> {};

// A line as long as the limit is read, however much of it is a skipped array;
// one byte more and it is skipped unread and named, and the lines after it
// read as before.
TEST_P(LongLines, ALineLongerThanTheLimitIsSkippedAndNamed) {
    const std::string atLimit = paddedWriteLine("A?", bus::kMaxTraceLine);
    const std::string overLimit = paddedWriteLine("B?", bus::kMaxTraceLine + 1);
    ASSERT_EQ(atLimit.size(), bus::kMaxTraceLine + 1);
    ASSERT_EQ(overLimit.size(), bus::kMaxTraceLine + 2);
    // The last line ends without a line feed.
    const std::string trace = kOpening + atLimit + readLine("a\\n") + overLimit + writeLine("C?") +
                              readLine("c\\n") + kFindFive;

    bus::ReplayLoad load;
    if (GetParam() == Source::Text) {
        load = bus::readTrace(trace, "run.jsonl");
    } else {
        // Read in pieces smaller than a line.
        const std::string path = testing_support::scratchFile(".jsonl");
        std::ofstream(path, std::ios::binary) << trace;
        load = bus::loadTrace(path);
        std::filesystem::remove(path);
        for (std::string& note : load.notes)
            if (note.rfind(path, 0) == 0) note.replace(0, path.size(), "run.jsonl");
    }
    ASSERT_EQ(load.error, "");
    EXPECT_EQ(load.notes, std::vector<std::string>{
                              "run.jsonl: 1 line is longer than 1 MiB and skipped (line 4)"});

    bus::ReplayBus bus(std::move(load.recording));
    Talk talk(bus);
    EXPECT_EQ(talk.ask(5, "A?\n"), "a\n");
    EXPECT_EQ(talk.ask(5, "B?\n"), kTimeout);
    EXPECT_EQ(talk.ask(5, "C?\n"), "c\n");
}

INSTANTIATE_TEST_SUITE_P(Readers, LongLines, testing::Values(Source::Text, Source::File),
                         [](const testing::TestParamInfo<Source>& info) {
                             return info.param == Source::Text ? "FromText" : "FromAFile";
                         });

struct QueueCase {
    const char* name;
    std::size_t answerSize;
    std::string steps;                 // w: the recorded write, c: a device clear
    std::vector<std::size_t> expected; // the sizes of the answers then read
};

class AnswerQueue : public testing::TestWithParam<QueueCase> {};

// Answers never read wait up to what a simulated instrument's output queue
// holds; those past it are lost.
TEST_P(AnswerQueue, UnreadAnswersWaitUpToTheInstrumentsOutputLimit) {
    std::string trace = kOpening + writeLine("CURV?");
    for (std::size_t left = GetParam().answerSize; left > 0;) {
        const std::size_t chunk = std::min<std::size_t>(left, 512 * 1024);
        left -= chunk;
        trace += readLine(std::string(chunk, 'x'), left == 0);
    }
    bus::ReplayLoad load = bus::readTrace(trace, "run.jsonl");
    ASSERT_EQ(load.error, "");
    bus::ReplayBus bus(std::move(load.recording));
    Talk talk(bus);
    const std::int32_t ud = talk.open(5);
    for (const char step : GetParam().steps) {
        if (step == 'w')
            talk.write(ud, "CURV?\n");
        else
            bus.ibclr(ud);
    }

    std::vector<std::size_t> sizes;
    std::vector<char> buffer(1 << 20);
    for (std::size_t size = 0;;) {
        bus.ibrd(ud, buffer.data(), static_cast<std::int32_t>(buffer.size()));
        if (talk.sta & bus::ERR) break;
        size += static_cast<std::size_t>(talk.cntl);
        if (talk.sta & bus::END) sizes.push_back(std::exchange(size, 0));
    }
    EXPECT_EQ(sizes, GetParam().expected);
}

constexpr std::size_t kLimit = bus::sim::Instrument::kMaxOutput;
constexpr std::size_t kWaveform = 300 * 1024;

std::vector<std::size_t> thirteenWaveformsAndTheCutOne() {
    std::vector<std::size_t> sizes(13, kWaveform);
    sizes.push_back(kLimit - 13 * kWaveform);
    return sizes;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, AnswerQueue, testing::Values(
    QueueCase{"TheAnswerThatCrossesTheLimitIsCutAndTheRestLost", kWaveform, std::string(20, 'w'),
              thirteenWaveformsAndTheCutOne()},
    QueueCase{"AnAnswerLongerThanTheLimitComesWholeAndLeavesNoRoom", kLimit + 1000, "ww",
              {kLimit + 1000}},
    QueueCase{"AClearMakesRoomAgain", kWaveform, std::string(20, 'w') + "cww",
              {kWaveform, kWaveform}}),
    [](const testing::TestParamInfo<QueueCase>& info) { return info.param.name; });
// clang-format on

} // namespace
