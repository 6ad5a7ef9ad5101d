#include "bus/drivers/TraceDriver.h"
#include "support/ScriptedDriver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

using bus::Addr4882;
using testing_support::ScriptedDriver;

// The file's lines; a last line without its line feed fails the test.
std::vector<std::string> traceLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(text.empty() || text.back() == '\n') << text;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// The line from "op" on, after checking that it opens with a UTC timestamp.
std::string afterTimestamp(const std::string& line) {
    static const std::regex ts(R"(\{"ts":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z",)");
    std::smatch m;
    EXPECT_TRUE(std::regex_search(line, m, ts, std::regex_constants::match_continuous)) << line;
    return m.empty() ? line : m.suffix().str();
}

// The bytes of a JSON string whose characters are U+0000..U+00FF; nullopt
// when it is not one.
std::optional<std::string> decodeBytes(std::string_view json) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') return std::nullopt;
    std::string bytes;
    for (std::size_t i = 1; i + 1 < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        if (c < 0x20 || c == '"' || c > 0xC3 || (c >= 0x80 && c < 0xC2)) return std::nullopt;
        if (c == '\\' && json[i + 1] == 'u')
            bytes += static_cast<char>(std::stoi(std::string(json.substr(i + 2, 4)), nullptr, 16)),
                i += 5;
        else if (c == '\\' && (json[i + 1] == '"' || json[i + 1] == '\\'))
            bytes += json[++i];
        else if (c == '\\')
            return std::nullopt;
        else if (c >= 0xC2)
            bytes += static_cast<char>(((c & 0x1F) << 6) | (json[++i] & 0x3F));
        else
            bytes += static_cast<char>(c);
    }
    return bytes;
}

