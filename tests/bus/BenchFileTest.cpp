#include "bus/drivers/BenchFile.h"
#include "bus/drivers/ReplayBus.h"
#include "support/Talk.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
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

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, BenchFiles, testing::Values(
    GoodFile{"Version11", opening("1.1") + R"(devices:
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
      count: {default: 3, getter: {q: "N?", r: "{:+04d}"}}
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
        {{4, "*CLS\n", kTimeout}, {4, "*IDN?\n", "ACME,PS,1,0\n"}, {4, "VOLT?\n", "1.500\n"},
         {4, "VOLT 12.5\n", "OK\n"}, {4, "VOLT?\n", "12.500\n"}, {4, "VOLT 31\n", kTimeout},
         {4, "*ESR?\n", "16\n"}, {4, "MODE AC\n", kTimeout}, {4, "MODE XX\n", kTimeout},
         {4, "MODE?\n", "AC\n"}, {4, "N?\n", "+003\n"}, {4, "FOO\n", kTimeout},
         {4, "*ESR?\n", "48\n"}, {4, "A;B\n", "both\n"}, {4, "OUTP ON;VOLT?;*OPC?\n", "12.500;1\n"},
         {7, "READ?\r\n", "\x01\xffok\r\n"}, {7, "NOPE\r\n", "ERR?\r\n"},
         {8, "*IDN?\n", kNoListener}}},
    GoodFile{"Version10", opening("1.0") + R"(devices:
  old:
    error: BAD
    dialogues: [{q: "ID?", r: "OLD 1"}, {q: "CLR", r: null_response}]
resources:
  GPIB0::9::INSTR: {device: old}
)",
        0, {{9, "ID?\n", "OLD 1\n"}, {9, "X\n", "BAD\n"}, {9, "CLR\n", kTimeout}}},
    // The file's answers, register and queue win over the status model's,
    // which still does the rest.
    GoodFile{"FileStatusBesideTheModel", opening("1.0") + R"(devices:
  psu:
    dialogues:
      - {q: "*IDN?", r: "ACME,PSU,2,1"}
      - {q: "*OPC?", r: "DONE"}
    error:
      response: {command_error: BAD}
      status_register: [{q: "*ESR?", command_error: 32}]
    properties:
      volt:
        default: 1
        getter: {q: "VOLT?", r: "{:.1f}"}
        setter: {q: "VOLT {:.1f}", e: RANGE}
        specs: {min: 0, max: 5, type: float}
resources:
  GPIB0::3::INSTR: {device: psu}
)",
        0,
        {{3, "*ESE 32;*SRE 32\n", kTimeout}, {3, "FOO\n", "BAD\n"}, {3, "*ESR?\n", "32\n"},
         {3, "*ESR?\n", "0\n"}, {3, "*STB?\n", "96\n"}, {3, "VOLT 9\n", "RANGE\n"},
         {3, "*OPC?\n", "DONE\n"}, {3, "*CLS;*OPC?\n", "1\n"}, {3, "*STB?\n", "0\n"}}},
    // A device without the status model splits at its delimiter; channels
    // preselected or named in the query.
    GoodFile{"PlainDeviceWithChannels", opening("1") + R"(devices:
  meter:
    delimiter: ","
    error: 'ERR\r'
    dialogues:
      - {q: ' ID? ', r: ' M1 '}
      - {q: "A,B", r: both}
    properties:
      selected_channel: {default: 1, getter: {q: "CH?", r: "{}"}, setter: {q: "CH {}"}}
    channels:
      range:
        ids: [1, 2]
        can_select: False
        properties:
          r: {default: 10, getter: {q: "R?", r: "{}"}, setter: {q: "R {}"}}
      input:
        ids: [1]
        properties:
          on: {default: 0, getter: {q: "IN{ch_id}?", r: "{}"}, setter: {q: "IN{ch_id} {}"}}
resources:
  GPIB0::6: {device: meter, channel_ids: {input: [1, 2, 3]}}
  gpib0::intfc: {device: meter}
)",
        1,
        {{6, "ID?\n", "M1\n"}, {6, "A,B\n", "both\n"}, {6, "CH 2,R 20\n", kTimeout},
         {6, "R?\n", "20\n"}, {6, "CH 1,R?\n", "10\n"}, {6, "CH 3,R?\n", "ERR\r\n"},
         {6, "IN3 1,IN3?\n", "1\n"}, {6, "IN2?\n", "0\n"}}},
    // Anchors used as hand-written files use them: a text, a list of
    // dialogues, a whole device.
    GoodFile{"AliasesSharedAsFilesShareThem",
        opening("1.1") + R"(answer: &T "ACME,X,1,0"
devices:
  first: &D
    dialogues: &L
      - {q: "*IDN?", r: *T}
      - {q: "A?", r: *T}
    channels:
      out:
        ids: [1, 2]
        dialogues: *L
        properties: {on: {default: 0, getter: {q: "ON{ch_id}?", r: "{}"}}}
  second: *D
resources:
  GPIB0::1::INSTR: {device: first}
  GPIB0::2::INSTR: {device: second}
)",
        0,
        {{1, "A?\n", "ACME,X,1,0\n"}, {2, "*IDN?\n", "ACME,X,1,0\n"}, {2, "ON2?\n", "0\n"}}}),
    [](const testing::TestParamInfo<GoodFile>& info) { return info.param.name; });
