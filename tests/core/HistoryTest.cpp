#include "core/History.h"

#include "support/Files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using core::ExchangeRecord;
using core::History;
using testing_support::fileText;
using testing_support::scratchFile;

ExchangeRecord record(std::int64_t ms, int address, std::string sent, std::string answer,
                      std::string verdict = {}) {
    ExchangeRecord r;
    r.utcMs = ms;
    r.address = address;
    r.sent = std::move(sent);
    r.answer = std::move(answer);
    r.answerBytes = r.answer.size();
    r.durationUs = 1234;
    r.bytes = r.sent.size() + r.answer.size();
    r.verdict = std::move(verdict);
    return r;
}

// A history file of the test's own, gone (with what was set aside) once
// every history that had it open is closed: declared first, it goes last.
struct Scratch {
    std::string path = scratchFile(".jsonl");
    ~Scratch() {
        std::error_code ignored;
        for (const char* suffix : {"", ".unreadable"})
            std::filesystem::remove(path + suffix, ignored);
    }
};

void appendRaw(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

// The file's line is the format outside readers (jq, pandas) rely on; every
// byte value comes back from it.
TEST(ExchangeRecord, JsonLinesKeepEveryByteAndTheTime) {
    const ExchangeRecord idn = record(1796610301123, 22, "*IDN?\n", "Vireon Sim,VSO-2204\n");
    EXPECT_EQ(core::toJsonLine(idn),
              R"({"time":"2026-12-07T02:25:01.123Z","address":22,"sent":"*IDN?\n",)"
              R"("answer":"Vireon Sim,VSO-2204\n","answerBytes":20,"block":false,)"
              R"("durationUs":1234,"bytes":26,"verdict":""})");

    std::string every;
    for (int b = 0; b < 256; ++b)
        every += static_cast<char>(b);
    ExchangeRecord block = record(951782400000, 1, every, "", "stopped");
    block.block = true;
    block.answerBytes = 16000000;
    for (const ExchangeRecord& r : {idn, block, record(0, 30, "", every)})
        EXPECT_EQ(core::fromJsonLine(core::toJsonLine(r)), r) << core::toJsonLine(r);
    EXPECT_EQ(core::isoUtc(951782400000), "2000-02-29T00:00:00.000Z");
}

struct BadLine {
    const char* name;
    const char* line;
};

class ExchangeRecordBadLine : public testing::TestWithParam<BadLine> {};

TEST_P(ExchangeRecordBadLine, IsRefused) {
    EXPECT_FALSE(core::fromJsonLine(GetParam().line).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ExchangeRecordBadLine,
    testing::Values(
        BadLine{"NoTime", R"({"address":1})"},
        BadLine{"NoSuchDay", R"({"time":"2026-02-30T00:00:00.000Z"})"},
        BadLine{"AddressPastThirty", R"({"time":"2026-12-07T02:25:01.123Z","address":31})"},
        BadLine{"CharacterBeyondAByte", R"({"time":"2026-12-07T02:25:01.123Z","sent":"\u0100"})"},
        BadLine{"NestedObject", R"({"time":"2026-12-07T02:25:01.123Z","x":{}})"},
        BadLine{"CutShort", R"({"time":"2026-12-07T02:25:01.123Z","sent":"*ID)"},
        BadLine{"TrailingText", R"({"time":"2026-12-07T02:25:01.123Z"} x)"}),
    [](const auto& info) { return std::string(info.param.name); });

// RFC 4180: fields with a comma, quote or line end are quoted, quotes doubled,
// every row ends in CR LF; line ends sent show as \r and \n.
TEST(ExchangeRecord, CsvRowsQuoteWhatTheyMust) {
    EXPECT_EQ(core::csvHeader(), "time,address,sent,answer,duration_ms,bytes,verdict\r\n");
    ExchangeRecord r = record(0, 5, "MEAS:VOLT?\r\n", "1.5,\"2\"\n", "ESR 32: CME");
    EXPECT_EQ(core::toCsvRow(r), "1970-01-01T00:00:00.000Z,5,MEAS:VOLT?\\r\\n,\"1.5,\"\"2\"\"\\n\","
                                 "1.234,20,ESR 32: CME\r\n");
    r.block = true;
    r.answerBytes = 20000;
    EXPECT_EQ(core::shownAnswer(r), "block, 20000 bytes");
    EXPECT_EQ(core::shownText("\x80\xFF"), "\xE2\x82\xAC\xC3\xBF") << "Windows-1252, in UTF-8";
}

TEST(History, KeepsItsRowsAcrossRunsAndFindsThem) {
    const Scratch scratch;
    const std::string& path = scratch.path;
    {
        History history;
        EXPECT_EQ(history.open(path), "");
        EXPECT_TRUE(history.add(record(1000, 22, "*IDN?\n", "Vireon Sim,VSO-2204\n")));
        EXPECT_TRUE(history.add(record(2000, 5, "MEAS:VOLT?\n", "1.25\n")));
        EXPECT_TRUE(history.add(record(3000, 5, "FOO\n", "", "rejected")));
    }
    History history;
    EXPECT_EQ(history.open(path), "");
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[1], record(2000, 5, "MEAS:VOLT?\n", "1.25\n"));

    EXPECT_EQ(history.find("vso"), (std::vector<std::size_t>{0}));
    EXPECT_EQ(history.find("?", 5), (std::vector<std::size_t>{1}));
    EXPECT_EQ(history.find("", 0, "reject"), (std::vector<std::size_t>{2}));
    EXPECT_EQ(history.find("").size(), 3u);
}

// A console killed while writing leaves a line without its end: that line
// goes, every whole line stays, and the next row starts a line of its own.
TEST(History, ALineCutShortByAKillIsDroppedAndNothingElse) {
    const Scratch scratch;
    const std::string& path = scratch.path;
    {
        History history;
        history.open(path);
        history.add(record(1000, 22, "*IDN?\n", "x\n"));
    }
    appendRaw(path, R"({"time":"2026-12-07T02:25:01.123Z","sent":"*R)");
    {
        History history;
        EXPECT_EQ(history.open(path), "");
        EXPECT_EQ(history.size(), 1u);
        history.add(record(2000, 5, "*RST\n", ""));
    }
    History history;
    EXPECT_EQ(history.open(path), "");
    EXPECT_EQ(history.size(), 2u);
}

TEST(History, AFileThatCannotBeReadIsSetAsideWhole) {
    const Scratch scratch;
    const std::string& path = scratch.path;
    const std::string garbage = "{\"time\":\"2026-12-07T02:25:01.123Z\"}\nnot json\n";
    appendRaw(path, garbage);
    History history;
    const std::string note = history.open(path);
    EXPECT_NE(note.find("cannot be read"), std::string::npos) << note;
    EXPECT_EQ(history.size(), 0u);
    EXPECT_EQ(fileText(path + ".unreadable"), garbage);
    EXPECT_TRUE(history.add(record(1000, 1, "X\n", "")));
    EXPECT_EQ(fileText(path).find("not json"), std::string::npos);
}

// Past its cap the history drops its oldest rows, and the file follows
// once it holds a tenth more than the cap.
TEST(History, KeepsOnlyTheNewestRowsUpToItsCap) {
    const Scratch scratch;
    const std::string& path = scratch.path;
    {
        History history(10);
        history.open(path);
        for (int i = 0; i < 25; ++i)
            history.add(record(1000 * i, 1, "N" + std::to_string(i) + "\n", ""));
        ASSERT_EQ(history.size(), 10u);
        EXPECT_EQ(history[0].sent, "N15\n");
    }
    const std::string text = fileText(path);
    EXPECT_LE(std::count(text.begin(), text.end(), '\n'), 11);
    History history(10);
    history.open(path);
    ASSERT_EQ(history.size(), 10u);
    EXPECT_EQ(history[9].sent, "N24\n");
}

TEST(History, SaysWhatCouldNotBeWritten) {
    const std::string folder = scratchFile("-missing");
    History history;
    EXPECT_NE(history.open(folder + "/History.jsonl").find("cannot be written"), std::string::npos);
    EXPECT_FALSE(history.add(record(1000, 1, "X\n", "")));
    EXPECT_EQ(history.size(), 1u) << "the run keeps its rows in memory";
    EXPECT_NE(history.exportCsv(folder + "/out.csv", {0}), "");
}

} // namespace
