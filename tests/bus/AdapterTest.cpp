// The Prologix and AR488 back ends against the simulated adapter: what the
// driver contract suite cannot see (every byte value, faults of the adapter
// and its connection, the adapter's configuration memory).

#include "bus/drivers/DriverChoice.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/TransferMonitor.h"
#include "bus/drivers/adapter/PlusPlusAdapter.h"
#include "support/Files.h"
#include "support/LoopbackListener.h"
#include "support/Talk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifdef VIREON_ADAPTER_SIM
#include "AdapterSimulator.h"
#endif

namespace {

using bus::adapter::escapeData;
using bus::adapter::parseAdapterAddress;
using testing::HasSubstr;
using testing_support::Echo;
using testing_support::Talk;

TEST(PlusPlusProtocol, EscapesExactlyTheBytesTheAdapterWouldTakeForItself) {
    EXPECT_EQ(escapeData("*IDN?"), "*IDN?");
    EXPECT_EQ(escapeData("a\r\n\x1B+b"), "a\x1B\r\x1B\n\x1B\x1B\x1B+b");
    EXPECT_EQ(escapeData(std::string("\0\xFF", 2)), std::string("\0\xFF", 2));
}

// What --driver prologix:TEXT reaches: "serial", "HOST PORT" or "error".
TEST(PlusPlusProtocol, ReadsSerialPortsAndHostsWithTheirTcpPorts) {
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/ttyUSB0", "serial"},         {"COM3", "serial"},     {"\\\\.\\COM12", "serial"},
        {"gpib-lan", "gpib-lan 1234"},      {"[::1]:99", "::1 99"}, {"host:0", "error"},
        {"10.0.0.7:4000", "10.0.0.7 4000"}, {"host:http", "error"}};
    for (const auto& [text, expected] : cases) {
        std::string error;
        const auto a = parseAdapterAddress(text, 1234, error);
        const std::string hostAndPort = a.host + " " + std::to_string(a.tcpPort);
        EXPECT_EQ(!error.empty() ? "error" : a.serial ? "serial" : hostAndPort, expected) << text;
    }
}

TEST(PlusPlusProtocol, AMissingPortIsNamedWithTheReason) {
    const bus::DriverSelection s = bus::selectDriver("prologix:/dev/ttyNoSuchAdapter", "");
    EXPECT_FALSE(s.driver);
#ifdef _WIN32 // the cross build opens no serial ports at all, and says so
    EXPECT_THAT(s.error, HasSubstr("/dev/ttyNoSuchAdapter: this build"));
#else
    EXPECT_THAT(s.error, HasSubstr("/dev/ttyNoSuchAdapter: no such port"));
#endif
}

#ifndef _WIN32
// Where the adapter should answer, something floods the line: the start is
// refused with what came back, and reading stops.
TEST(PlusPlusProtocol, AnEndlessStreamInsteadOfAnAdapterIsRefused) {
    const testing_support::LoopbackListener server;
    ASSERT_TRUE(server.ok());
    std::thread flood([&server] {
        const int client = server.accept();
        const std::string junk(4096, '#');
        while (::send(client, junk.data(), junk.size(), MSG_NOSIGNAL) > 0) {
        }
        ::close(client);
    });
    const bus::DriverSelection s =
        bus::selectDriver("prologix:127.0.0.1:" + std::to_string(server.port()), "");
    flood.join();
    EXPECT_FALSE(s.driver);
    EXPECT_THAT(s.error, HasSubstr("no Prologix adapter answers there (\"####"));
}
#endif

#ifdef VIREON_ADAPTER_SIM

using adaptersim::AdapterSimulator;
using adaptersim::Link;
using adaptersim::Protocol;

struct Bench {
    explicit Bench(Protocol protocol, Link link = Link::Tcp) {
        auto bus = bus::SimulatedBus::defaultBench();
        bus->attach(3, std::make_unique<Echo>());
        simulator =
            std::make_unique<AdapterSimulator>(adaptersim::Options{protocol, link}, std::move(bus));
        bus::DriverSelection s = bus::selectDriver(simulator->driverChoice(), "");
        error = s.error;
        driver = std::move(s.driver);
    }
    std::unique_ptr<AdapterSimulator> simulator;
    std::unique_ptr<bus::Driver> driver;
    std::string error;
};

class SimulatedAdapter : public testing::TestWithParam<Protocol> {
protected:
    void SetUp() override { ASSERT_TRUE(bench.driver) << bench.error; }
    Bench bench{GetParam()};
};

TEST_P(SimulatedAdapter, EveryByteValueGoesThroughBothWaysUnchanged) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    Talk talk(*bench.driver);
    EXPECT_EQ(talk.ask(3, all + "++ver\n" + all), all + "++ver\n" + all);
}