struct TraceDriverTest : ::testing::Test {
    void SetUp() override {
        std::remove(path.c_str());
        std::ofstream(path) << "earlier\n"; // a trace appends
        auto inner = std::make_unique<ScriptedDriver>();
        scripted = inner.get();
        bus::TraceOpenResult opened = bus::TraceDriver::open(std::move(inner), path);
        ASSERT_EQ(opened.error, "");
        driver = std::move(opened.driver);
        ASSERT_EQ(driver->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    }
    void TearDown() override {
        driver.reset();
        std::remove(path.c_str());
    }
    std::vector<std::string> lines() const { return traceLines(path); }

    const std::string path =
        ::testing::TempDir() + "vireon_trace_" + std::to_string(std::random_device{}()) + ".jsonl";
    ScriptedDriver* scripted = nullptr;
    std::unique_ptr<bus::Driver> driver;
    std::int32_t sta = 7, err = 0, cnt = 0, cntl = 0;
};

struct OpCase {
    const char* name;
    std::function<void(bus::Driver&, ScriptedDriver&)> call; // one driver call unless lines says
    const char* line;                                        // the last line from "op" on
    std::size_t lines = 1;
};

class TraceOps : public TraceDriverTest, public ::testing::WithParamInterface<OpCase> {};

TEST_P(TraceOps, OneLinePerCallWithItsFieldsInOrder) {
    GetParam().call(*driver, *scripted);
    const auto all = lines();
    ASSERT_EQ(all.size(), 2 + GetParam().lines);
    EXPECT_EQ(all[0], "earlier");
    EXPECT_EQ(afterTimestamp(all[1]),
              R"("op":"RegisterGpibGlobalsForThread","args":[],"data":0,"ibsta":7,"iberr":0,)"
              R"("ibcntl":0})");
    EXPECT_EQ(afterTimestamp(all.back()), GetParam().line);
}

constexpr std::int32_t kFailed = bus::ERR | bus::CMPL;
char gBuffer[16];
Addr4882 gFound[16];
const Addr4882 gProbes[] = {5, 9, 22, bus::NOADDR};

const OpCase kOps[] = {
    {"SendIFC",
     [](auto& d, auto& s) {
         s.outcomes = {{kFailed, bus::ECIC}}, d.SendIFC(0);
     },
     R"("op":"SendIFC","args":[0],"ibsta":33024,"iberr":1,"ibcntl":0})"},
    {"ibsre", [](auto& d, auto&) { d.ibsre(0, 1); },
     R"("op":"ibsre","args":[0,1],"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"FindLstn",
     [](auto& d, auto& s) {
         s.listeners = {5, 22}, d.FindLstn(0, gProbes, gFound, 15);
     },
     R"("op":"FindLstn","args":[0,[5,9,22,65535],15],"data":[5,22],"ibsta":0,"iberr":0,"ibcntl":2})"},
    {"ibdev", [](auto& d, auto& s) { s.descriptor = -1, d.ibdev(0, 1, 0, bus::T1s, 1, 0); },
     R"("op":"ibdev","args":[0,1,0,11,1,0],"data":-1,"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"ibpad", [](auto& d, auto&) { d.ibpad(32, 5); },
     R"("op":"ibpad","args":[32,5],"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"ibtmo", [](auto& d, auto&) { d.ibtmo(32, bus::T3s); },
     R"("op":"ibtmo","args":[32,12],"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"ibask",
     [](auto& d, auto&) {
         std::int32_t v = 0;
         d.ibask(32, bus::IbaTMO, &v);
     },
     R"("op":"ibask","args":[32,3],"data":11,"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"ibwait", [](auto& d, auto&) { d.ibwait(32, bus::TIMO | bus::CMPL); },
     R"("op":"ibwait","args":[32,16640],"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"ibwrt", [](auto& d, auto&) { d.ibwrt(32, "*IDN?\n", 6); },
     R"("op":"ibwrt","args":[32,"*IDN?\u000a",6],"ibsta":0,"iberr":0,"ibcntl":6})"},
    {"ibrd", [](auto& d, auto& s) { s.reads = {{"1.5\n"}}, d.ibrd(32, gBuffer, 16); },
     R"("op":"ibrd","args":[32,16],"data":"1.5\u000a","ibsta":8192,"iberr":0,"ibcntl":4})"},
    {"ibrdTimeout", [](auto& d, auto&) { d.ibrd(32, gBuffer, 8); },
     R"("op":"ibrd","args":[32,8],"data":"","ibsta":49152,"iberr":6,"ibcntl":0})"},
    // A driver that miscounts: the data never reaches beyond the buffer.
    {"ibrdMiscounted",
     [](auto& d, auto& s) {
         s.reads = {{"0123456", 0, 0, 99}}, d.ibrd(32, gBuffer, 4);
     },
     R"("op":"ibrd","args":[32,4],"data":"0123","ibsta":0,"iberr":0,"ibcntl":99})"},
    {"ibrsp", [](auto& d, auto& s) { s.pollBytes = {0xC1}, d.ibrsp(32, gBuffer); },
     R"("op":"ibrsp","args":[32],"data":193,"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"DevClear", [](auto& d, auto&) { d.DevClear(0, 9); },
     R"("op":"DevClear","args":[0,9],"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"ibonl", [](auto& d, auto&) { d.ibonl(32, 0); },
     R"("op":"ibonl","args":[32,0],"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"ibwrtfA", [](auto& d, auto&) { d.ibwrtfA(32, "C:\\data\\\"w\".bin"); },
     R"("op":"ibwrtfA","args":[32,"C:\\data\\\"w\".bin"],"ibsta":0,"iberr":0,"ibcntl":0})"},
    {"ibrdfA", [](auto& d, auto&) { d.ibrdfA(32, "/tmp/m\xE9sure"); },
     "\"op\":\"ibrdfA\",\"args\":[32,\"/tmp/"
     "m\xC3\xA9sure\"],\"ibsta\":0,\"iberr\":0,\"ibcntl\":0}"},
    // After unregistering, and after a refused registration, the trace reads
    // exactly the variables the driver writes.
    {"unregistered",
     [](auto& d, auto&) { d.UnregisterGpibGlobalsForThread(), d.ibwrt(32, "abc", 3); },
     R"("op":"ibwrt","args":[32,"abc",3],"ibsta":0,"iberr":0,"ibcntl":0})", 2},
    {"refusedRegistration",
     [](auto& d, auto& s) {
         std::int32_t other[4] = {};
         s.registerResults = {2};
         d.RegisterGpibGlobalsForThread(&other[0], &other[1], &other[2], &other[3]);
         d.ibwrt(32, "abcd", 4);
     },
     R"("op":"ibwrt","args":[32,"abcd",4],"ibsta":0,"iberr":0,"ibcntl":4})", 2},
};

