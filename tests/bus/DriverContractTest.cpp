// What every back end promises the binding, checked over each one that can
// run on this machine: the simulated bench, the bench behind the I/O trace,
// the replay of a traced run and the bench file saved from it, and the GPIB
// library and VISA back ends driving the bench through the fake vendor
// libraries they load, and the Prologix and AR488 adapter back ends driving
// the bench through a simulated adapter over a pseudo-terminal and over
// loopback TCP, and the VXI-11 and HiSLIP back ends driving it through
// vireon-serve's gateways on loopback.

#include "bus/drivers/BenchFile.h"
#include "bus/drivers/DriverChoice.h"
#include "bus/drivers/GpibLibrary.h"
#include "bus/drivers/ReplayBus.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/TraceDriver.h"
#include "bus/drivers/VisaBus.h"
#ifdef VIREON_ADAPTER_SIM
#include "AdapterSimulator.h"
#include "HislipServer.h"
#include "Vxi11Server.h"
#endif
#include "support/Files.h"
#include "support/Talk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

using bus::Addr4882;
using testing_support::fileText;
using testing_support::scratchFile;
using testing_support::Talk;
namespace fs = std::filesystem;

// What the oscilloscope sees when the controller stops reading its answer
// part-way and sends a new query.
enum class StoppedRead {
    // The new message reaches it with the rest unread: the answer is
    // interrupted, a query error.
    Interrupts,
    // The adapter back ends read the rest to its end before anything else
    // goes to the adapter (only the line that follows a reply shows where it
    // ends), and a HiSLIP server reads the whole message before it sends it
    // on, so the device was never interrupted.
    ReadOut,
    // A replay answers as the recording did and keeps no device status.
    Replayed,
};

struct BackEnd {
    const char* name;
    std::unique_ptr<bus::Driver> (*make)(std::string& error); // null with the reason
    StoppedRead stopped = StoppedRead::Interrupts;
};

constexpr std::int32_t kMultimeter = 5, kOlder = 9, kScope = 22, kNobody = 17;
constexpr std::int32_t kUnset = 0x5A5A5A5A; // no driver would publish this

