#include "bus/drivers/TraceDriver.h"

#include "bus/drivers/ThreadGlobals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using bus::Addr4882;

// A back end whose outcomes the test sets; it writes the calling thread's
// registered variables as a real driver does.
class FakeDriver final : public bus::Driver {
public:
    bus::ThreadGlobals globals;
    std::int32_t sta = bus::CMPL;
    std::int32_t err = 0;
    std::string reply;              // what ibrd puts into the buffer
    std::int32_t claimedCount = -1; // when >= 0, the count ibrd reports
    std::vector<Addr4882> listeners;
    std::int32_t descriptor = 32;
    std::int32_t timeout = bus::T10s;
    unsigned char pollByte = 0xC1;
    int calls = 0;

    std::int32_t RegisterGpibGlobalsForThread(std::int32_t* s, std::int32_t* e, std::int32_t* c,
                                              std::int32_t* cl) override {
        return globals.registerThread(s, e, c, cl);
    }
    std::int32_t UnregisterGpibGlobalsForThread() override { return globals.unregisterThread(); }
    void SendIFC(std::int32_t) override { done(0); }
    std::int32_t ibsre(std::int32_t, std::int32_t) override { return done(0); }
    void FindLstn(std::int32_t, const Addr4882*, Addr4882* resultlist,
                  std::int32_t limit) override {
        const auto n = std::min<std::int32_t>(static_cast<std::int32_t>(listeners.size()), limit);
        std::copy_n(listeners.begin(), n, resultlist);
        done(n);
    }
    std::int32_t ibdev(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                       std::int32_t) override {
        done(0);
        return descriptor;
    }
    std::int32_t ibpad(std::int32_t, std::int32_t) override { return done(0); }
    std::int32_t ibtmo(std::int32_t, std::int32_t) override { return done(0); }
    std::int32_t ibask(std::int32_t, std::int32_t, std::int32_t* value) override {
        *value = timeout;
        return done(0);
    }
    std::int32_t ibwait(std::int32_t, std::int32_t) override { return done(0); }
    std::int32_t ibwrt(std::int32_t, const void*, std::int32_t cnt) override { return done(cnt); }
    std::int32_t ibrd(std::int32_t, void* buf, std::int32_t cnt) override {
        const auto n = std::min<std::int32_t>(static_cast<std::int32_t>(reply.size()), cnt);
        std::memcpy(buf, reply.data(), static_cast<std::size_t>(n));
        return done(claimedCount >= 0 ? claimedCount : n);
    }
    std::int32_t ibrsp(std::int32_t, char* spr) override {
        spr[0] = static_cast<char>(pollByte);
        return done(0);
    }
    void DevClear(std::int32_t, Addr4882) override { done(0); }
    std::int32_t ibonl(std::int32_t, std::int32_t) override { return done(0); }
    std::int32_t ibwrtfA(std::int32_t, const char*) override { return done(0); }
    std::int32_t ibrdfA(std::int32_t, const char*) override { return done(0); }

private:
    std::int32_t done(std::int32_t cnt) {
        std::lock_guard lock(mutex_);
        ++calls;
        return globals.publish(sta, err, cnt);
    }
    std::mutex mutex_;
};