// clang-format on

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
        {opening("1.1") + "devices:\n  d:\n    dialogues:\n      - {r: B}\n",
         "bench.yaml:5: missing q"},
        {opening("1.0") + "devices:\n  d:\n    error:\n      status_register:\n        - {q: "
                          "\"*ESR?\", command_error: 0x20}\n",
         "bench.yaml:6: the bits of command_error must be a whole number"},
        {opening("1.0") + "devices:\n  d:\n    error:\n      error_queue: [{q: \"E?\"}]\n",
         "bench.yaml:5: missing default"},
        {opening("1.1") + "devices:\n  d:\n    properties:\n      p: {specs: {type: "
                          "complex}}\nresources: {}\n",
         "bench.yaml:5: unknown type \"complex\" (float, int or str)"}};
    for (const auto& [yaml, error] : cases) {
        const bus::BenchLoad load = bus::readBench(yaml, "bench.yaml");
        EXPECT_FALSE(load.bus) << yaml;
        EXPECT_EQ(load.error, error);
    }
}

// A resource's board and address as the bench takes them: the instrument
// answers at its address, or the resource is skipped with a note, or the
// file is refused.
struct AddressRow {
    const char* name;
    std::string resource;
    int pad;           // where the instrument answers; 0: nowhere (skipped)
    std::string error; // the load's error after "bench.yaml:6: ", or ""
};

class BenchAddresses : public testing::TestWithParam<AddressRow> {};

TEST_P(BenchAddresses, PlaceOrSkipOrRefuseTheResource) {
    const AddressRow& row = GetParam();
    bus::BenchLoad load = bus::readBench(
        kBench + "  GPIB0::2: {device: d}\n  " + row.resource + ": {device: d}\n", "bench.yaml");
    if (!row.error.empty()) {
        EXPECT_FALSE(load.bus);
        EXPECT_EQ(load.error, "bench.yaml:6: " + row.error);
        return;
    }
    ASSERT_TRUE(load.bus) << load.error;
    EXPECT_EQ(load.notes.size(), row.pad == 0 ? 1u : 0u);
    if (row.pad != 0) expectAnswers(*load.bus, {{row.pad, "A\n", "B\n"}});
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, BenchAddresses, testing::Values(
    AddressRow{"Plain", "GPIB0::7::INSTR", 7, ""},
    AddressRow{"ThirtyOne", "GPIB0::31::INSTR", 0,
               "GPIB0::31::INSTR: address \"31\" is not one of 1 to 30"},
    AddressRow{"TenToTheTenth", "GPIB0::1e10::INSTR", 0,
               "GPIB0::1e10::INSTR: address \"1E10\" is not one of 1 to 30"},
    AddressRow{"BoardOneWithLeadingZeros", "GPIB00001::7::INSTR", 0, ""},
    AddressRow{"BoardBeyondAnyNumber", "GPIB99999999999999999999::7::INSTR", 0, ""}),
    [](const testing::TestParamInfo<AddressRow>& info) { return info.param.name; });
// clang-format on

std::string repeated(const std::string& piece, int times, const std::string& between = ", ") {
    std::string out;
    for (int i = 0; i < times; ++i)
        out += (i > 0 ? between : "") + piece;
    return out;
}

// "<prefix>1: <value>, <prefix>2: <value>, ..." for a flow mapping.
std::string entries(const char* prefix, const std::string& value, int count) {
    std::string out;
    for (int i = 1; i <= count; ++i)
        out += (i > 1 ? ", " : "") + (prefix + std::to_string(i)) + ": " + value;
    return out;
}

// Files of a few kilobytes whose aliases (or one large anchor used often)
// would have the loader build hundreds of megabytes: refused where they pass
// the limit, before building it; a larger file may build more.
struct SizeRow {
    const char* name;
    std::string yaml;
    bool loads;
};

class BenchSizes : public testing::TestWithParam<SizeRow> {};

