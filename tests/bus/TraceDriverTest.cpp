#include "bus/drivers/TraceDriver.h"
#include "support/Files.h"
#include "support/ScriptedDriver.h"
#include "support/Talk.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using testing_support::ScriptedDriver;

// The file's lines, each from "op" on when it opens with a timestamp; the
// last one must end with a line feed.
std::vector<std::string> traceLines(const std::string& path) {
    const std::string text = testing_support::fileText(path);
    EXPECT_TRUE(text.empty() || text.back() == '\n') << text;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = text.substr(at, end - at);
        std::string shape = line.substr(0, 36); // d stands for a digit
        for (char& c : shape)
            if (std::isdigit(static_cast<unsigned char>(c))) c = 'd';
        const bool stamped = shape == R"({"ts":"dddd-dd-ddTdd:dd:dd.ddddddZ",)";
        lines.push_back(stamped ? line.substr(36) : line);
    }
    return lines;
}

// Each call in turn → the line it adds, from "op" on; status fields read
// after the call from exactly the variables the driver writes.
TEST(TraceDriver, EveryOperationAddsOneLineWithItsFieldsInOrder) {
    const std::string path = testing_support::scratchFile(".jsonl");
    std::ofstream(path, std::ios::binary) << "earlier\n"; // a trace appends
    auto inner = std::make_unique<ScriptedDriver>();
    ScriptedDriver* s = inner.get();
    std::unique_ptr<bus::Driver> d = bus::TraceDriver::open(std::move(inner), path).driver;
    std::int32_t sta = 7, err = 0, cnt = 0, cntl = 0;
    ASSERT_EQ(d->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    char buffer[16];
    std::int32_t value = 0, other[4] = {};
    const bus::Addr4882 probes[] = {5, 9, 22, bus::NOADDR};
    bus::Addr4882 found[16] = {};
    s->outcomes = {{bus::ERR | bus::CMPL, bus::ECIC}};
    d->SendIFC(0);
    d->ibsre(0, 1);
    s->listeners = {5, 22};
    d->FindLstn(0, probes, found, 15);
    d->ibdev(0, 1, 0, bus::T1s, 1, 0);
    d->ibpad(32, 5);
    d->ibtmo(32, bus::T3s);
    d->ibask(32, bus::IbaTMO, &value);
    d->ibwait(32, bus::TIMO | bus::CMPL);
    s->reads = {{"1.5\n"}};
    d->ibrd(32, buffer, 16);
    // A driver that miscounts: the data never reaches beyond the buffer.
    s->reads = {{"0123456", 0, 0, 99}};
    d->ibrd(32, buffer, 4);
    s->pollBytes = {0xC1};
    d->ibrsp(32, buffer);
    d->DevClear(0, 9);
    d->ibonl(32, 0);
    d->ibwrtfA(32, "C:\\d\\\"w\".bin");
    d->ibrdfA(32, "/m\xE9s");
    s->registerResults = {2};
    d->RegisterGpibGlobalsForThread(&other[0], &other[1], &other[2], &other[3]);
    d->ibwrt(32, "abcd", 4);
    d->UnregisterGpibGlobalsForThread();
    sta = 7;
    d->ibwrt(32, "abc", 3);
    const std::string ok = R"("ibsta":0,"iberr":0,"ibcntl":0})";
    EXPECT_EQ(
        traceLines(path),
        (std::vector<std::string>{
            "earlier",
            R"("op":"RegisterGpibGlobalsForThread","args":[],"data":0,"ibsta":7,"iberr":0,"ibcntl":0})",
            R"("op":"SendIFC","args":[0],"ibsta":33024,"iberr":1,"ibcntl":0})",
            R"("op":"ibsre","args":[0,1],)" + ok,
            R"("op":"FindLstn","args":[0,[5,9,22,65535],15],"data":[5,22],"ibsta":0,"iberr":0,"ibcntl":2})",
            R"("op":"ibdev","args":[0,1,0,11,1,0],"data":32,)" + ok,
            R"("op":"ibpad","args":[32,5],)" + ok,
            R"("op":"ibtmo","args":[32,12],)" + ok,
            R"("op":"ibask","args":[32,3],"data":12,)" + ok,
            R"("op":"ibwait","args":[32,16640],)" + ok,
            R"("op":"ibrd","args":[32,16],"data":"1.5\u000a","ibsta":8192,"iberr":0,"ibcntl":4})",
            R"("op":"ibrd","args":[32,4],"data":"0123","ibsta":0,"iberr":0,"ibcntl":99})",
            R"("op":"ibrsp","args":[32],"data":193,)" + ok,
            R"("op":"DevClear","args":[0,9],)" + ok,
            R"("op":"ibonl","args":[32,0],)" + ok,
            R"("op":"ibwrtfA","args":[32,"C:\\d\\\"w\".bin"],)" + ok,
            "\"op\":\"ibrdfA\",\"args\":[32,\"/m\xC3\xA9s\"]," + ok,
            R"("op":"RegisterGpibGlobalsForThread","args":[],"data":2,)" + ok,
            R"("op":"ibwrt","args":[32,"abcd",4],"ibsta":0,"iberr":0,"ibcntl":4})",
            R"("op":"UnregisterGpibGlobalsForThread","args":[],"data":0,)" + ok,
            R"("op":"ibwrt","args":[32,"abc",3],)" + ok}));
    d.reset();
    std::remove(path.c_str());
}

TEST(TraceDriverFile, AWriteFailureIsReportedOnceAndTheDriverGoesOn) {
    // /dev/full accepts the open and fails every flush with "no space".
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "this system has no /dev/full to fail writes with";
    std::vector<std::string> reports;
    auto inner = std::make_unique<ScriptedDriver>();
    ScriptedDriver& scripted = *inner;
    scripted.reads = {{"42\n"}};
    auto opened = bus::TraceDriver::open(std::move(inner), "/dev/full",
                                         [&](const std::string& text) { reports.push_back(text); });
    testing_support::Talk talk(*opened.driver);
    EXPECT_EQ(talk.ask(5, "READ?\n"), "42\n");
    EXPECT_EQ(scripted.calls.size(), 4u) << "every call after the failure reached the driver";
    EXPECT_FALSE(dynamic_cast<bus::TraceDriver&>(*opened.driver).tracing());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("cannot write trace file '/dev/full': ", 0), 0u) << reports[0];
}

TEST(TraceTimestamp, IsUtcWithMicroseconds) {
    EXPECT_EQ(bus::traceTimestamp(1714566896123456), "2024-05-01T12:34:56.123456Z");
    EXPECT_EQ(bus::traceTimestamp(951782400000001), "2000-02-29T00:00:00.000001Z");
    EXPECT_EQ(bus::traceTimestamp(-1), "1969-12-31T23:59:59.999999Z");
}

} // namespace
