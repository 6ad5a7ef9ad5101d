// The VXI-11 back end: against a scripted server for every way a reply can
// go wrong, and against vireon-serve's gateway in front of the built-in
// bench for what the driver contract suite does not show (a block of
// megabytes, locks, service requests over the interrupt channel, a stop).

#include "bus/drivers/vxi11/Vxi11Client.h"

#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/TransferMonitor.h"
#include "support/Files.h"
#include "support/Talk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#ifdef VIREON_ADAPTER_SIM
#include "Vxi11Server.h"
#endif

namespace {

using bus::vxi11::Vxi11Client;
using bus::vxi11::XdrReader;
using bus::vxi11::XdrWriter;
using testing::HasSubstr;
using testing_support::Talk;

// What the connector is asked for first (the portmapper's host and port),
// or "" when the text is refused before that.
TEST(Vxi11Address, ReadsHostPortmapperPortAndDevice) {
    const std::pair<const char*, const char*> cases[] = {{"lab-gw", "lab-gw 111"},
                                                         {"lab-gw:4111/gpib0", "lab-gw 4111"},
                                                         {"[::1]:99/inst1", "::1 99"},
                                                         {"", ""},
                                                         {"host/", ""},
                                                         {"/dev/ttyUSB0", ""},
                                                         {"host:0/inst0", ""}};
    for (const auto& [text, expected] : cases) {
        std::string asked, error;
        const auto client = Vxi11Client::openWith(
            text,
            [&](const std::string& host, int port, std::string& why) {
                asked = host + " " + std::to_string(port);
                why = "refused";
                return nullptr;
            },
            false, error);
        EXPECT_EQ(asked, expected);
        EXPECT_FALSE(client || error.empty()) << text;
    }
}

constexpr std::uint32_t kCoreProgram = 0x0607AF;

// The reply to device_read call `xid`, with `data`.
std::string readReply(std::uint32_t xid, const std::string& data) {
    return bus::vxi11::recordOf(bus::vxi11::rpcReply(xid).i32(0).i32(4).opaque(data).bytes());
}

// What the scripted server sends for a device_read; null closes the pipe.
using ReadAnswer = std::string (*)(std::uint32_t xid, const std::string& answer);

// Plays the portmapper and the core channel in this process, over pipes the
// client's connector gets: create_link, device_write and device_read with a
// fixed answer, device_readstb, and Device_Error 0 for the rest.
class ScriptedServer {
public:
    std::unique_ptr<Vxi11Client> open() {
        std::string error;
        auto client = Vxi11Client::openWith(
            "127.0.0.1/inst0",
            [this](const std::string&, int, std::string&) {
                ++connections;
                return std::make_unique<Pipe>(*this);
            },
            false, error);
        EXPECT_TRUE(client) << error;
        return client;
    }

    std::string answer = "VIREON,SCRIPTED,0,1\n";
    ReadAnswer nextRead = &readReply;
    int connections = 0;
    // The sizes of the device_write calls, each with E when it had END.
    std::string writes;

private:
    class Pipe final : public bus::adapter::Transport {
    public:
        explicit Pipe(ScriptedServer& server) : server_(server) {}
        bool send(const char* data, std::size_t size, int) override {
            records_.feed(data, size);
            std::string record, error;
            while (!gone_ &&
                   records_.next(record, error) == bus::vxi11::RecordReader::Status::Record)
                gone_ = !server_.answerCall(record, out_);
            return true;
        }
        long receive(char* buffer, std::size_t size, int timeoutMs) override {
            if (out_.empty() && !gone_)
                std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeoutMs, 20)));
            if (out_.empty()) return gone_ ? -1 : 0;
            const std::size_t n = out_.copy(buffer, size);
            out_.erase(0, n);
            return static_cast<long>(n);
        }
        void discardInput() override { out_.clear(); }

    private:
        ScriptedServer& server_;
        bus::vxi11::RecordReader records_{1 << 20};
        std::string out_;
        bool gone_ = false;
    };

    // False when the connection is to close.
    bool answerCall(const std::string& record, std::string& out) {
        XdrReader in(record);
        bus::vxi11::RpcCall call;
        std::string error;
        if (!bus::vxi11::readRpcCall(in, call, error)) return false;
        XdrWriter reply = bus::vxi11::rpcReply(call.xid);
        if (call.program == kCoreProgram && call.procedure == 10) {
            reply.i32(0).i32(7).u32(1).u32(1024);
        } else if (call.program == kCoreProgram && call.procedure == 11) {
            std::int32_t lid = 0;
            std::uint32_t io = 0, lock = 0, flags = 0;
            std::string data;
            in.i32(lid), in.u32(io), in.u32(lock), in.u32(flags), in.opaque(data, 1 << 20);
            reply.i32(0).u32(static_cast<std::uint32_t>(data.size()));
            writes += std::to_string(data.size()) + ((flags & 8) != 0 ? "E " : " ");
        } else if (call.program == kCoreProgram && call.procedure == 12) {
            const ReadAnswer read = std::exchange(nextRead, &readReply);
            if (read != nullptr) out += read(call.xid, answer);
            return read != nullptr;
        } else if (call.program != kCoreProgram) {
            reply.u32(111); // the portmapper's answer; every pipe leads here anyway
        } else {
            reply.i32(0); // Device_Error 0, and device_readstb's status byte
            if (call.procedure == 13) reply.u32(0x42);
        }
        out += bus::vxi11::recordOf(reply.bytes());
        return true;
    }
};