INSTANTIATE_TEST_SUITE_P(AllOperations, TraceOps, ::testing::ValuesIn(kOps),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TraceDriverTest, EveryByteValueRoundTripsThroughWrittenAndReadData) {
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b)
        all[static_cast<std::size_t>(b)] = static_cast<char>(b);
    scripted->reads = {{all}};
    std::string buffer(300, 'x');
    driver->ibwrt(32, all.data(), 256);
    driver->ibrd(32, buffer.data(), 300);
    const auto got = lines();
    ASSERT_EQ(got.size(), 4u);
    const std::string wrote = afterTimestamp(got[2]), read = afterTimestamp(got[3]);
    const std::size_t w = std::string(R"("op":"ibwrt","args":[32,)").size();
    EXPECT_EQ(decodeBytes(std::string_view(wrote).substr(w, wrote.rfind(",256]") - w)), all);
    const std::size_t r = read.find(R"("data":)") + 7;
    EXPECT_EQ(decodeBytes(std::string_view(read).substr(r, read.rfind(R"(,"ibsta")") - r)), all);
    for (const std::string& line : got)
        for (const char c : line)
            EXPECT_GE(static_cast<unsigned char>(c), 0x20) << line;
}

TEST(TraceDriverFile, AWriteFailureIsReportedOnceAndTheDriverGoesOn) {
    // /dev/full accepts the open and fails every flush with "no space".
    if (std::FILE* probe = std::fopen("/dev/full", "ab"))
        std::fclose(probe);
    else
        GTEST_SKIP() << "this system has no /dev/full to fail writes with";
    std::vector<std::string> reports;
    auto inner = std::make_unique<ScriptedDriver>();
    ScriptedDriver& scripted = *inner;
    bus::TraceOpenResult opened = bus::TraceDriver::open(
        std::move(inner), "/dev/full", [&](const std::string& text) { reports.push_back(text); });
    auto* trace = dynamic_cast<bus::TraceDriver*>(opened.driver.get());
    ASSERT_NE(trace, nullptr) << opened.error;
    std::int32_t s = 0, e = 0, c = 0, cl = 0;
    EXPECT_EQ(trace->RegisterGpibGlobalsForThread(&s, &e, &c, &cl), 0);
    EXPECT_FALSE(trace->tracing());
    scripted.reads = {{"42\n"}, {"42\n"}, {"42\n"}};
    char buffer[8];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(trace->ibwrt(32, "READ?\n", 6), 0);
        EXPECT_EQ(cl, 6);
        EXPECT_EQ(trace->ibrd(32, buffer, sizeof buffer), bus::END);
        EXPECT_EQ(cl, 3);
    }
    EXPECT_EQ(scripted.calls.size(), 7u);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("'/dev/full'"), std::string::npos) << reports[0];
}

TEST(TraceTimestamp, IsUtcWithMicroseconds) {
    EXPECT_EQ(bus::traceTimestamp(0), "1970-01-01T00:00:00.000000Z");
    EXPECT_EQ(bus::traceTimestamp(1714566896123456), "2024-05-01T12:34:56.123456Z");
    EXPECT_EQ(bus::traceTimestamp(951782400000001), "2000-02-29T00:00:00.000001Z");
    EXPECT_EQ(bus::traceTimestamp(-1), "1969-12-31T23:59:59.999999Z");
}

} // namespace