class DriverContract : public testing::TestWithParam<BackEnd> {
protected:
    void SetUp() override {
        std::string error;
        driver_ = GetParam().make(error);
        ASSERT_TRUE(driver_ && error.empty()) << error;
        ASSERT_EQ(d().RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    }
    bus::Driver& d() { return *driver_; }

    std::int32_t open(std::int32_t pad) {
        const std::int32_t ud = d().ibdev(0, pad, 0, bus::T1s, 1, 0);
        EXPECT_GT(ud, 0) << "ibdev for address " << pad << ", iberr " << err;
        return ud;
    }
    void write(std::int32_t ud, const std::string& text) {
        d().ibwrt(ud, text.data(), static_cast<std::int32_t>(text.size()));
        ASSERT_EQ(sta & bus::ERR, 0) << "writing " << text << ", iberr " << err;
        ASSERT_EQ(cntl, static_cast<std::int32_t>(text.size()));
    }
    // Writes and reads chunk by chunk up to END; every chunk but the last
    // comes full and without END.
    std::string query(std::int32_t ud, const std::string& command, std::int32_t chunk = 512) {
        write(ud, command);
        std::string answer, buffer(static_cast<std::size_t>(chunk), '\0');
        for (int reads = 0; reads < 4096; ++reads) {
            EXPECT_EQ(d().ibrd(ud, buffer.data(), chunk), sta);
            if (sta & bus::ERR) return ADD_FAILURE() << "iberr " << err, answer;
            answer.append(buffer, 0, static_cast<std::size_t>(cntl));
            if (sta & bus::END) return answer;
            EXPECT_EQ(cntl, chunk) << "a short chunk must end the answer";
        }
        return ADD_FAILURE() << "no END", answer;
    }

    std::int32_t sta = kUnset, err = kUnset, cnt = kUnset, cntl = kUnset;

private:
    std::unique_ptr<bus::Driver> driver_;
};

// Every call, in this order, leaves its outcome in the registered variables
// and returns the status word it left there.
TEST_P(DriverContract, EveryCallLeavesItsOutcomeInTheRegisteredVariables) {
    const std::int32_t ud = open(kMultimeter), absent = open(kNobody), offline = open(kScope);
    char spr[2] = {}, buffer[512];
    std::int32_t value = 0;
    const Addr4882 probe[] = {kScope, kNobody, kMultimeter, kOlder, bus::NOADDR};
    const Addr4882 nobody[] = {kNobody, bus::NOADDR};
    std::array<Addr4882, 4> found{};
    const std::string missing = scratchFile("/no/such/x.bin"), one = scratchFile(".txt");
    std::ofstream(one) << "*IDN?\n";
    struct Call {
        const char* name;
        std::function<std::int32_t()> run; // the status word it returns, or kUnset
        std::int32_t error = -1;           // iberr with ERR, or -1 for no ERR
        std::int32_t count = -1;           // ibcntl when it matters
    };
    const auto none = [](auto f) { return [f] { return f(), kUnset; }; };
    // clang-format off
    const std::vector<Call> calls = {
        {"SendIFC", none([&] { d().SendIFC(0); })},
        {"SendIFC no board", none([&] { d().SendIFC(1); }), bus::ENEB},
        {"ibsre", [&] { return d().ibsre(0, 1); }},
        {"FindLstn", none([&] { d().FindLstn(0, probe, found.data(), 3); }), -1, 3},
        {"FindLstn limit", none([&] { d().FindLstn(0, probe, found.data(), 2); }), bus::ETAB, 2},
        {"FindLstn nobody", none([&] { d().FindLstn(0, nobody, found.data(), 3); }), bus::EBUS},
        {"ibdev no board", [&] { return d().ibdev(1, 5, 0, bus::T1s, 1, 0), sta; }, bus::ENEB},
        {"ibdev address 31", [&] { return d().ibdev(0, 31, 0, bus::T1s, 1, 0), sta; }, bus::EARG},
        {"ibpad", [&] { return d().ibpad(ud, kMultimeter); }},
        {"ibpad 31", [&] { return d().ibpad(ud, 31); }, bus::EARG},
        {"ibtmo", [&] { return d().ibtmo(ud, bus::T3s); }},
        {"ibtmo 18", [&] { return d().ibtmo(ud, 18); }, bus::EARG},
        {"ibask", [&] { return d().ibask(ud, bus::IbaTMO, &value); }},
        {"ibwait complete", [&] { return d().ibwait(ud, bus::TIMO | bus::CMPL); }},
        {"ibwrt", [&] { return d().ibwrt(ud, "*IDN?\n", 6); }, -1, 6},
        {"ibwrt nothing", [&] { return d().ibwrt(ud, nullptr, 0); }, -1, 0},
        {"ibrd", [&] { return d().ibrd(ud, buffer, 512); }},
        {"ibrd nothing pending", [&] { return d().ibrd(ud, buffer, 512); }, bus::EABO, 0},
        {"ibwrt to nobody", [&] { return d().ibwrt(absent, "*IDN?\n", 6); }, bus::ENOL},
        {"ibrsp", [&] { return d().ibrsp(ud, spr); }},
        {"DevClear", none([&] { d().DevClear(0, kMultimeter); })},
        {"DevClear nobody", none([&] { d().DevClear(0, kNobody); }), bus::ENOL},
        {"ibclr", [&] { return d().ibclr(ud); }},
        {"ibclr unknown", [&] { return d().ibclr(1000); }, bus::EARG},
        {"ibwrtf to nobody", [&] { return d().ibwrtfA(absent, one.c_str()); }, bus::ENOL},
        {"ibwrtf no file", [&] { return d().ibwrtfA(ud, missing.c_str()); }, bus::EFSO},
        {"ibrdf no file", [&] { return d().ibrdfA(ud, missing.c_str()); }, bus::EFSO},
        {"ibrdf nothing pending", [&] { return d().ibrdfA(ud, one.c_str()); }, bus::EABO, 0},
        {"ibonl", [&] { return d().ibonl(offline, 0); }},
        {"ibwrt offline", [&] { return d().ibwrt(offline, "*IDN?\n", 6); }, bus::EARG},
        {"ibpad offline", [&] { return d().ibpad(offline, kScope); }, bus::EARG},
        {"ibrd offline", [&] { return d().ibrd(offline, buffer, 512); }, bus::EARG},
        {"ibwrt unknown", [&] { return d().ibwrt(1000, "*IDN?\n", 6); }, bus::EARG},
    };
    // clang-format on
    for (const Call& call : calls) {
        SCOPED_TRACE(call.name);
        sta = err = cnt = cntl = kUnset;
        const std::int32_t returned = call.run();
        ASSERT_NE(sta, kUnset);
        EXPECT_NE(cntl, kUnset);
        EXPECT_EQ(returned == kUnset ? sta : returned, sta);
        EXPECT_EQ(sta & bus::ERR, call.error >= 0 ? bus::ERR : 0) << "iberr " << err;
        EXPECT_EQ(call.error >= 0 ? err : -1, call.error);
        EXPECT_EQ(call.count >= 0 ? cntl : -1, call.count);
    }
    EXPECT_THAT(found, testing::ElementsAre(kScope, kMultimeter, kOlder, 0)) << "in probe order";
    EXPECT_EQ(value, bus::T3s) << "the time-out set is the time-out asked";
    fs::remove(one);
}

// A second registration says what was registered before; a call's status
// goes only to the variables of the thread that made it.
TEST_P(DriverContract, RegistrationResultCodesAndStatusPerThread) {
    std::int32_t o[4] = {};
    EXPECT_EQ(d().RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 1);
    EXPECT_THAT(d().RegisterGpibGlobalsForThread(&o[0], &o[1], &o[2], &o[3]), testing::AnyOf(2, 3));
    const std::int32_t absent = open(kNobody);
    sta = err = cnt = cntl = kUnset;
    std::int32_t theirs[4] = {kUnset, kUnset, kUnset, kUnset};
    std::thread([&] {
        EXPECT_EQ(d().RegisterGpibGlobalsForThread(&theirs[0], &theirs[1], &theirs[2], &theirs[3]),
                  0);
        d().ibwrt(absent, "x", 1);
        d().UnregisterGpibGlobalsForThread();
    }).join();
    EXPECT_EQ(theirs[1], bus::ENOL);
    std::thread([&] { d().ibwrt(absent, "x", 1); }).join();
    EXPECT_EQ(sta, kUnset) << "other threads' calls never reach this thread's variables";
    EXPECT_EQ(cntl, kUnset);
    EXPECT_EQ(d().UnregisterGpibGlobalsForThread(), 0);
    EXPECT_EQ(d().RegisterGpibGlobalsForThread(&o[0], &o[1], &o[2], &o[3]), 0);
}

TEST_P(DriverContract, AnswersReadInAnyChunkSizeFollowIbpadAndShowInPollsUntilCleared) {
    const std::int32_t ud = open(kMultimeter);
    const std::string whole = query(ud, "*IDN?\n");
    for (const std::int32_t chunk : {1, 7, static_cast<std::int32_t>(whole.size())})
        EXPECT_EQ(query(ud, "*IDN?\n", chunk), whole) << chunk;
    char spr[2] = {};
    d().ibrsp(ud, spr);
    EXPECT_EQ(spr[0] & 0x10, 0) << "no message available";
    EXPECT_EQ(d().ibwait(ud, bus::TIMO | bus::RQS) & (bus::TIMO | bus::RQS), bus::TIMO);
    write(ud, "*IDN?\n");
    d().ibrsp(ud, spr);
    EXPECT_EQ(spr[0] & 0x10, 0x10) << "message available";
    d().DevClear(0, kMultimeter);
    EXPECT_EQ(d().ibrd(ud, spr, 1) & bus::TIMO, bus::TIMO);
    d().ibpad(ud, kScope);
    const std::string scope = query(ud, "*IDN?\n");
    EXPECT_TRUE(!scope.empty() && scope != whole) << scope;
}

// A controller that stops reading part-way (a stop during a long CURV?) and
// sends a new query gets that query's own answer, not the rest of the curve;
// the device that was interrupted says so with the query error bit.
TEST_P(DriverContract, ANewQueryAfterAStoppedReadGetsItsOwnAnswer) {
    if (GetParam().stopped == StoppedRead::Replayed) GTEST_SKIP() << "no device status to show";
    const std::int32_t ud = open(kScope);
    const std::string identity = query(ud, "*IDN?\n");
    query(ud, "*ESR?\n"); // power-on read and cleared
    write(ud, "CURV?\n");
    char part[512];
    EXPECT_EQ(d().ibrd(ud, part, sizeof part) & (bus::ERR | bus::END), 0);
    EXPECT_EQ(query(ud, "*IDN?\n"), identity);
    EXPECT_EQ(query(ud, "*ESR?\n"), GetParam().stopped == StoppedRead::Interrupts ? "4\n" : "0\n");
}

// What the console does after a stop: a device clear leaves nothing to read.
TEST_P(DriverContract, ADeviceClearAfterAStoppedReadLeavesNothingToRead) {
    const std::int32_t ud = open(kScope);
    const std::string identity = query(ud, "*IDN?\n");
    write(ud, "CURV?\n");
    char part[512];
    EXPECT_EQ(d().ibrd(ud, part, sizeof part) & (bus::ERR | bus::END), 0);
    EXPECT_EQ(d().ibclr(ud) & bus::ERR, 0) << "iberr " << err;
    EXPECT_EQ(d().ibrd(ud, part, sizeof part) & bus::TIMO, bus::TIMO);
    EXPECT_EQ(cntl, 0);
    EXPECT_EQ(query(ud, "*IDN?\n"), identity);
}

// The oscilloscope's binary record holds NUL, CR, LF and 0xFF among its bytes:
// sent from a file of commands and received into a file, every byte arrives
// as a memory read of the same record gets it.
TEST_P(DriverContract, FilesMoveBinaryDataByteForByte) {
    const std::string commands = scratchFile(".txt"), record = scratchFile(".bin");
    const std::string text = "DAT:SOU CH1\nDAT:ENC RIB\nDAT:STAR 1\nDAT:STOP 2500\nCURV?\n";
    std::ofstream(commands, std::ios::binary) << text;
    const std::int32_t ud = open(kScope);
    EXPECT_EQ(d().ibwrtfA(ud, commands.c_str()) & bus::ERR, 0) << "iberr " << err;
    EXPECT_EQ(cntl, static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(d().ibrdfA(ud, record.c_str()) & (bus::ERR | bus::END), bus::END);
    const std::int32_t received = cntl;
    const std::string expected = query(ud, "CURV?\n"), got = fileText(record);
    fs::remove(commands);
    fs::remove(record);
    ASSERT_GT(expected.size(), 2500u);
    for (const char c : {'\0', '\r', '\n', '\xFF'})
        EXPECT_NE(expected.find(c, 8), std::string::npos);
    EXPECT_EQ(received, static_cast<std::int32_t>(expected.size()));
    EXPECT_TRUE(got == expected) << "file of " << got.size() << " bytes, read " << expected.size();
}

// The built-in bench, recorded through the I/O trace: each write the driver
// contract suite makes, with its answers.
bus::Recording recordBuiltInBench(std::string& error) {
    const std::string path = scratchFile(".jsonl");
    {
        bus::TraceOpenResult traced =
            bus::TraceDriver::open(bus::SimulatedBus::defaultBench(), path);
        Talk talk(*traced.driver);
        const bus::Addr4882 probe[] = {5, 9, 17, 22, bus::NOADDR};
        bus::Addr4882 found[4] = {};
        traced.driver->FindLstn(0, probe, found, 4);
        talk.ask(5, "*IDN?\n");
        talk.ask(22, "*IDN?\n");
        // The commands of the suite's file transfer, then its query.
        talk.ask(22, "DAT:SOU CH1\nDAT:ENC RIB\nDAT:STAR 1\nDAT:STOP 2500\nCURV?\n");
        talk.ask(22, "CURV?\n");
    }
    bus::ReplayLoad load = bus::loadTrace(path);
    fs::remove(path);
    error = load.error;
    return std::move(load.recording);
}

#if VIREON_BENCH_FILES
// The recorded run saved as the File menu saves it, and opened as --driver
// sim:FILE opens it.
std::unique_ptr<bus::Driver> recordedYamlBench(std::string& error) {
    const bus::Recording recording = recordBuiltInBench(error);
    if (!error.empty()) return nullptr;
    const std::string file = scratchFile(".yaml");
    error = bus::saveBenchYaml(recording, file);
    bus::DriverSelection selected = bus::selectDriver("sim:" + file, "");
    fs::remove(file);
    if (error.empty()) error = selected.error;
    return std::move(selected.driver);
}
#endif

#ifdef VIREON_ADAPTER_SIM
// The bench behind a simulated adapter; the simulator lives until the next
// back end is made (or the program ends), well past the driver's fixture.
template <adaptersim::Protocol protocol, adaptersim::Link link>
std::unique_ptr<bus::Driver> simulatedAdapter(std::string& error) {
    static std::unique_ptr<adaptersim::AdapterSimulator> running;
    running.reset();
    running = std::make_unique<adaptersim::AdapterSimulator>(adaptersim::Options{protocol, link},
                                                             bus::SimulatedBus::defaultBench());
    if (!(error = running->error()).empty()) return nullptr;
    bus::DriverSelection selected = bus::selectDriver(running->driverChoice(), "");
    error = selected.error;
    return std::move(selected.driver);
}

// The bench behind vireon-serve's VXI-11 gateway or HiSLIP server on
// loopback, reached through its GPIB interface gpib0.
template <typename Server, typename Options>
std::unique_ptr<bus::Driver> lanGateway(std::string& error) {
    static std::unique_ptr<Server> running;
    running.reset();
    Options options;
    if constexpr (std::is_same_v<Options, serve::Vxi11Options>) options.portmapperPort = 0;
    running = std::make_unique<Server>(options, bus::SimulatedBus::defaultBench());
    if (!(error = running->error()).empty()) return nullptr;
    std::string choice = running->reachWith().front(); // vxi11:HOST:PMAPPORT/gpib0
    if constexpr (std::is_same_v<Options, serve::HislipOptions>) choice += "/gpib0";
    bus::DriverSelection selected = bus::selectDriver(choice, "");
    error = selected.error;
    return std::move(selected.driver);
}
#endif

// clang-format off
INSTANTIATE_TEST_SUITE_P(BackEnds, DriverContract, testing::Values(
    BackEnd{"SimulatedBench", [](std::string&) -> std::unique_ptr<bus::Driver> {
        return bus::SimulatedBus::defaultBench(); }},
    BackEnd{"TracedBench", [](std::string& error) {
        // As --driver sim --trace FILE runs; the file is gone once the driver
        // closes it (Windows keeps an open file, which stays in the scratch folder).
        const std::string path = scratchFile(".jsonl");
        bus::DriverSelection traced = bus::selectDriver("sim", path);
        std::error_code ignored;
        if (!fs::exists(path) || (fs::remove(path, ignored), false) ||
            !dynamic_cast<bus::TraceDriver*>(traced.driver.get()))
            error = "not traced to " + path;
        return error.empty() ? std::move(traced.driver) : nullptr; }},
#if VIREON_BENCH_FILES
    BackEnd{"YamlBench", &recordedYamlBench},
#endif
    BackEnd{"ReplayBench", [](std::string& error) -> std::unique_ptr<bus::Driver> {
        return std::make_unique<bus::ReplayBus>(recordBuiltInBench(error)); },
        StoppedRead::Replayed},
    BackEnd{"FakeVendorLibrary", [](std::string& error) -> std::unique_ptr<bus::Driver> {
#ifdef _WIN32 // the fake sits in the system folder as ni4882.dll
        bus::GpibLoadResult loaded = bus::GpibLibrary::load();
#else
        bus::GpibLoadResult loaded = bus::GpibLibrary::load(VIREON_FAKEGPIB_PATH);
#endif
        return error = loaded.error, std::move(loaded.driver); }},
    BackEnd{"FakeVisaLibrary", [](std::string& error) -> std::unique_ptr<bus::Driver> {
#ifdef _WIN32 // the fake sits in the system folder as visa64.dll
        bus::VisaLoadResult loaded = bus::VisaBus::load("GPIB0");
#else
        bus::VisaLoadResult loaded = bus::VisaBus::load("GPIB0", VIREON_FAKEGPIB_PATH);
#endif
        return error = loaded.error, std::move(loaded.driver); }}
#ifdef VIREON_ADAPTER_SIM
    , BackEnd{"PrologixOverTcp", &simulatedAdapter<adaptersim::Protocol::Prologix, adaptersim::Link::Tcp>,
        StoppedRead::ReadOut}
    , BackEnd{"PrologixOverPty", &simulatedAdapter<adaptersim::Protocol::Prologix, adaptersim::Link::Pty>,
        StoppedRead::ReadOut}
    , BackEnd{"Ar488OverTcp", &simulatedAdapter<adaptersim::Protocol::Ar488, adaptersim::Link::Tcp>,
        StoppedRead::ReadOut}
    , BackEnd{"Ar488OverPty", &simulatedAdapter<adaptersim::Protocol::Ar488, adaptersim::Link::Pty>,
        StoppedRead::ReadOut}
    , BackEnd{"Vxi11Gateway", &lanGateway<serve::Vxi11Server, serve::Vxi11Options>}
    , BackEnd{"HislipGateway", &lanGateway<serve::HislipServer, serve::HislipOptions>,
        StoppedRead::ReadOut}
#endif
    ), [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