TEST(Vxi11Scripted, OneInstrumentAtAddressOneTakesLongWritesInPieces) {
    ScriptedServer server;
    const auto client = server.open();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->description(), "VXI-11 inst0 on 127.0.0.1");
    Talk talk(*client);
    EXPECT_EQ(talk.ask(1, "*IDN?\n"), server.answer);
    EXPECT_EQ(talk.poll(talk.open(1)), 0x42);
    EXPECT_EQ(talk.ask(2, "*IDN?\n"), testing_support::kNoListener);
    // A write longer than the server takes at once goes in pieces, END with
    // the last only, and only when the descriptor says so.
    const std::string block(2100, 'b');
    server.writes.clear();
    talk.write(talk.open(1), block);
    EXPECT_EQ(talk.cntl, 2100);
    talk.write(talk.open(1, 0), block);
    EXPECT_EQ(server.writes, "1024 1024 52E 1024 1024 52 ");
}

struct BadReply {
    const char* name;
    ReadAnswer reply;
    bool answered = false; // the read still gets its own answer
};

class Vxi11BadReply : public testing::TestWithParam<BadReply> {};

TEST_P(Vxi11BadReply, FailsTheCallWithinItsDeadlineAndTheNextCallConnectsAgain) {
    ScriptedServer server;
    const auto client = server.open();
    ASSERT_TRUE(client);
    Talk talk(*client);
    const std::int32_t ud = talk.open(1);
    client->ibtmo(ud, bus::T300ms);
    talk.write(ud, "*IDN?\n");
    server.nextRead = GetParam().reply;
    char buffer[256];
    const auto start = std::chrono::steady_clock::now();
    client->ibrd(ud, buffer, sizeof buffer);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(10 * (300 + Vxi11Client::kSilenceMarginMs)))
        << "not by the deadline of a 300 ms time-out, with room to spare";
    if (GetParam().answered) {
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(talk.cntl)), server.answer);
        EXPECT_EQ(talk.sta & (bus::ERR | bus::END), bus::END);
        return;
    }
    EXPECT_EQ(talk.sta & bus::ERR, bus::ERR);
    EXPECT_EQ(talk.err, bus::ENEB);
    EXPECT_THAT(client->startupAdvice(bus::ENEB, 0), HasSubstr("device_read inst0"));
    EXPECT_EQ(talk.ask(1, "*IDN?\n"), server.answer);
    EXPECT_EQ(server.connections, 4) << "portmapper and core channel, twice";
}

const BadReply kBadReplies[] = {
    {"AReplyToAnotherCallFirst",
     [](std::uint32_t xid, const std::string& answer) {
         return readReply(xid + 1000, "not this one\n") + readReply(xid, answer);
     },
     true},
    {"OnlyAReplyToAnotherCall",
     [](std::uint32_t xid, const std::string& answer) { return readReply(xid - 1, answer); }},
    {"AHugeFragmentLength",
     [](std::uint32_t, const std::string&) { return XdrWriter().u32(0xFFFFFFFF).take(); }},
    {"ATruncatedRecord", // half a record, then silence
     [](std::uint32_t xid, const std::string& answer) {
         return readReply(xid, answer).substr(0, 20);
     }},
    {"ACallInsteadOfAReply",
     [](std::uint32_t xid, const std::string&) {
         return bus::vxi11::recordOf(bus::vxi11::rpcCall(xid, 1, 1, 1).bytes());
     }},
    {"AProcedureRefused",
     [](std::uint32_t xid, const std::string&) {
         return bus::vxi11::recordOf(
             bus::vxi11::rpcReply(xid, bus::vxi11::AcceptStat::ProcedureUnavailable).bytes());
     }},
    {"MoreDataThanAskedFor",
     [](std::uint32_t xid, const std::string&) { return readReply(xid, std::string(5000, 'x')); }},
    {"ASilentServer", [](std::uint32_t, const std::string&) { return std::string(); }},
    {"ADroppedConnection", nullptr},
};
INSTANTIATE_TEST_SUITE_P(Replies, Vxi11BadReply, testing::ValuesIn(kBadReplies),
                         [](const auto& row) { return std::string(row.param.name); });

#ifdef VIREON_ADAPTER_SIM

