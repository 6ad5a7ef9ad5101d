#include "bus/drivers/BenchFile.h"
#include "bus/drivers/ReplayBus.h"
#include "support/Talk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::kNoListener;
using testing_support::kTimeout;
using testing_support::Talk;

// The first line of a bench file of that format version.
std::string opening(const char* version) {
    return std::string(bus::kBenchVersionKey) + ": \"" + version + "\"\n";
}

struct Step {
    int pad;
    std::string write;
    std::string expected;
};

void expectAnswers(bus::Driver& driver, const std::vector<Step>& steps) {
    Talk talk(driver);
    for (const Step& step : steps)
        EXPECT_EQ(talk.ask(step.pad, step.write), step.expected) << step.pad << " " << step.write;
}

struct GoodFile {
    const char* name;
    std::string yaml;
    std::size_t notes;
    std::vector<Step> steps;
};

class BenchFiles : public testing::TestWithParam<GoodFile> {};

TEST_P(BenchFiles, AnswerAsTheFileSays) {
    bus::BenchLoad load = bus::readBench(GetParam().yaml, "bench.yaml");
    ASSERT_TRUE(load.bus) << load.error;
    EXPECT_EQ(load.notes.size(), GetParam().notes);
    expectAnswers(*load.bus, GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BenchFiles,
    testing::Values(GoodFile{"Version11",
                             opening("1.1") + R"(devices:
  supply:
    eom: {GPIB INSTR: {q: "\n", r: "\n"}}
    dialogues:
      - {q: "*IDN?", r: "ACME,PS,1,0"}
      - {q: "OUTP ON"}
      - {q: "A;B", r: "both"}
    properties:
      volt:
        default: 1.5
        getter: {q: "VOLT?", r: "{:.3f}"}
        setter: {q: "VOLT {:.3f}", r: OK}
        specs: {min: 0, max: 30, type: float}
      mode:
        default: DC
        getter: {q: "MODE?", r: "{}"}
        setter: {q: "MODE {}"}
        specs: {valid: [DC, AC], type: str}
      count:
        default: 3
        getter: {q: "N?", r: "{:+04d}"}
        setter: {q: "N {:d}"}
        specs: {type: int, valid: [1, 3, 5]}
  meter:
    eom: {GPIB INSTR: {q: "\r\n", r: "\r\n"}}
    error: {response: {command_error: "ERR?"}}
    dialogues:
      - {q: "READ?", r: "BYTES(01 ff)ok"}
resources:
  GPIB0::4::INSTR: {device: supply}
  GPIB::7::INSTR: {device: meter}
  TCPIP0::1.2.3.4::INSTR: {device: meter}
  GPIB0::8::96::INSTR: {device: meter}
)",
                             2,
                             {{4, "*CLS\n", kTimeout},
                              {4, "*IDN?\n", "ACME,PS,1,0\n"},
                              {4, "VOLT?\n", "1.500\n"},
                              {4, "VOLT 12.5\n", "OK\n"},
                              {4, "VOLT?\n", "12.500\n"},
                              {4, "VOLT 31\n", kTimeout},
                              {4, "*ESR?\n", "16\n"},
                              {4, "MODE AC\n", kTimeout},
                              {4, "MODE XX\n", kTimeout},
                              {4, "MODE?\n", "AC\n"},
                              {4, "N 5\n", kTimeout},
                              {4, "N 4\n", kTimeout},
                              {4, "N?\n", "+005\n"},
                              {4, "FOO\n", kTimeout},
                              {4, "*ESR?\n", "48\n"},
                              {4, "A;B\n", "both\n"},
                              {4, "OUTP ON;VOLT?;*OPC?\n", "12.500;1\n"},
                              {7, "READ?\r\n", "\x01\xffok\r\n"},
                              {7, "NOPE\r\n", "ERR?\r\n"},
                              {8, "*IDN?\n", kNoListener}}},
                    GoodFile{
                        "Version10",
                        opening("1.0") + R"(devices:
  old:
    error: BAD
    dialogues: [{q: "ID?", r: "OLD 1"}, {q: "CLR", r: null_response}]
resources:
  GPIB0::9::INSTR: {device: old}
)",
                        0,
                        {{9, "ID?\n", "OLD 1\n"}, {9, "X\n", "BAD\n"}, {9, "CLR\n", kTimeout}}}),
    [](const testing::TestParamInfo<GoodFile>& info) { return info.param.name; });

