// The Prologix and AR488 back ends against the simulated adapter: what the
// driver contract suite cannot see (every byte value, faults of the adapter
// and its connection, the adapter's configuration memory).

#include "bus/drivers/DriverChoice.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/adapter/PlusPlusAdapter.h"
#include "support/Files.h"
#include "support/Talk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::listen(server, 1);
    ::getsockname(server, reinterpret_cast<sockaddr*>(&a), &size);
    std::thread flood([server] {
        const int client = ::accept(server, nullptr, nullptr);
        const std::string junk(4096, '#');
        while (::send(client, junk.data(), junk.size(), MSG_NOSIGNAL) > 0) {
        }
        ::close(client);
    });
    const bus::DriverSelection s =
        bus::selectDriver("prologix:127.0.0.1:" + std::to_string(ntohs(a.sin_port)), "");
    flood.join();
    ::close(server);
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

class SimulatedAdapter : public testing::TestWithParam<Protocol> {};

TEST_P(SimulatedAdapter, EveryByteValueGoesThroughBothWaysUnchanged) {
    Bench bench(GetParam());
    ASSERT_TRUE(bench.driver) << bench.error;
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    Talk talk(*bench.driver);
    EXPECT_EQ(talk.ask(3, all + "++ver\n" + all), all + "++ver\n" + all);
}

TEST_P(SimulatedAdapter, ALostOrSilentAdapterFailsWithNoBoardAndIsOpenedAgain) {
    Bench bench(GetParam());
    ASSERT_TRUE(bench.driver) << bench.error;
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
    Bench bench(GetParam());
    ASSERT_TRUE(bench.driver) << bench.error;
    Talk talk(*bench.driver);
    const std::int32_t ud = talk.open(5);
    talk.write(ud, "*SRE 16\n");
    talk.write(ud, "*IDN?\n");
    EXPECT_EQ(bench.driver->ibwait(ud, bus::RQS | bus::TIMO) & (bus::RQS | bus::TIMO), bus::RQS);
    EXPECT_EQ(talk.poll(ud), 0x50);
    EXPECT_EQ(talk.poll(ud) & 0x40, 0) << "the request was taken by the first poll";
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