TEST_P(BenchSizes, StopAtTheLimit) {
    const bus::BenchLoad load = bus::readBench(GetParam().yaml, "bench.yaml");
    if (GetParam().loads) {
        EXPECT_TRUE(load.bus) << load.error;
        return;
    }
    EXPECT_FALSE(load.bus);
    EXPECT_TRUE(load.error.starts_with("bench.yaml:")) << load.error;
    EXPECT_TRUE(load.error.ends_with(
        ": the bench grows past 64 MB here, each use of an alias counted (a bench file may "
        "build 64 MB, or 100 times its size if more)"))
        << load.error;
}

const std::string kKilobyte(1000, 'x');
const std::string k64Kilobytes(64000, 'x');
// A valid list of 1100 uses of a 64 kB text: 70 MB from a 70 kB file.
const std::string kLongValidList = opening("1.1") + "s: &S " + k64Kilobytes +
                                   "\ndevices:\n  d: {properties: {p: {specs: {valid: [" +
                                   repeated("*S", 1100) +
                                   "]}}}}\nresources:\n  GPIB0::1::INSTR: {device: d}\n";

INSTANTIATE_TEST_SUITE_P(
    Table, BenchSizes,
    testing::Values(
        // 60 devices of 60 channel groups of 60 dialogues of 1 kB: 216 MB.
        SizeRow{"AliasesOfAliases",
                opening("1.1") + "s: &S " + kKilobyte + "\nl: &L [" + repeated("{q: *S}", 60) +
                    "]\ng: &G {ids: [1], dialogues: *L}\nc: &C {" + entries("c", "*G", 60) +
                    "}\nd: &D {channels: *C}\ndevices: {" + entries("d", "*D", 60) +
                    "}\nresources:\n  GPIB0::1::INSTR: {device: d1}\n",
                false},
        SizeRow{"OneLargeAnchorUsedOften", kLongValidList, false},
        SizeRow{"TheSameInALargerFile", kLongValidList + "# " + std::string(1 << 20, '.') + "\n",
                true},
        // The instrument's values: 100 properties of 1 kB for each of 2000
        // channels.
        SizeRow{"ChannelsTimesProperties",
                opening("1.1") + "s: &S " + kKilobyte + "\np: &P {default: *S}\n" +
                    "devices:\n  d: {channels: {g: {ids: [" + repeated("1", 2000) +
                    "], properties: {" + entries("p", "*P", 100) +
                    "}}}}\nresources:\n  GPIB0::1::INSTR: {device: d}\n",
                false},
        // Each resource that chooses channels has a copy of the device:
        // 30 of 3 MB.
        SizeRow{"ResourcesCopyingTheirDevice",
                opening("1.1") + "s: &S " + kKilobyte + "\ndevices:\n  d: {dialogues: [" +
                    repeated("{q: *S}", 3000) + "], channels: {g: {ids: [1]}}}\nresources: {" +
                    entries("GPIB0::", "{device: d, channel_ids: {g: [1]}}", 30) + "}\n",
                false}),
    [](const testing::TestParamInfo<SizeRow>& info) { return info.param.name; });

// A device that keeps every error in its queue would grow with each bad
// message for as long as the console runs: it keeps the first hundred.
TEST(BenchErrorQueue, HoldsAHundredMessages) {
    bus::BenchLoad load = bus::readBench(opening("1.1") + R"(devices:
  d:
    error:
      response: {command_error: null_response}
      error_queue: [{q: "E?", default: none, command_error: bad}]
resources:
  GPIB0::1::INSTR: {device: d}
)",
                                         "bench.yaml");
    ASSERT_TRUE(load.bus) << load.error;
    Talk talk(*load.bus);
    EXPECT_EQ(talk.ask(1, repeated("X", 150, ";") + "\n"), kTimeout);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(talk.ask(1, "E?\n"), "bad\n") << i;
    EXPECT_EQ(talk.ask(1, "E?\n"), "none\n");
}

TEST(BenchVersions, AreReadAsPyvisaSimReadsThem) {
    const std::string rest = kBench.substr(kBench.find('\n') + 1) + "  GPIB0::2: {device: d}\n";
    for (const char* version : {"1", "1.0", "1.1", "1.0.7", " 1.1", "1.01"})
        EXPECT_TRUE(bus::readBench(opening(version) + rest, "bench.yaml").bus) << version;
    for (const char* version : {"1.2", "1.1.0", "0.9", "2", "1.x", "1.", ""})
        EXPECT_FALSE(bus::readBench(opening(version) + rest, "bench.yaml").bus) << version;
}