// One device and the line before its resources.
const std::string kBench =
    opening("1.1") + "devices:\n  d: {dialogues: [{q: A, r: B}]}\nresources:\n";

// A file this program cannot use → where and what is wrong.
TEST(BadBenchFiles, SayWhereAndWhat) {
    const std::pair<std::string, std::string> cases[] = {
        {opening("1.1") + "devices: {d: [}\n", "bench.yaml:2: not valid YAML: illegal flow end"},
        {opening("2.0"), "bench.yaml:1: unknown version \"2.0\" (this program reads 1.0 and 1.1)"},
        {"devices: {}\n",
         "bench.yaml:1: no version (" + std::string(bus::kBenchVersionKey) + ": \"1.1\")"},
        {kBench + "  GPIB0::5::INSTR: {device: ghost}\n",
         "bench.yaml:5: GPIB0::5::INSTR: no device \"ghost\" in devices"},
        {kBench + "  GPIB0::5::INSTR: {device: d}\n  GPIB0::05::INSTR: {device: d}\n",
         "bench.yaml:6: GPIB0::05::INSTR: address 5 is taken already by GPIB0::5::INSTR"},
        {kBench + "  GPIB0::31::INSTR: {device: d}\n",
         "bench.yaml:5: GPIB0::31::INSTR: address \"31\" is not one of 1 to 30"},
        {opening("1.1") + "devices:\n  d:\n    dialogues:\n      - {r: B}\n",
         "bench.yaml:5: missing q"},
        {opening("1.0") + "devices:\n  d:\n    error: {response: {command_error: E}}\n",
         "bench.yaml:4: error must be a text in version 1.0"},
        {opening("1.1") + "devices:\n  d:\n    properties:\n      p: {specs: {type: "
                          "complex}}\nresources: {}\n",
         "bench.yaml:5: unknown type \"complex\" (float, int or str)"}};
    for (const auto& [yaml, error] : cases) {
        const bus::BenchLoad load = bus::readBench(yaml, "bench.yaml");
        EXPECT_FALSE(load.bus) << yaml;
        EXPECT_EQ(load.error, error);
    }
}

TEST(Replay, RepeatedWritesGetTheirAnswersInOrderAndUnknownOnesNone) {
    bus::ReplayLoad load =
        bus::readTrace(R"({"op":"FindLstn","args":[0,[5,6,65535],30],"data":[5],"ibsta":256}
{"op":"ibdev","args":[0,5,0,11,1,0],"data":32,"ibsta":256}
{"op":"ibwrt","args":[32,"READ?\n",6],"ibsta":256}
{"op":"ibrd","args":[32,512],"data":"1\n","ibsta":8448}
not json {
{"op":"ibwrt","args":[32,"READ?\n",6],"ibsta":256}
{"op":"ibrd","args":[32,3],"data":"2\u00ff","ibsta":256}
{"op":"ibrd","args":[32,3],"data":"\n","ibsta":8448}
{"op":"ibrsp","args":[32],"data":80,"ibsta":256}
{"op":"ibrsp","args":[32],"data":65,"ibsta":256}
{"op":
)",
                       "run.jsonl");
    ASSERT_EQ(load.error, "");
    ASSERT_EQ(load.notes.size(), 1u);
    EXPECT_EQ(load.notes[0], "run.jsonl: 2 lines are not valid JSON and skipped (lines 5, 11)");

    bus::ReplayBus bus(std::move(load.recording));
    expectAnswers(bus, {{5, "READ?\n", "1\n"},
                        {5, "READ?\n", "2\xff\n"},
                        {5, "READ?\n", "2\xff\n"},
                        {5, "OTHER?\n", kTimeout}});
    Talk talk(bus);
    const std::int32_t ud = talk.open(5);
    EXPECT_EQ(talk.poll(ud), 80);
    EXPECT_EQ(talk.poll(ud), 65);
}

} // namespace