std::string tempTracePath() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return ::testing::TempDir() + "vireon_trace_" + name + "_" +
           std::to_string(std::random_device{}()) + ".jsonl";
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The file's lines; a last line without its line feed fails the test.
std::vector<std::string> traceLines(const std::string& path) {
    const std::string text = fileText(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "unterminated last line: " << text.substr(start);
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool isTimestamp(std::string_view ts) {
    static constexpr std::string_view shape = "dddd-dd-ddTdd:dd:dd.ddddddZ";
    if (ts.size() != shape.size()) return false;
    for (std::size_t i = 0; i < ts.size(); ++i) {
        const bool ok = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(ts[i])) != 0
                                        : ts[i] == shape[i];
        if (!ok) return false;
    }
    return true;
}

// The line from "op" on, after checking it opens with a well-formed "ts".
std::string afterTimestamp(const std::string& line) {
    const std::string open = "{\"ts\":\"";
    if (line.rfind(open, 0) != 0 || line.size() < open.size() + 29 ||
        !isTimestamp(std::string_view(line).substr(open.size(), 27)) ||
        line.compare(open.size() + 27, 2, "\",") != 0) {
        ADD_FAILURE() << "line does not open with a timestamp: " << line;
        return line;
    }
    return line.substr(open.size() + 29);
}

// Decodes the JSON string that opens at text[pos] back into bytes, each
// character standing for the byte of its code; nullopt when the string is
// not valid JSON, not UTF-8, or holds a character above U+00FF.
std::optional<std::string> decodeByteString(const std::string& text, std::size_t pos) {
    if (pos >= text.size() || text[pos] != '"') return std::nullopt;
    std::string bytes;
    for (std::size_t i = pos + 1; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"') return bytes;
        if (c < 0x20) return std::nullopt;
        if (c == '\\') {
            if (i + 1 >= text.size()) return std::nullopt;
            const char e = text[i + 1];
            if (e == 'u') {
                if (i + 6 > text.size()) return std::nullopt;
                unsigned code = 0;
                for (std::size_t k = i + 2; k < i + 6; ++k) {
                    const char h = text[k];
                    if (!std::isxdigit(static_cast<unsigned char>(h))) return std::nullopt;
                    code = code * 16 + static_cast<unsigned>(
                                           std::isdigit(h) ? h - '0' : std::tolower(h) - 'a' + 10);
                }
                if (code > 0xFF) return std::nullopt;
                bytes += static_cast<char>(code);
                i += 6;
                continue;
            }
            static constexpr std::string_view from = "\"\\/bfnrt";
            static constexpr std::string_view to = "\"\\/\b\f\n\r\t";
            const std::size_t k = from.find(e);
            if (k == std::string_view::npos) return std::nullopt;
            bytes += to[k];
            i += 2;
            continue;
        }
        if (c < 0x80) {
            bytes += static_cast<char>(c);
            ++i;
            continue;
        }
        // Only two-byte sequences for U+0080..U+00FF are allowed.
        if ((c != 0xC2 && c != 0xC3) || i + 1 >= text.size()) return std::nullopt;
        const auto c2 = static_cast<unsigned char>(text[i + 1]);
        if ((c2 & 0xC0) != 0x80) return std::nullopt;
        bytes += static_cast<char>(((c & 0x1F) << 6) | (c2 & 0x3F));
        i += 2;
    }
    return std::nullopt;
}

std::string allBytes() {
    std::string bytes(256, '\0');
    for (int b = 0; b < 256; ++b)
        bytes[static_cast<std::size_t>(b)] = static_cast<char>(b);
    return bytes;
}

class TraceDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = tempTracePath();
        auto inner = std::make_unique<FakeDriver>();
        fake = inner.get();
        bus::TraceOpenResult opened = bus::TraceDriver::open(std::move(inner), path);
        ASSERT_EQ(opened.error, "");
        driver = std::move(opened.driver);
    }
    void TearDown() override {
        driver.reset();
        std::remove(path.c_str());
    }

    std::int32_t registerVariables() {
        return driver->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    }
    std::vector<std::string> lines() const { return traceLines(path); }
    std::string lastLine() const {
        const auto all = lines();
        return all.empty() ? std::string() : afterTimestamp(all.back());
    }

    std::string path;
    FakeDriver* fake = nullptr;
    std::unique_ptr<bus::Driver> driver;
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};

// --- one line per call, every operation -------------------------------------

struct OpCase {
    const char* name;
    std::function<void(bus::Driver&, FakeDriver&)> call;
    const char* line; // from "op" on
};

class TraceDriverOpTest : public TraceDriverTest, public ::testing::WithParamInterface<OpCase> {};

TEST_P(TraceDriverOpTest, WritesOneLineWithItsFieldsInOrder) {
    ASSERT_EQ(registerVariables(), 0);
    const std::size_t before = lines().size();
    GetParam().call(*driver, *fake);
    const auto all = lines();
    ASSERT_EQ(all.size(), before + 1);
    EXPECT_EQ(afterTimestamp(all.back()), GetParam().line);
}