// vireon-serve's gateway in front of the built-in bench (a multimeter at 5,
// a legacy instrument at 9, an oscilloscope at 22), reached through its own
// portmapper on a free port.
class Vxi11Served : public testing::Test {
protected:
    Vxi11Served() : server(options(), makeBench()) {}
    static serve::Vxi11Options options() {
        serve::Vxi11Options o;
        o.portmapperPort = 0;
        return o;
    }
    std::unique_ptr<bus::Driver> makeBench() {
        auto made = bus::SimulatedBus::defaultBench();
        bench = made.get();
        return made;
    }
    std::unique_ptr<Vxi11Client> open(const std::string& device) {
        std::string error;
        auto client = Vxi11Client::open(
            "127.0.0.1:" + std::to_string(server.portmapperPort()) + "/" + device, error);
        EXPECT_TRUE(client) << error;
        return client;
    }

    bus::SimulatedBus* bench = nullptr;
    serve::Vxi11Server server;
};

// A reply of megabytes (the gateway sends its record mark ahead of it)
// comes byte for byte as the bench itself gives it.
TEST_F(Vxi11Served, ALongBlockComesByteForByte) {
    const auto gateway = open("gpib0");
    ASSERT_TRUE(gateway);
    auto direct = bus::SimulatedBus::defaultBench();
    Talk scope(*gateway), local(*direct);
    const std::string setup =
        "HOR:RECO 2000000\nDAT:ENC RIB\nDAT:WID 2\nDAT:STAR 1\nDAT:STOP 2000000\n";
    const std::string block = local.ask(22, setup + "CURV?\n");
    ASSERT_GT(block.size(), 4000000u);
    const std::int32_t ud = scope.open(22);
    gateway->ibtmo(ud, bus::T10s);
    scope.write(ud, setup + "CURV?\n");
    std::string got(block.size() + 16, '\0');
    gateway->ibrd(ud, got.data(), static_cast<std::int32_t>(got.size()));
    EXPECT_EQ(scope.sta & (bus::ERR | bus::END), bus::END) << gateway->lastError();
    got.resize(static_cast<std::size_t>(scope.cntl));
    EXPECT_TRUE(got == block) << "the block differs";
}

// With locking on, a client holds each device it links to until it lets go.
TEST_F(Vxi11Served, ALockedDeviceRefusesAnotherClientUntilLetGo) {
    const auto holder = open("gpib0"), other = open("gpib0");
    ASSERT_TRUE(holder && other);
    holder->setLocking(true);
    Talk held(*holder), talk(*other);
    held.write(held.open(5), "*CLS\n");
    talk.write(talk.open(5), "*CLS\n");
    EXPECT_EQ(talk.sta & bus::ERR, bus::ERR);
    EXPECT_THAT(other->lastError(), HasSubstr("locked"));
    holder->setLocking(false);
    talk.write(talk.open(5), "*CLS\n");
    EXPECT_EQ(talk.sta & bus::ERR, 0) << other->lastError();
}

// The request comes over the interrupt channel; the poll that took it is
// the one the next serial poll reports.
TEST_F(Vxi11Served, AWaitForServiceHearsTheInterruptChannel) {
    const auto client = open("gpib0");
    ASSERT_TRUE(client);
    Talk talk(*client);
    const std::int32_t ud = talk.open(5);
    talk.write(ud, "*SRE 16\n");
    EXPECT_TRUE(client->interruptChannel());
    talk.write(ud, "*IDN?\n");
    EXPECT_EQ(client->ibwait(ud, bus::RQS | bus::TIMO) & (bus::RQS | bus::TIMO), bus::RQS);
    EXPECT_EQ(talk.poll(ud), 0x50);
    EXPECT_EQ(talk.poll(ud) & 0x40, 0) << "the request was taken by the first poll";
}

// A stop while a slow block comes in aborts the read over the abort
// channel; after the clear the console sends, a query gets its own answer.
TEST_F(Vxi11Served, AStopAbortsTheReadAndTheNextQueryGetsItsOwnAnswer) {
    const auto client = open("gpib0");
    ASSERT_TRUE(client);
    bus::TransferMonitor monitor(*client);
    Talk talk(monitor);
    const std::string identity = talk.ask(22, "*IDN?\n");
    const std::int32_t ud = talk.open(22);
    monitor.ibtmo(ud, bus::T10s);
    talk.write(ud, "DAT:ENC RIB;STAR 1;STOP 20000\nCURV?\n");
    bench->setRate(2000); // ten seconds of block
    // The whole block is one device_read: the stop comes while it runs (or,
    // should it come first, the abort is sent again until the read ends).
    std::thread operatorStops([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        monitor.requestStop();
    });
    const std::string path = testing_support::scratchFile(".bin");
    monitor.ibrdfA(ud, path.c_str());
    operatorStops.join();
    std::filesystem::remove(path);
    EXPECT_EQ(talk.sta & (bus::ERR | bus::TIMO), bus::ERR);
    EXPECT_EQ(talk.err, bus::EABO);
    EXPECT_LT(talk.cntl, 40000);
    bench->setRate(0);
    monitor.ibclr(ud);
    EXPECT_EQ(talk.sta & bus::ERR, 0) << client->lastError();
    monitor.reset(); // as the console does once the stop is dealt with
    EXPECT_EQ(talk.ask(22, "*IDN?\n"), identity) << client->lastError();
}

#endif // VIREON_ADAPTER_SIM

} // namespace