TEST_P(SimulatedAdapter, ALostOrSilentAdapterFailsWithNoBoardAndIsOpenedAgain) {
    Talk talk(*bench.driver);
    const std::int32_t ud = talk.open(5);
    const std::string identity = talk.ask(5, "*IDN?\n");

    talk.write(ud, "*IDN?\n");
    bench.simulator->setSilent(true);
    char buffer[64];
    bench.driver->ibrd(ud, buffer, sizeof buffer);
    EXPECT_EQ(talk.err, bus::ENEB) << "silent in the middle of a read";
    EXPECT_EQ(talk.cntl, 0);
    bench.simulator->setSilent(false);
    EXPECT_EQ(talk.ask(5, "*IDN?\n"), identity);

    bench.simulator->dropConnection();
    talk.write(ud, "*IDN?\n");
    bench.driver->ibrd(ud, buffer, sizeof buffer);
    EXPECT_EQ(talk.err, bus::ENEB) << "connection dropped";
    EXPECT_EQ(talk.ask(5, "*IDN?\n"), identity);
    EXPECT_EQ(bench.simulator->configurationSaves(), 0) << "the adapter's memory is left alone";
}

// The adapter's SRQ line says someone asks; the poll that finds the device
// is the one the next serial poll reports.
TEST_P(SimulatedAdapter, AWaitForServiceFindsTheRequestAndKeepsItsStatusByte) {
    Talk talk(*bench.driver);
    const std::int32_t ud = talk.open(5);
    talk.write(ud, "*SRE 16\n");
    talk.write(ud, "*IDN?\n");
    EXPECT_EQ(bench.driver->ibwait(ud, bus::RQS | bus::TIMO) & (bus::RQS | bus::TIMO), bus::RQS);
    EXPECT_EQ(talk.poll(ud), 0x50);
    EXPECT_EQ(talk.poll(ud) & 0x40, 0) << "the request was taken by the first poll";
}

// A hang guard, not a measure of speed: a call bound by a time-out of
// timeoutMs (and the adapter's margin) ends long before ten times that.
template <typename Call> void underWatchdog(int timeoutMs, Call call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(
                  10 * (timeoutMs + bus::adapter::PlusPlusAdapter::kSilenceMarginMs)))
        << "the watchdog fired";
}

// Forty bytes that the echo at address 3 sends back a byte at a time, for
// several times as long as the shortest time-out below.
const std::string kSlowAnswer = "0123456789abcdefghijklmnopqrstuvwxyz!#$%";
constexpr int kSlowPaceMs = 60;

// A device that keeps sending, a byte at a time, past the time-out: the read
// ends with the time-out and what came (however the bytes were spaced), and
// the rest of its answer is not taken for the next one.
TEST_P(SimulatedAdapter, ASlowTalkerEndsTheReadAtTheTimeOutWithWhatCame) {
    Talk talk(*bench.driver);
    const std::int32_t ud = talk.open(3);
    bench.driver->ibtmo(ud, bus::T300ms);
    talk.write(ud, kSlowAnswer);
    bench.simulator->setPacing(kSlowPaceMs, 0);
    char buffer[64] = {};
    underWatchdog(300, [&] { bench.driver->ibrd(ud, buffer, sizeof buffer); });
    EXPECT_EQ(talk.sta & (bus::ERR | bus::TIMO | bus::END), bus::ERR | bus::TIMO);
    EXPECT_EQ(talk.err, bus::EABO);
    ASSERT_LT(talk.cntl, static_cast<std::int32_t>(kSlowAnswer.size()));
    EXPECT_LE(talk.cntl, bench.simulator->deviceBytesSent());
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(talk.cntl)),
              kSlowAnswer.substr(0, static_cast<std::size_t>(talk.cntl)));
    bench.simulator->setPacing(0, 0);
    EXPECT_EQ(talk.ask(3, "next\n"), "next\n");
}

// The adapter's own reply (to a serial poll) comes a byte at a time: it is
// lost by the deadline, and the next call opens it again.
TEST_P(SimulatedAdapter, AnAdapterThatTricklesItsReplyIsLostByTheDeadline) {
    Talk talk(*bench.driver);
    const std::string identity = talk.ask(5, "*IDN?\n");
    const std::int32_t ud = talk.open(5);
    bench.driver->ibtmo(ud, bus::T300ms);
    bench.simulator->setPacing(0, kSlowPaceMs);
    underWatchdog(300, [&] { talk.poll(ud); });
    EXPECT_EQ(talk.sta & bus::ERR, bus::ERR);
    EXPECT_EQ(talk.err, bus::ENEB);
    bench.simulator->setPacing(0, 0);
    EXPECT_EQ(talk.ask(5, "*IDN?\n"), identity);
}