const OpCase kOpCases[] = {
    {"SendIFC", [](bus::Driver& d, FakeDriver&) { d.SendIFC(0); },
     R"("op":"SendIFC","args":[0],"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"ibsre", [](bus::Driver& d, FakeDriver&) { d.ibsre(0, 1); },
     R"("op":"ibsre","args":[0,1],"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"FindLstn",
     [](bus::Driver& d, FakeDriver& f) {
         f.listeners = {5, 22};
         const Addr4882 probes[] = {5, 9, 22, bus::NOADDR};
         Addr4882 found[16] = {};
         d.FindLstn(0, probes, found, 15);
     },
     R"("op":"FindLstn","args":[0,[5,9,22,65535],15],"data":[5,22],"ibsta":256,"iberr":0,"ibcntl":2})"},
    {"FindLstnNobody",
     [](bus::Driver& d, FakeDriver& f) {
         f.sta = bus::ERR | bus::CMPL;
         f.err = bus::EBUS;
         const Addr4882 probes[] = {1, 2, bus::NOADDR};
         Addr4882 found[16] = {};
         d.FindLstn(0, probes, found, 15);
     },
     R"("op":"FindLstn","args":[0,[1,2,65535],15],"data":[],"ibsta":33024,"iberr":14,"ibcntl":0})"},
    {"ibdev", [](bus::Driver& d, FakeDriver&) { d.ibdev(0, 1, 0, bus::T1s, 1, 0); },
     R"("op":"ibdev","args":[0,1,0,11,1,0],"data":32,"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"ibdevFails",
     [](bus::Driver& d, FakeDriver& f) {
         f.descriptor = -1;
         f.sta = bus::ERR;
         f.err = bus::ENEB;
         d.ibdev(0, 1, 0, bus::T1s, 1, 0);
     },
     R"("op":"ibdev","args":[0,1,0,11,1,0],"data":-1,"ibsta":32768,"iberr":7,"ibcntl":0})"},
    {"ibpad", [](bus::Driver& d, FakeDriver&) { d.ibpad(32, 5); },
     R"("op":"ibpad","args":[32,5],"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"ibtmo", [](bus::Driver& d, FakeDriver&) { d.ibtmo(32, bus::T3s); },
     R"("op":"ibtmo","args":[32,12],"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"ibask",
     [](bus::Driver& d, FakeDriver&) {
         std::int32_t v = 0;
         d.ibask(32, bus::IbaTMO, &v);
     },
     R"("op":"ibask","args":[32,3],"data":13,"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"ibwait", [](bus::Driver& d, FakeDriver&) { d.ibwait(32, bus::TIMO | bus::CMPL); },
     R"("op":"ibwait","args":[32,16640],"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"ibwrt", [](bus::Driver& d, FakeDriver&) { d.ibwrt(32, "*IDN?\n", 6); },
     R"("op":"ibwrt","args":[32,"*IDN?\u000a",6],"ibsta":256,"iberr":0,"ibcntl":6})"},
    {"ibrd",
     [](bus::Driver& d, FakeDriver& f) {
         f.reply = "1.5\n";
         f.sta = bus::END | bus::CMPL;
         char buf[16];
         std::memset(buf, ' ', sizeof buf);
         d.ibrd(32, buf, sizeof buf);
     },
     R"("op":"ibrd","args":[32,16],"data":"1.5\u000a","ibsta":8448,"iberr":0,"ibcntl":4})"},
    {"ibrdTimeout",
     [](bus::Driver& d, FakeDriver& f) {
         f.sta = bus::ERR | bus::TIMO | bus::CMPL;
         f.err = bus::EABO;
         char buf[8];
         std::memset(buf, ' ', sizeof buf);
         d.ibrd(32, buf, sizeof buf);
     },
     R"("op":"ibrd","args":[32,8],"data":"","ibsta":49408,"iberr":6,"ibcntl":0})"},
    {"ibrsp",
     [](bus::Driver& d, FakeDriver&) {
         char spr[2] = {' ', ' '};
         d.ibrsp(32, spr);
     },
     R"("op":"ibrsp","args":[32],"data":193,"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"DevClear", [](bus::Driver& d, FakeDriver&) { d.DevClear(0, 9); },
     R"("op":"DevClear","args":[0,9],"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"ibwrtfA", [](bus::Driver& d, FakeDriver&) { d.ibwrtfA(32, "C:\\data\\\"w\".bin"); },
     R"("op":"ibwrtfA","args":[32,"C:\\data\\\"w\".bin"],"ibsta":256,"iberr":0,"ibcntl":0})"},
    {"ibrdfA", [](bus::Driver& d, FakeDriver&) { d.ibrdfA(32, "/tmp/m\xE9sure.dat"); },
     "\"op\":\"ibrdfA\",\"args\":[32,\"/tmp/m\xC3\xA9sure.dat\"],\"ibsta\":256,\"iberr\":0,"
     "\"ibcntl\":0}"},
};