// pyvisa-sim's own tests on the GPIB resources of its own files
// (testsuite/test_all.py on default.yaml, test_channel.py on channels.yaml):
// each query written to the address, the answer read and compared with the
// one the test expects; kTimeout where the test expects none, or an error.
struct PyvisaSimTest {
    const char* name;
    const char* file;
    int pad;
    std::vector<std::pair<std::string, std::string>> steps; // write ("": only read), answer
};

class PyvisaSimFiles : public testing::TestWithParam<PyvisaSimTest> {};

TEST_P(PyvisaSimFiles, AnswerAsPyvisaSimsTestsExpect) {
    const std::string file = std::string(VIREON_TEST_DATA_DIR) + "/pyvisa-sim/" + GetParam().file;
    bus::BenchLoad load = bus::loadBenchFile(file);
    ASSERT_TRUE(load.bus) << load.error;
    Talk talk(*load.bus);
    const std::int32_t ud = talk.open(GetParam().pad);
    for (const auto& [write, expected] : GetParam().steps) {
        if (!write.empty()) talk.write(ud, write + "\n");
        char chunk[512];
        talk.d.ibrd(ud, chunk, sizeof chunk);
        const std::string answer = (talk.sta & bus::ERR) != 0
                                       ? std::string(kTimeout)
                                       : std::string(chunk, static_cast<std::size_t>(talk.cntl));
        // Its devices end each answer with a line feed, which the tests read off.
        EXPECT_EQ(answer, expected == kTimeout ? expected : expected + "\n") << write;
    }
}

// The other properties of device 1 go through the same getter and setter.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, PyvisaSimFiles, testing::Values(
    PyvisaSimTest{"PropertiesAndErrorsOfDevice1", "default.yaml", 8,
        {{"?IDN", "LSG Serial #1234"}, {"?FREQ", "100.00"}, {"!FREQ 10.3", "OK"},
         {"?FREQ", "10.30"}, {"?OUT", "0"}, {"!OUT 1", "OK"}, {"?OUT", "1"}, {"!CAL", "OK"},
         {"!WVF 23", "ERROR"},
         {"!AMP -1.0", "ERROR"}, {"!AMP 11.0", "ERROR"}, {"!FREQ 0.0", "FREQ_ERROR"},
         {"BOGUS_COMMAND", "ERROR"}}},
    PyvisaSimTest{"InvalidCommandIsAnsweredAndInTheRegister", "default.yaml", 10,
        {{"FAKE_COMMAND", "INVALID_COMMAND"}, {"*ESR?", "32"}}},
    PyvisaSimTest{"InvalidValuesSetTheRegister", "default.yaml", 9,
        {{"FAKE_COMMAND", kTimeout}, {"*ESR?", "32"}, {":VOLT:IMM:AMPL 2.00", kTimeout},
         {"*ESR?", "0"}, {":VOLT:IMM:AMPL 0.5", kTimeout}, {"*ESR?", "32"},
         {":VOLT:IMM:AMPL 6.5", kTimeout}, {"*ESR?", "32"}}},
    PyvisaSimTest{"ErrorQueueHoldsTheCommandError", "default.yaml", 4,
        {{":SYST:ERR?", "0, No Error"}, {"FAKE COMMAND", kTimeout},
         {":SYST:ERR?", "1, Command error"}, {":VOLT:IMM:AMPL 0", kTimeout},
         {":SYST:ERR?", "1, Command error"}}},
    PyvisaSimTest{"RandomAnswersRepeat", "default.yaml", 5,
        {{":READ?", "7.79"}, {":SCAN?", "2.57, 1.47, 1.08, 7.78, 5.73"},
         {":VOLT:IMM:AMPL?", "0.90"}, {":BAD:SCAN:OUTSIDE?", kTimeout},
         {":BAD:SCAN:INSIDE?", kTimeout}}},
    PyvisaSimTest{"ChannelPreselectedByAProperty", "channels.yaml", 8,
        {{"I?", "1"}, {"F?", "1.000"}, {"F 5.0", kTimeout}, {"F?", "5.000"}, {"I 2;F?", "1.000"}}},
    PyvisaSimTest{"ChannelNamedInTheQuery", "channels.yaml", 9,
        {{"CH 1:VOLT:IMM:AMPL?", "+1.00000000E+00"}, {"CH 1:VOLT:IMM:AMPL 2.0", kTimeout},
         {"CH 1:VOLT:IMM:AMPL?", "+2.00000000E+00"}, {"CH 2:VOLT:IMM:AMPL?", "+1.00000000E+00"}}}),
    [](const testing::TestParamInfo<PyvisaSimTest>& info) { return info.param.name; });
// clang-format on

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