// The operator stops a file coming in from a slow talker: the stop ends it
// while it waits, with what reached the file, and the device clear the stop
// brings goes to the adapter that is still open.
TEST_P(SimulatedAdapter, AStopEndsAFileFromASlowTalkerAndItsClearFollows) {
    std::vector<std::string> sent;
    dynamic_cast<bus::AdapterDriver&>(*bench.driver)
        .setWireLog([&](bool out, std::string_view line) {
            if (out) sent.emplace_back(line);
        });
    bus::TransferMonitor monitor(*bench.driver);
    Talk talk(monitor);
    const std::int32_t ud = talk.open(3);
    bench.driver->ibtmo(ud, bus::T10s);
    talk.write(ud, kSlowAnswer);
    bench.simulator->setPacing(kSlowPaceMs, 0);
    std::atomic<bool> returned{false};
    const std::uint64_t written = monitor.bytes();
    std::thread operatorStops([&] {
        while (bench.simulator->deviceBytesSent() < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        monitor.requestStop();
        // Once the read ended, the device ends its answer, so the clear
        // need not wait for it.
        while (monitor.bytes() == written && !returned)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        bench.simulator->setPacing(0, 0);
    });
    const std::string path = testing_support::scratchFile(".bin");
    sent.clear();
    underWatchdog(10000, [&] { monitor.ibrdfA(ud, path.c_str()); });
    returned = true;
    operatorStops.join();
    const std::string got = testing_support::fileText(path);
    std::filesystem::remove(path);
    EXPECT_EQ(talk.sta & (bus::ERR | bus::TIMO | bus::END), bus::ERR);
    EXPECT_EQ(talk.err, bus::EABO);
    EXPECT_EQ(talk.cntl, static_cast<std::int32_t>(got.size()));
    EXPECT_LT(got.size(), kSlowAnswer.size());
    EXPECT_EQ(got, kSlowAnswer.substr(0, got.size()));
    EXPECT_THAT(sent, testing::Contains("++clr"));
    EXPECT_THAT(sent, testing::Not(testing::Contains("++mode 1"))) << "the connection held";
}

// An adapter that stops answering once opened: the listener search ends at
// its first question, and the start-up box is told which adapter it was.
TEST_P(SimulatedAdapter, ALostAdapterEndsTheListenerSearchAndIsNamed) {
    Talk talk(*bench.driver);
    bench.simulator->setSilent(true);
    bus::Addr4882 probes[32] = {}, found[31] = {};
    for (int a = 0; a <= 30; ++a)
        probes[a] = static_cast<bus::Addr4882>(a);
    probes[31] = bus::NOADDR;
    underWatchdog(10000, [&] { bench.driver->FindLstn(0, probes, found, 15); });
    EXPECT_EQ(talk.err, bus::ENEB);
    const std::string name = GetParam() == Protocol::Prologix ? "Prologix" : "AR488";
    EXPECT_EQ(bench.driver->startupAdvice(talk.err, talk.cntl),
              "The " + name + " adapter on " + bench.simulator->address() + " stopped answering.");
}

INSTANTIATE_TEST_SUITE_P(Adapters, SimulatedAdapter,
                         testing::Values(Protocol::Prologix, Protocol::Ar488),
                         [](const auto& info) {
                             return info.param == Protocol::Prologix ? "Prologix" : "Ar488";
                         });

TEST(SimulatedAdapterTrace, TheAdaptersOwnLinesGetLinesOfTheirOwn) {
    AdapterSimulator simulator({Protocol::Prologix, Link::Tcp}, bus::SimulatedBus::defaultBench());
    const std::string path = testing_support::scratchFile(".jsonl");
    {
        bus::DriverSelection s = bus::selectDriver(simulator.driverChoice(), path);
        ASSERT_TRUE(s.driver) << s.error;
        Talk(*s.driver).ask(5, "*IDN?\n");
    }
    const std::string trace = testing_support::fileText(path);
    std::filesystem::remove(path);
    EXPECT_THAT(trace, HasSubstr("\"op\":\"adapter\",\"args\":[\"sent\",\"++addr 5\"]}\n"));
    EXPECT_THAT(trace, HasSubstr("\"op\":\"adapter\",\"args\":[\"sent\",\"++read eoi\"]}\n"));
    EXPECT_THAT(trace, HasSubstr("\"op\":\"ibrd\""));
}

TEST(SimulatedAdapterPort, APortWithoutTheAdapterSaysWhatCameBack) {
    Bench other(Protocol::Ar488, Link::Pty);
    ASSERT_TRUE(other.driver) << other.error;
    const std::string port = other.simulator->address();
    other.driver.reset();
    const bus::DriverSelection s = bus::selectDriver("prologix:" + port, "");
    EXPECT_FALSE(s.driver);
    EXPECT_THAT(s.error, HasSubstr(port + ": no Prologix adapter answers there (\"AR488 GPIB"));

    other.simulator->setSilent(true);
    EXPECT_THAT(bus::selectDriver("ar488:" + port, "").error, HasSubstr("nothing came back"));
}

#endif

} // namespace