INSTANTIATE_TEST_SUITE_P(AllOperations, TraceDriverOpTest, ::testing::ValuesIn(kOpCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- registration and whose status is read -----------------------------------

TEST_F(TraceDriverTest, RegistrationCallsAreTracedWithTheirResult) {
    sta = 7; // whatever the caller's variables hold is what follows the call
    ASSERT_EQ(registerVariables(), 0);
    EXPECT_EQ(
        lastLine(),
        R"("op":"RegisterGpibGlobalsForThread","args":[],"data":0,"ibsta":7,"iberr":0,"ibcntl":0})");
    ASSERT_EQ(registerVariables(), 1);
    EXPECT_EQ(
        lastLine(),
        R"("op":"RegisterGpibGlobalsForThread","args":[],"data":1,"ibsta":7,"iberr":0,"ibcntl":0})");
    ASSERT_EQ(driver->UnregisterGpibGlobalsForThread(), 0);
    EXPECT_EQ(
        lastLine(),
        R"("op":"UnregisterGpibGlobalsForThread","args":[],"data":0,"ibsta":0,"iberr":0,"ibcntl":0})");
}

TEST_F(TraceDriverTest, EachLineHoldsTheStatusLeftByItsOwnCall) {
    ASSERT_EQ(registerVariables(), 0);
    fake->sta = bus::ERR | bus::CMPL;
    fake->err = bus::ENOL;
    driver->ibwrt(32, "A", 1);
    fake->sta = bus::CMPL;
    fake->err = 0;
    driver->ibwrt(32, "BC", 2);
    const auto all = lines();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(afterTimestamp(all[1]),
              R"("op":"ibwrt","args":[32,"A",1],"ibsta":33024,"iberr":2,"ibcntl":1})");
    EXPECT_EQ(afterTimestamp(all[2]),
              R"("op":"ibwrt","args":[32,"BC",2],"ibsta":256,"iberr":0,"ibcntl":2})");
}

TEST_F(TraceDriverTest, AThreadThatRegisteredNothingReadsZeros) {
    sta = 1;
    err = 2;
    cntl = 3;
    driver->ibwrt(32, "xyz", 3);
    EXPECT_EQ(lastLine(), R"("op":"ibwrt","args":[32,"xyz",3],"ibsta":0,"iberr":0,"ibcntl":0})");
    EXPECT_EQ(sta, 1); // nothing registered, nothing written
}

TEST_F(TraceDriverTest, AfterUnregisteringTheVariablesAreNoLongerRead) {
    ASSERT_EQ(registerVariables(), 0);
    driver->ibwrt(32, "ab", 2);
    ASSERT_EQ(driver->UnregisterGpibGlobalsForThread(), 0);
    driver->ibwrt(32, "abc", 3);
    EXPECT_EQ(lastLine(), R"("op":"ibwrt","args":[32,"abc",3],"ibsta":0,"iberr":0,"ibcntl":0})");
    EXPECT_EQ(cntl, 2);
}

TEST_F(TraceDriverTest, ARefusedRegistrationKeepsReadingTheVariablesTheDriverWrites) {
    ASSERT_EQ(registerVariables(), 0);
    std::int32_t s2 = 0, e2 = 0, c2 = 0, cl2 = 0;
    ASSERT_EQ(driver->RegisterGpibGlobalsForThread(&s2, &e2, &c2, &cl2), 2);
    driver->ibwrt(32, "abcd", 4);
    EXPECT_EQ(lastLine(), R"("op":"ibwrt","args":[32,"abcd",4],"ibsta":256,"iberr":0,"ibcntl":4})");
    EXPECT_EQ(cl2, 0);
}

TEST_F(TraceDriverTest, EachThreadReadsItsOwnVariablesAndLinesNeverInterleave) {
    constexpr int kCalls = 200;
    auto worker = [this](std::int32_t length) {
        std::int32_t s = 0, e = 0, c = 0, cl = 0;
        driver->RegisterGpibGlobalsForThread(&s, &e, &c, &cl);
        const std::string bytes(static_cast<std::size_t>(length), 'q');
        for (int i = 0; i < kCalls; ++i)
            driver->ibwrt(32, bytes.data(), length);
        driver->UnregisterGpibGlobalsForThread();
    };
    std::thread a(worker, 3);
    std::thread b(worker, 5);
    a.join();
    b.join();

    int threes = 0, fives = 0;
    for (const std::string& line : lines()) {
        const std::string rest = afterTimestamp(line);
        if (rest.rfind(R"("op":"ibwrt")", 0) != 0) continue;
        if (rest == R"("op":"ibwrt","args":[32,"qqq",3],"ibsta":256,"iberr":0,"ibcntl":3})")
            ++threes;
        else if (rest == R"("op":"ibwrt","args":[32,"qqqqq",5],"ibsta":256,"iberr":0,"ibcntl":5})")
            ++fives;
        else
            ADD_FAILURE() << "unexpected line: " << line;
    }
    EXPECT_EQ(threes, kCalls);
    EXPECT_EQ(fives, kCalls);
}

// --- bytes ------------------------------------------------------------------

TEST_F(TraceDriverTest, WrittenBytesSurviveEveryValue) {
    const std::string bytes = allBytes();
    driver->ibwrt(32, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    const std::string rest = lastLine();
    const std::string lead = R"("op":"ibwrt","args":[32,)";
    ASSERT_EQ(rest.rfind(lead, 0), 0u) << rest;
    EXPECT_EQ(decodeByteString(rest, lead.size()), bytes);
    for (const char* piece : {R"(\u0000)", R"(\u000a)", R"(\u000d)", R"(\u001f)", R"(\")", R"(\\)",
                              R"(\u007f)", "\xC2\x80", "\xC3\xBF"})
        EXPECT_NE(rest.find(piece), std::string::npos) << piece;
    EXPECT_TRUE(std::none_of(rest.begin(), rest.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
}

TEST_F(TraceDriverTest, ReadDataIsExactlyTheBytesReceived) {
    ASSERT_EQ(registerVariables(), 0);
    fake->reply = allBytes();
    std::string buffer(300, 'x');
    driver->ibrd(32, buffer.data(), static_cast<std::int32_t>(buffer.size()));
    const std::string rest = lastLine();
    const std::size_t at = rest.find(R"("data":)");
    ASSERT_NE(at, std::string::npos) << rest;
    EXPECT_EQ(decodeByteString(rest, at + 7), fake->reply);
    EXPECT_NE(rest.find(R"("ibcntl":256})"), std::string::npos) << rest;
}

TEST_F(TraceDriverTest, ReadDataNeverReachesBeyondTheBuffer) {
    ASSERT_EQ(registerVariables(), 0);
    fake->reply = "0123456789";
    fake->claimedCount = 1000; // a driver that miscounts
    char buffer[4];
    driver->ibrd(32, buffer, sizeof buffer);
    EXPECT_EQ(lastLine(),
              R"("op":"ibrd","args":[32,4],"data":"0123","ibsta":256,"iberr":0,"ibcntl":1000})");
}

// --- the file ---------------------------------------------------------------

TEST_F(TraceDriverTest, AppendsToWhatTheFileHeld) {
    driver->SendIFC(0);
    driver.reset();
    bus::TraceOpenResult again = bus::TraceDriver::open(std::make_unique<FakeDriver>(), path);
    ASSERT_EQ(again.error, "");
    again.driver->ibsre(0, 1);
    const auto all = lines();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(afterTimestamp(all[0]).rfind(R"("op":"SendIFC")", 0), 0u);
    EXPECT_EQ(afterTimestamp(all[1]).rfind(R"("op":"ibsre")", 0), 0u);
}

struct BadPath {
    const char* name;
    std::string path;
};

class TraceDriverOpenTest : public ::testing::TestWithParam<BadPath> {};

TEST_P(TraceDriverOpenTest, AFileThatCannotBeOpenedGivesBackTheDriverUntraced) {
    auto inner = std::make_unique<FakeDriver>();
    FakeDriver* fake = inner.get();
    bus::TraceOpenResult opened = bus::TraceDriver::open(std::move(inner), GetParam().path);
    EXPECT_EQ(opened.driver.get(), fake);
    const std::string named = "cannot open trace file '" + GetParam().path + "': ";
    ASSERT_EQ(opened.error.rfind(named, 0), 0u) << opened.error;
    EXPECT_GT(opened.error.size(), named.size()) << "no reason given";
    std::int32_t s = 0, e = 0, c = 0, cl = 0;
    opened.driver->RegisterGpibGlobalsForThread(&s, &e, &c, &cl);
    EXPECT_EQ(opened.driver->ibwrt(32, "x", 1), bus::CMPL);
    EXPECT_EQ(cl, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Unopenable, TraceDriverOpenTest,
    ::testing::Values(BadPath{"MissingFolder", ::testing::TempDir() + "no-such-folder/t.jsonl"},
                      BadPath{"AFolder", ::testing::TempDir()}, BadPath{"Empty", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TraceDriverWriteFailure, IsReportedOnceAndTheDriverGoesOn) {
    // /dev/full accepts the open and fails every flush with "no space".
    if (std::FILE* probe = std::fopen("/dev/full", "ab"))
        std::fclose(probe);
    else
        GTEST_SKIP() << "this system has no /dev/full to fail writes with";

    std::vector<std::string> reports;
    auto inner = std::make_unique<FakeDriver>();
    FakeDriver* fake = inner.get();
    bus::TraceOpenResult opened = bus::TraceDriver::open(
        std::move(inner), "/dev/full", [&](const std::string& text) { reports.push_back(text); });
    ASSERT_EQ(opened.error, "");
    auto* trace = dynamic_cast<bus::TraceDriver*>(opened.driver.get());
    ASSERT_NE(trace, nullptr);

    std::int32_t s = 0, e = 0, c = 0, cl = 0;
    EXPECT_EQ(trace->RegisterGpibGlobalsForThread(&s, &e, &c, &cl), 0);
    EXPECT_FALSE(trace->tracing());
    fake->reply = "42\n";
    char buffer[8];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(trace->ibwrt(32, "READ?\n", 6), bus::CMPL);
        EXPECT_EQ(cl, 6);
        EXPECT_EQ(trace->ibrd(32, buffer, sizeof buffer), bus::CMPL);
        EXPECT_EQ(cl, 3);
    }
    EXPECT_EQ(fake->calls, 6);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("'/dev/full'"), std::string::npos) << reports[0];
}

// --- timestamps -------------------------------------------------------------

struct TimeCase {
    std::int64_t micros;
    const char* text;
};

void PrintTo(const TimeCase& c, std::ostream* os) {
    *os << c.micros << " us";
}

class TraceTimestampTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TraceTimestampTest, IsUtcWithMicroseconds) {
    EXPECT_EQ(bus::traceTimestamp(GetParam().micros), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Instants, TraceTimestampTest,
                         ::testing::Values(TimeCase{0, "1970-01-01T00:00:00.000000Z"},
                                           TimeCase{1714566896123456,
                                                    "2024-05-01T12:34:56.123456Z"},
                                           TimeCase{951782400000001, "2000-02-29T00:00:00.000001Z"},
                                           TimeCase{-1, "1969-12-31T23:59:59.999999Z"}));

} // namespace
