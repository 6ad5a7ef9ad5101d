// The VXI-11 gateway of vireon-serve, spoken to in raw RPC: what only the
// server shows (locks between links, abort of a running read, bad calls and
// records, its portmapper). Our client against it is tested with the client.

#include "Vxi11Server.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/vxi11/LanDiscovery.h"
#include "bus/drivers/vxi11/OncRpc.h"
#include "support/LoopbackListener.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

using namespace bus::vxi11;
using namespace serve::vxi11;

// One TCP connection that makes RPC calls and waits for their replies.
class Peer {
public:
    explicit Peer(int port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    // Takes over a connection the test accepted.
    struct Accepted {
        int fd;
    };
    explicit Peer(Accepted from) : fd_(from.fd) {}
    ~Peer() { ::close(fd_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    void sendRaw(const std::string& bytes) { ::send(fd_, bytes.data(), bytes.size(), 0); }
    void send(std::uint32_t program, std::uint32_t procedure, const XdrWriter& args,
              std::uint32_t version = kVxi11Version) {
        XdrWriter call = rpcCall(++xid_, program, version, procedure);
        sendRaw(recordOf(call.bytes() + args.bytes()));
    }
    // The next reply's bytes, "" when the connection closed or nothing came
    // within `ms`.
    std::string reply(int ms = 5000) {
        RecordReader reader(1 << 20);
        std::string record, error;
        while (reader.next(record, error) == RecordReader::Status::NeedMore) {
            pollfd p{fd_, POLLIN, 0};
            char buffer[4096];
            if (::poll(&p, 1, ms) <= 0) return {};
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) return {};
            reader.feed(buffer, static_cast<std::size_t>(n));
        }
        return record;
    }
    // The first result word of a successful reply (a Device_ErrorCode), or
    // -1 - accept_stat when the call was not accepted.
    std::int32_t errorOf(const std::string& record, std::string* rest = nullptr) {
        XdrReader in(record);
        std::uint32_t words[6] = {};
        for (auto& w : words)
            in.u32(w);
        std::int32_t error = -100;
        if (words[5] != 0) return -1 - static_cast<std::int32_t>(words[5]);
        in.i32(error);
        if (rest != nullptr) rest->assign(record.substr(record.size() - in.left()));
        return error;
    }
    std::int32_t call(std::uint32_t procedure, const XdrWriter& args,
                      std::uint32_t program = kCoreProgram) {
        send(program, procedure, args);
        return errorOf(reply());
    }
    // create_link; the link id, or -1 with the error in `error`.
    std::int32_t link(const std::string& device, std::int32_t* error = nullptr) {
        send(kCoreProgram, kCreateLink, XdrWriter().i32(1).u32(0).u32(0).opaque(device));
        std::string rest;
        const std::int32_t e = errorOf(reply(), &rest);
        if (error != nullptr) *error = e;
        XdrReader in(rest);
        std::int32_t lid = -1;
        return e == 0 && in.i32(lid) ? lid : -1;
    }
    std::int32_t write(std::int32_t lid, const std::string& data, std::uint32_t flags = kEnd,
                       std::uint32_t lockTimeout = 0) {
        return call(kDeviceWrite,
                    XdrWriter().i32(lid).u32(1000).u32(lockTimeout).u32(flags).opaque(data));
    }
    std::int32_t lock(std::int32_t lid, std::uint32_t flags = 0, std::uint32_t timeout = 0) {
        return call(kDeviceLock, XdrWriter().i32(lid).u32(flags).u32(timeout));
    }

private:
    int fd_;
    std::uint32_t xid_ = 0;
};

class Vxi11ServerTest : public testing::Test {
protected:
    Vxi11ServerTest() : server_(options(), makeBench()) {}
    static serve::Vxi11Options options() {
        serve::Vxi11Options o;
        o.portmapperPort = 0; // any free port: no root needed, no clash with 111
        return o;
    }
    std::unique_ptr<bus::Driver> makeBench() {
        auto bench = bus::SimulatedBus::defaultBench();
        bench_ = bench.get();
        return bench;
    }
    bus::SimulatedBus* bench_ = nullptr;
    serve::Vxi11Server server_;
};

TEST_F(Vxi11ServerTest, ALockedDeviceRefusesOtherLinksUntilUnlockedOrItsLinkCloses) {
    ASSERT_EQ(server_.error(), "");
    Peer b(server_.corePort());
    const std::int32_t lidB = b.link("gpib0,5");
    {
        Peer a(server_.corePort());
        const std::int32_t lidA = a.link("inst0"); // the multimeter at 5 too
        ASSERT_GT(lidA, 0);
        ASSERT_GT(lidB, 0);
        EXPECT_EQ(a.lock(lidA), kNoError);
        EXPECT_EQ(b.lock(lidB), kLocked);
        EXPECT_EQ(b.write(lidB, "*RST\n"), kLocked);
        EXPECT_EQ(b.write(lidB, "*RST\n", kEnd | kWaitLock, 30), kLocked);
        EXPECT_EQ(b.call(kDeviceUnlock, XdrWriter().i32(lidB)), kNoLockHeld);
        EXPECT_EQ(a.write(lidA, "*CLS\n"), kNoError);
        EXPECT_EQ(a.call(kDeviceUnlock, XdrWriter().i32(lidA)), kNoError);
        EXPECT_EQ(b.write(lidB, "*CLS\n"), kNoError);
        EXPECT_EQ(a.lock(lidA), kNoError);
        // Another device is not locked.
        EXPECT_EQ(b.write(b.link("gpib0,22"), "*CLS\n"), kNoError);
        // A link of another connection is not this connection's to use.
        EXPECT_EQ(b.write(lidA, "*CLS\n"), kInvalidLink);
    }
    // The connection that held the lock closed: the lock went with it.
    EXPECT_EQ(b.lock(lidB, kWaitLock, 5000), kNoError);
}

TEST_F(Vxi11ServerTest, LinksOnlyToListenersByTheNamesAGatewayGives) {
    Peer p(server_.corePort());
    std::int32_t error = 0;
    EXPECT_GT(p.link("gpib0,22"), 0);
    EXPECT_EQ(p.link("gpib0,7", &error), -1);
    EXPECT_EQ(error, kNotAccessible);
    EXPECT_EQ(p.link("gpib0,31", &error), -1);
    EXPECT_EQ(error, kInvalidAddress);
    EXPECT_EQ(p.link("hislip0", &error), -1);
    EXPECT_EQ(error, kInvalidAddress);
}

TEST_F(Vxi11ServerTest, ReadsEndAtTheRequestSizeATerminationCharacterOrTheMessagesEnd) {
    Peer p(server_.corePort());
    const std::int32_t lid = p.link("inst0");
    // A message in two writes, END only with the second.
    ASSERT_EQ(p.write(lid, "*ID", 0), kNoError);
    ASSERT_EQ(p.write(lid, "N?\n"), kNoError);
    struct Read {
        std::uint32_t size, flags;
        std::int32_t reason;
    };
    // The bus hands over more than a read that ends at ',' returns: the rest
    // comes with the next read.
    const Read reads[] = {{10, 0, kReasonReqCnt},
                          {1000, kTermCharSet, kReasonChr},
                          {1000, kTermCharSet, kReasonChr},
                          {1000, 0, kReasonEnd}};
    std::string answer;
    for (const Read& r : reads) {
        p.send(kCoreProgram, kDeviceRead,
               XdrWriter().i32(lid).u32(r.size).u32(1000).u32(0).u32(r.flags).u32(',' + 0u));
        std::string rest, data;
        ASSERT_EQ(p.errorOf(p.reply(), &rest), kNoError);
        XdrReader in(rest);
        std::int32_t reason = 0;
        ASSERT_TRUE(in.i32(reason) && in.opaque(data, 1000));
        EXPECT_EQ(reason, r.reason) << data;
        answer += data + "|";
    }
    EXPECT_EQ(answer, "Vireon Sim|,|VDM-6500,|SN000005,1.04.2\n|");
}

TEST_F(Vxi11ServerTest, AbortStopsARunningReadOfThatLink) {
    Peer core(server_.corePort()), abort(server_.abortPort());
    const std::int32_t lid = core.link("gpib0,22");
    ASSERT_EQ(core.write(lid, "DAT:ENC RIB;DAT:STAR 1;DAT:STOP 20000;CURV?\n"), kNoError);
    bench_->setRate(2000); // ten seconds of block
    core.send(kCoreProgram, kDeviceRead,
              XdrWriter().i32(lid).u32(1 << 20).u32(60000).u32(0).u32(0).u32(0));
    // The abort may overtake the read on its way: it still counts.
    EXPECT_EQ(abort.call(kDeviceAbort, XdrWriter().i32(lid), kAbortProgram), kNoError);
    const std::string reply = core.reply(15000);
    EXPECT_EQ(core.errorOf(reply), kAborted);
    // With no call of the link on its way, an abort is not kept for a later one.
    EXPECT_EQ(abort.call(kDeviceAbort, XdrWriter().i32(lid), kAbortProgram), kNoError);
    EXPECT_EQ(core.write(lid, "*CLS\n"), kNoError);
    EXPECT_EQ(abort.call(kDeviceAbort, XdrWriter().i32(lid + 100), kAbortProgram), kInvalidLink);
}

TEST_F(Vxi11ServerTest, ARecordOverTheLimitClosesThatConnectionOnly) {
    Peer bad(server_.corePort()), good(server_.corePort());
    const std::int32_t lid = good.link("gpib0,5");
    bad.sendRaw(std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(bad.reply(), "");
    EXPECT_EQ(good.write(lid, "*CLS\n"), kNoError);
}

TEST_F(Vxi11ServerTest, AServiceRequestCallsTheInterruptChannelWithTheLinksHandle) {
    const testing_support::LoopbackListener listener;
    ASSERT_TRUE(listener.ok());

    Peer p(server_.corePort());
    const std::int32_t lid = p.link("gpib0,5");
    const XdrWriter channel = XdrWriter()
                                  .u32(INADDR_LOOPBACK)
                                  .u32(listener.port())
                                  .u32(kInterruptProgram)
                                  .u32(kVxi11Version)
                                  .u32(0);
    EXPECT_EQ(p.call(kCreateIntrChan, channel), kNoError);
    EXPECT_EQ(p.call(kCreateIntrChan, channel), kChannelEstablished);
    EXPECT_EQ(p.call(kDeviceEnableSrq, XdrWriter().i32(lid).u32(1).opaque("dmm")), kNoError);
    EXPECT_EQ(p.write(lid, "*SRE 16;*IDN?\n"), kNoError); // the answer waiting raises SRQ

    pollfd wait{listener.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&wait, 1, 5000), 1);
    Peer interrupts(Peer::Accepted{listener.accept()});
    const std::string record = interrupts.reply();
    XdrReader in(record);
    RpcCall call;
    std::string handle, error;
    ASSERT_TRUE(readRpcCall(in, call, error)) << error;
    EXPECT_EQ(call.program, kInterruptProgram);
    EXPECT_EQ(call.procedure, kDeviceIntrSrq);
    ASSERT_TRUE(in.opaque(handle, 40));
    EXPECT_EQ(handle, "dmm");
}

// Find's question, sent as its broadcast sends it, gets the core channel.
TEST_F(Vxi11ServerTest, ItsPortmapperAnswersFindWithTheCoreChannelOverUdp) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(server_.portmapperPort()));
    const std::string query = bus::vxi11::coreChannelQuery(7);
    ::sendto(fd, query.data(), query.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    pollfd p{fd, POLLIN, 0};
    char reply[256];
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
    ::close(fd);
    EXPECT_EQ(bus::vxi11::coreChannelPort(std::string_view(reply, n > 0 ? std::size_t(n) : 0), 7),
              server_.corePort());
}

// Calls the server cannot take, each answered the way RPC says.
struct BadCall {
    const char* name;
    std::uint32_t version, procedure;
    XdrWriter args;
    std::int32_t expected; // -1 - accept_stat
};
void PrintTo(const BadCall& row, std::ostream* os) {
    *os << row.name;
}

class Vxi11BadCall : public Vxi11ServerTest, public testing::WithParamInterface<BadCall> {};

TEST_P(Vxi11BadCall, IsRefusedAndTheConnectionGoesOn) {
    Peer p(server_.corePort());
    p.send(kCoreProgram, GetParam().procedure, GetParam().args, GetParam().version);
    EXPECT_EQ(p.errorOf(p.reply()), GetParam().expected);
    EXPECT_GT(p.link("gpib0,5"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Vxi11BadCall,
    testing::Values(BadCall{"CreateLinkWithoutArguments", kVxi11Version, kCreateLink, {}, -1 - 4},
                    // A write whose data claims more bytes than the record holds.
                    BadCall{"WriteCutShort", kVxi11Version, kDeviceWrite,
                            XdrWriter().i32(1).u32(0).u32(0).u32(kEnd).u32(100).u32(0), -1 - 4},
                    BadCall{"LockDeviceNeitherTrueNorFalse", kVxi11Version, kCreateLink,
                            XdrWriter().i32(1).u32(2).u32(0).opaque("inst0"), -1 - 4},
                    BadCall{"AProcedureVxi11DoesNotHave", kVxi11Version, 21, {}, -1 - 3},
                    BadCall{"VersionTwo", 2, kCreateLink, {}, -1 - 2}),
    [](const testing::TestParamInfo<BadCall>& row) { return std::string(row.param.name); });

} // namespace
