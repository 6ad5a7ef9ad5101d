#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

using bus::Addr4882;
using bus::SimulatedBus;

constexpr std::int32_t kBoard = 0;

// Drives a bus through the driver interface with status variables registered
// for the test's thread, the way the console does.
class SimBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(bus->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    }

    std::int32_t open(int pad, int eot = 1) { return bus->ibdev(kBoard, pad, 0, bus::T1s, eot, 0); }

    std::int32_t write(std::int32_t ud, std::string_view text) {
        return bus->ibwrt(ud, text.data(), static_cast<std::int32_t>(text.size()));
    }

    // Reads until END; empty if the first read fails.
    std::string readAll(std::int32_t ud, int chunk = 512) {
        std::string answer;
        std::vector<char> buffer(static_cast<std::size_t>(chunk));
        for (;;) {
            bus->ibrd(ud, buffer.data(), chunk);
            if (sta & bus::ERR) return answer;
            answer.append(buffer.data(), static_cast<std::size_t>(cntl));
            if (sta & bus::END) return answer;
        }
    }

    std::string query(std::int32_t ud, std::string_view text) {
        write(ud, text);
        return readAll(ud);
    }

    int poll(std::int32_t ud) {
        char spr[2] = {0, 0};
        bus->ibrsp(ud, spr);
        return static_cast<unsigned char>(spr[0]);
    }

    std::unique_ptr<SimulatedBus> bus = SimulatedBus::defaultBench();
    std::int32_t sta = 0;
    std::int32_t err = 0;
    std::int32_t cnt = 0;
    std::int32_t cntl = 0;
};

// ---------------------------------------------------------------------------
// Discovery, read the way the console reads it: the board's own address is
// probed first, the result list has 15 entries (limit 15), and the devices are
// counted from entry 1 up to the first 0.

struct Discovery {
    std::int32_t sta;
    std::int32_t err;
    std::array<Addr4882, 16> result; // the last entry guards against overruns
    int count;
};

Discovery discover(SimulatedBus& bus, std::int32_t& sta, std::int32_t& err) {
    std::array<Addr4882, 33> probe{};
    for (Addr4882 a = 1; a <= 30; ++a)
        probe[a] = a;
    probe[31] = bus::NOADDR;
    Discovery d{};
    d.result.fill(0);
    d.result[15] = 0xBEEF;
    bus.FindLstn(kBoard, probe.data(), d.result.data(), 15);
    d.sta = sta;
    d.err = err;
    d.count = 14;
    for (int k = 1; k <= 14; ++k) {
        if (d.result[static_cast<std::size_t>(k)] == 0) {
            d.count = k - 1;
            break;
        }
    }
    return d;
}

TEST_F(SimBus, DiscoveryFindsTheDefaultBenchFromEntryOne) {
    const Discovery d = discover(*bus, sta, err);
    EXPECT_FALSE(d.sta & bus::ERR);
    EXPECT_EQ(d.result[0], 0); // the board's own probe
    EXPECT_EQ(d.count, 3);
    EXPECT_EQ(d.result[1], 5);
    EXPECT_EQ(d.result[2], 9);
    EXPECT_EQ(d.result[3], 22);
}

TEST_F(SimBus, DiscoveryMissesADetachedDevice) {
    bus->detach(9);
    const Discovery d = discover(*bus, sta, err);
    EXPECT_EQ(d.count, 2);
    EXPECT_EQ(d.result[1], 5);
    EXPECT_EQ(d.result[2], 22);
}

struct CrowdCase {
    int devices;
    bool error;
    std::int32_t code;
    int count;
};

class Crowd : public SimBus, public ::testing::WithParamInterface<CrowdCase> {};

TEST_P(Crowd, FourteenFitFifteenOverflowNoneIsABusError) {
    const CrowdCase c = GetParam();
    bus = std::make_unique<SimulatedBus>();
    ASSERT_EQ(bus->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl), 0);
    for (int i = 0; i < c.devices; ++i)
        bus->attach(30 - 2 * i, bus::sim::makeGenericListener());

    const Discovery d = discover(*bus, sta, err);
    EXPECT_EQ((d.sta & bus::ERR) != 0, c.error);
    if (c.error) {
        EXPECT_EQ(d.err, c.code);
    } else {
        EXPECT_EQ(d.count, c.count);
    }
    EXPECT_EQ(d.result[15], 0xBEEF) << "wrote past the limit";
    for (int k = 2; k <= d.count; ++k) {
        EXPECT_LT(d.result[static_cast<std::size_t>(k - 1)], d.result[static_cast<std::size_t>(k)]);
    }
}

INSTANTIATE_TEST_SUITE_P(Listeners, Crowd,
                         ::testing::Values(CrowdCase{1, false, 0, 1}, CrowdCase{14, false, 0, 14},
                                           CrowdCase{15, true, bus::ETAB, 0},
                                           CrowdCase{0, true, bus::EBUS, 0}));

// ---------------------------------------------------------------------------
// Identification, with and without line ends.

struct IdentityCase {
    int address;
    std::string_view query;
    std::string_view answer; // without its line feed
};

class Identity : public SimBus,
                 public ::testing::WithParamInterface<std::tuple<IdentityCase, std::string_view>> {
};

TEST_P(Identity, AnswersWithOrWithoutLineEnd) {
    const auto& [c, lineEnd] = GetParam();
    const std::int32_t ud = open(c.address);
    write(ud, std::string(c.query) + std::string(lineEnd));
    EXPECT_EQ(readAll(ud), std::string(c.answer) + "\n");
    EXPECT_TRUE(sta & bus::END);
    EXPECT_EQ(poll(ud), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Bench, Identity,
    ::testing::Combine(
        ::testing::Values(IdentityCase{5, "*IDN?", "Vireon Sim,VDM-6500,SN000005,1.04.2"},
                          IdentityCase{22, "*idn?",
                                       "Vireon Sim,VSO-2204,SN000022,CF:91.1CT FV:v2.1.0"},
                          IdentityCase{9, "ID?", "ID VIREON SIM/VFG-209,V2.3,F1.1"},
                          IdentityCase{9, "id?", "ID VIREON SIM/VFG-209,V2.3,F1.1"}),
        ::testing::Values("", "\n", "\r\n", "\r", " \n")));

TEST_F(SimBus, WithoutEoiOnlyALineFeedEndsTheMessage) {
    const std::int32_t ud = open(5, 0);
    write(ud, "*IDN?");
    bus->ibrd(ud, std::array<char, 64>{}.data(), 64);
    EXPECT_TRUE(sta & bus::TIMO) << "no EOI, no line feed: the message is not complete";
    write(ud, "\n");
    EXPECT_EQ(readAll(ud), "Vireon Sim,VDM-6500,SN000005,1.04.2\n");
}

TEST_F(SimBus, A488InstrumentRejectsIdQueryAndTheOlderOneRejectsIdn) {
    const std::int32_t ud = open(5);
    write(ud, "*CLS");
    write(ud, "ID?");
    EXPECT_EQ(query(ud, "*ESR?"), "32\n");
    bus->ibpad(ud, 9);
    write(ud, "*IDN?");
    EXPECT_EQ(poll(ud), 97);
}

// ---------------------------------------------------------------------------
// The status registers method as the console sets it up: device clear,
// "DESE 32", "*ESE 32", "*SRE 48"; before each message "*CLS" and up to 25
// polls until one returns 0.

class ConsoleSetUp : public SimBus, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        SimBus::SetUp();
        ud = open(GetParam());
        bus->DevClear(kBoard, static_cast<Addr4882>(GetParam()));
        for (std::string_view m : {"DESE 32", "*ESE 32", "*SRE 48"})
            write(ud, m);
    }

    // The console's clearing before a message; true if a poll came back 0.
    bool clearBeforeMessage() {
        write(ud, "*CLS");
        for (int i = 0; i < 25; ++i) {
            if (poll(ud) == 0) return true;
        }
        return false;
    }

    // The console's check after a message: wait for a request, then poll.
    int checkAfterMessage() {
        bus->ibwait(ud, bus::TIMO | bus::RQS);
        return poll(ud);
    }

    std::int32_t ud = 0;
};

TEST_P(ConsoleSetUp, RejectedCommandPolls96ThenStaysQuiet) {
    ASSERT_TRUE(clearBeforeMessage());
    write(ud, "NO:SUCH:COMMAND 1");
    bus->ibwait(ud, bus::TIMO | bus::RQS);
    EXPECT_TRUE(sta & bus::RQS);
    EXPECT_FALSE(sta & bus::TIMO);
    EXPECT_EQ(poll(ud), 96);
    EXPECT_EQ(poll(ud), 32) << "RQS stays clear until a new request";
    bus->ibwait(ud, bus::TIMO | bus::RQS);
    EXPECT_TRUE(sta & bus::TIMO);
}

TEST_P(ConsoleSetUp, RejectedWithAnAnswerWaitingPolls112) {
    ASSERT_TRUE(clearBeforeMessage());
    write(ud, "*IDN?;BOGUS?");
    EXPECT_EQ(checkAfterMessage(), 112);
}

TEST_P(ConsoleSetUp, GoodQueryPolls80AndItsAnswerReads) {
    ASSERT_TRUE(clearBeforeMessage());
    write(ud, "*IDN?");
    EXPECT_EQ(checkAfterMessage(), 80);
    EXPECT_FALSE(readAll(ud).empty());
    EXPECT_EQ(poll(ud), 0);
}

TEST_P(ConsoleSetUp, GoodCommandRaisesNothing) {
    ASSERT_TRUE(clearBeforeMessage());
    write(ud, "*ESE 32");
    bus->ibwait(ud, bus::TIMO | bus::RQS);
    EXPECT_TRUE(sta & bus::TIMO);
    EXPECT_EQ(poll(ud), 0);
}

TEST_P(ConsoleSetUp, ClearingDrainsAnyLeftoverState) {
    ASSERT_TRUE(clearBeforeMessage());
    write(ud, "*IDN?;BOGUS");
    write(ud, "ID?");
    write(ud, "*OPC?");
    // Nothing read, nothing polled.
    EXPECT_TRUE(clearBeforeMessage());
    bus->ibrd(ud, std::array<char, 16>{}.data(), 16);
    EXPECT_TRUE(sta & bus::TIMO) << "*CLS at the start of a message drops unread answers";
}

TEST_P(ConsoleSetUp, IdQueryCountsAsRejected) {
    ASSERT_TRUE(clearBeforeMessage());
    write(ud, "ID?\r\n");
    EXPECT_EQ(checkAfterMessage(), 96);
}

INSTANTIATE_TEST_SUITE_P(Instruments488, ConsoleSetUp, ::testing::Values(5, 22),
                         [](const auto& info) {
                             return info.param == 5 ? "Multimeter" : "Oscilloscope";
                         });

TEST_F(SimBus, DeseIsKnownToTheOscilloscopeOnly) {
    const std::int32_t dmm = open(5);
    const std::int32_t scope = open(22);
    for (std::int32_t ud : {dmm, scope}) {
        write(ud, "*CLS");
        write(ud, "DESE 32");
    }
    EXPECT_EQ(query(dmm, "*ESR?"), "32\n");
    EXPECT_EQ(query(scope, "*ESR?"), "0\n");
    EXPECT_EQ(query(scope, "DESE?"), "32\n");
}

TEST_F(SimBus, OscilloscopeDeseKeepsEventsOutOfTheRegister) {
    const std::int32_t ud = open(22);
    write(ud, "DESE 0;*CLS");
    write(ud, "BOGUS");
    EXPECT_EQ(query(ud, "*ESR?"), "0\n");
    write(ud, "DESE 255");
    write(ud, "BOGUS");
    EXPECT_EQ(query(ud, "*ESR?"), "32\n");
}

// ---------------------------------------------------------------------------
// The older instrument's status byte.

TEST_F(SimBus, LegacyReportsARejectedMessageAs97UntilPolled) {
    const std::int32_t ud = open(9);
    write(ud, "FREQ 1E12"); // out of its range
    bus->ibwait(ud, bus::TIMO | bus::RQS);
    EXPECT_TRUE(sta & bus::RQS);
    EXPECT_EQ(poll(ud), 97);
    EXPECT_EQ(poll(ud), 0);
}

TEST_F(SimBus, LegacyReports113WhileAnAnswerWaits) {
    const std::int32_t ud = open(9);
    write(ud, "ID?;WHAT");
    EXPECT_EQ(poll(ud), 113);
    EXPECT_EQ(poll(ud), 0);
    EXPECT_EQ(readAll(ud), "ID VIREON SIM/VFG-209,V2.3,F1.1\n");
}

TEST_F(SimBus, LegacyStatusIsZeroForGoodMessagesEvenWithAnAnswerWaiting) {
    const std::int32_t ud = open(9);
    write(ud, "FREQ 2.5E3;FREQ?");
    EXPECT_EQ(poll(ud), 0);
    EXPECT_EQ(readAll(ud), "FREQ 2.500E+03\n");
}

// ---------------------------------------------------------------------------
// Reading: chunks, END, time-outs.

struct ChunkCase {
    int count;
    std::vector<int> counts; // of the reads until END
};

class Chunks : public SimBus, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(Chunks, DeliverAtMostTheCountWithEndOnTheLastByteOnly) {
    const ChunkCase c = GetParam();
    const std::int32_t ud = open(5);
    bus->instrument(5)->queueOutput("0123456789\n");
    std::string got;
    for (std::size_t i = 0; i < c.counts.size(); ++i) {
        std::array<char, 600> buffer{};
        bus->ibrd(ud, buffer.data(), c.count);
        ASSERT_FALSE(sta & bus::ERR);
        EXPECT_EQ(cntl, c.counts[i]);
        EXPECT_EQ(cnt, c.counts[i]);
        EXPECT_EQ((sta & bus::END) != 0, i + 1 == c.counts.size()) << "read " << i;
        got.append(buffer.data(), static_cast<std::size_t>(cntl));
    }
    EXPECT_EQ(got, "0123456789\n");
    bus->ibrd(ud, std::array<char, 4>{}.data(), 4);
    EXPECT_EQ(sta & (bus::ERR | bus::TIMO), bus::ERR | bus::TIMO);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Chunks,
                         ::testing::Values(ChunkCase{1, std::vector<int>(11, 1)},
                                           ChunkCase{4, {4, 4, 3}}, ChunkCase{10, {10, 1}},
                                           ChunkCase{11, {11}}, ChunkCase{512, {11}}));

TEST_F(SimBus, EachQueuedAnswerEndsWithItsOwnEnd) {
    const std::int32_t ud = open(5);
    write(ud, "*OPC?");
    write(ud, "*IDN?");
    EXPECT_EQ(readAll(ud), "1\n");
    EXPECT_EQ(readAll(ud), "Vireon Sim,VDM-6500,SN000005,1.04.2\n");
}

TEST_F(SimBus, NothingToReadTimesOutAtOnce) {
    const std::int32_t ud = open(5);
    std::array<char, 8> buffer{};
    bus->ibrd(ud, buffer.data(), 8);
    EXPECT_EQ(sta & (bus::ERR | bus::TIMO | bus::END), bus::ERR | bus::TIMO);
    EXPECT_EQ(err, bus::EABO);
    EXPECT_EQ(cntl, 0);

    bus->ibwait(ud, bus::TIMO | bus::CMPL);
    EXPECT_TRUE(sta & bus::CMPL);
    EXPECT_FALSE(sta & (bus::TIMO | bus::ERR));
    bus->ibwait(ud, bus::TIMO | bus::RQS);
    EXPECT_TRUE(sta & bus::TIMO);
    EXPECT_FALSE(sta & (bus::RQS | bus::ERR));
}

TEST_F(SimBus, SixteenMegabyteAnswerReadsWholeIn512ByteChunks) {
    const std::int32_t ud = open(5);
    std::string big(16u << 20, 'x');
    big.back() = '\n';
    bus->instrument(5)->queueOutput(std::move(big));
    std::array<char, 512> buffer{};
    std::size_t total = 0;
    int ends = 0;
    do {
        bus->ibrd(ud, buffer.data(), 512);
        ASSERT_FALSE(sta & bus::ERR);
        total += static_cast<std::size_t>(cntl);
        if (sta & bus::END) ++ends;
    } while (!(sta & bus::END));
    EXPECT_EQ(total, 16u << 20);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(buffer[static_cast<std::size_t>(cntl) - 1], '\n');
}

// ---------------------------------------------------------------------------
// Addressing and descriptors.

TEST_F(SimBus, WriteWithNoListenerFailsWithEnol) {
    const std::int32_t ud = open(7);
    write(ud, "*IDN?");
    EXPECT_TRUE(sta & bus::ERR);
    EXPECT_EQ(err, bus::ENOL);
    EXPECT_EQ(cntl, 0);

    bus->ibrd(ud, std::array<char, 8>{}.data(), 8);
    EXPECT_TRUE(sta & bus::TIMO);
    char spr[2] = {0, 0};
    bus->ibrsp(ud, spr);
    EXPECT_TRUE(sta & bus::ERR);
    bus->DevClear(kBoard, 7);
    EXPECT_EQ(err, bus::ENOL);
}

TEST_F(SimBus, EmptyWriteIsFine) {
    const std::int32_t ud = open(5);
    bus->ibwrt(ud, nullptr, 0);
    EXPECT_FALSE(sta & bus::ERR);
    EXPECT_EQ(cntl, 0);
    EXPECT_EQ(poll(ud), 0);
}

TEST_F(SimBus, DescriptorsAreNonZeroAndDistinct) {
    const std::int32_t a = open(5);
    const std::int32_t b = open(5);
    EXPECT_GT(a, 0);
    EXPECT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(bus->ibdev(1, 5, 0, bus::T1s, 1, 0), -1);
    EXPECT_TRUE(sta & bus::ERR);
    EXPECT_EQ(bus->ibdev(kBoard, 31, 0, bus::T1s, 1, 0), -1);
    EXPECT_EQ(err, bus::EARG);
}

TEST_F(SimBus, UnknownDescriptorsGiveEarg) {
    std::int32_t value = 0;
    char spr[2] = {};
    const std::array<std::function<void(std::int32_t)>, 7> calls{
        [&](std::int32_t ud) { write(ud, "*IDN?"); },
        [&](std::int32_t ud) { bus->ibrd(ud, spr, 1); },
        [&](std::int32_t ud) { bus->ibrsp(ud, spr); },
        [&](std::int32_t ud) { bus->ibpad(ud, 5); },
        [&](std::int32_t ud) { bus->ibtmo(ud, bus::T3s); },
        [&](std::int32_t ud) { bus->ibask(ud, bus::IbaTMO, &value); },
        [&](std::int32_t ud) { bus->ibwait(ud, bus::TIMO | bus::CMPL); },
    };
    for (std::int32_t ud : {1, 31, 33, 1000, -1}) {
        for (const auto& call : calls) {
            sta = 0;
            err = 0;
            call(ud);
            EXPECT_TRUE(sta & bus::ERR) << "descriptor " << ud;
            EXPECT_EQ(err, bus::EARG) << "descriptor " << ud;
        }
    }
}

TEST_F(SimBus, IbpadMovesTheDescriptor) {
    const std::int32_t ud = open(1);
    bus->ibpad(ud, 22);
    EXPECT_EQ(query(ud, "*IDN?"), "Vireon Sim,VSO-2204,SN000022,CF:91.1CT FV:v2.1.0\n");
    std::int32_t pad = 0;
    bus->ibask(ud, 0x1, &pad);
    EXPECT_EQ(pad, 22);
    bus->ibpad(ud, 31);
    EXPECT_EQ(err, bus::EARG);
}

TEST_F(SimBus, TimeOutCodeIsKeptPerDescriptor) {
    const std::int32_t a = open(5);
    const std::int32_t b = open(9);
    std::int32_t value = 0;
    bus->ibask(a, bus::IbaTMO, &value);
    EXPECT_EQ(value, bus::T1s);
    bus->ibtmo(a, bus::T300ms);
    bus->ibtmo(b, bus::T100s);
    bus->ibask(a, bus::IbaTMO, &value);
    EXPECT_EQ(value, bus::T300ms);
    bus->ibask(b, bus::IbaTMO, &value);
    EXPECT_EQ(value, bus::T100s);
    bus->ibtmo(a, 18);
    EXPECT_EQ(err, bus::EARG);
    bus->ibask(a, bus::IbaTMO, &value);
    EXPECT_EQ(value, bus::T300ms);
}

// ---------------------------------------------------------------------------
// Device clear.

TEST_F(SimBus, DeviceClearDropsInputOutputAndStatus) {
    const std::int32_t ud = open(5);
    write(ud, "*ESE 32;*SRE 48");
    write(ud, "*IDN?;BOGUS");
    bus->ibwrt(open(5, 0), "*OPC", 4); // half a message waiting for its end
    ASSERT_TRUE(bus->instrument(5)->requestingService());

    bus->DevClear(kBoard, 5);
    EXPECT_FALSE(sta & bus::ERR);
    EXPECT_FALSE(bus->instrument(5)->requestingService());
    EXPECT_EQ(poll(ud), 0);
    bus->ibrd(ud, std::array<char, 8>{}.data(), 8);
    EXPECT_TRUE(sta & bus::TIMO);
    write(ud, "?\n"); // would complete "*OPC" + "?" had the input survived
    EXPECT_EQ(query(ud, "*ESR?"), "32\n") << "only the new message's error";
    EXPECT_EQ(query(ud, "*SRE?;*ESE?"), "48;32\n") << "enable registers stay";
}

TEST_F(SimBus, DeviceClearOfTheLegacyInstrument) {
    const std::int32_t ud = open(9);
    write(ud, "ID?;BOGUS");
    bus->DevClear(kBoard, 9);
    EXPECT_EQ(poll(ud), 0);
    bus->ibrd(ud, std::array<char, 8>{}.data(), 8);
    EXPECT_TRUE(sta & bus::TIMO);
}

// ---------------------------------------------------------------------------
// Files.

// Takes everything up to EOI as one message and sends it back unchanged.
class Echo final : public bus::sim::Instrument {
public:
    std::vector<std::string> messages;

private:
    void execute(std::string_view message) override {
        messages.emplace_back(message);
        queueOutput(std::string(message));
    }
    std::uint8_t statusByte() const override { return 0; }
    bool serviceCondition() const override { return false; }
    bool lineFeedEndsMessage() const override { return false; }
    std::size_t maxMessageLength() const override { return 1 << 20; }
};

class Files : public SimBus {
protected:
    void SetUp() override {
        SimBus::SetUp();
        dir = std::filesystem::path(::testing::TempDir()) /
              ("vireon-sim-" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(dir);
        auto echo = std::make_unique<Echo>();
        this->echo = echo.get();
        bus->attach(3, std::move(echo));
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    static std::string contents(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void store(const std::filesystem::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::filesystem::path dir;
    Echo* echo = nullptr;
};

std::string allByteValues(std::size_t repeat) {
    std::string bytes;
    for (std::size_t r = 0; r < repeat; ++r) {
        for (int b = 0; b < 256; ++b)
            bytes += static_cast<char>(b);
    }
    return bytes;
}

TEST_F(Files, BinaryFileRoundTrip) {
    for (std::size_t repeat : {std::size_t{1}, std::size_t{1000}}) { // 1000: several chunks
        const std::string bytes = allByteValues(repeat);
        const auto in = dir / "in.dat";
        const auto out = dir / "out.dat";
        store(in, bytes);
        store(out, "old content that must go");
        echo->messages.clear();
        const std::int32_t ud = open(3);

        bus->ibwrtfA(ud, in.string().c_str());
        EXPECT_FALSE(sta & bus::ERR);
        EXPECT_EQ(cntl, static_cast<std::int32_t>(bytes.size()));
        ASSERT_EQ(echo->messages.size(), 1u) << "one message, EOI on the last byte only";
        EXPECT_EQ(echo->messages[0], bytes);

        bus->ibrdfA(ud, out.string().c_str());
        EXPECT_FALSE(sta & bus::ERR);
        EXPECT_TRUE(sta & bus::END);
        EXPECT_EQ(cntl, static_cast<std::int32_t>(bytes.size()));
        EXPECT_EQ(contents(out), bytes);
    }
}

TEST_F(Files, LongAnswerIntoAFile) {
    const std::int32_t ud = open(22);
    write(ud, "CURVE?");
    const auto out = dir / "curve.dat";
    bus->ibrdfA(ud, out.string().c_str());
    const std::string data = contents(out);
    EXPECT_GT(data.size(), 40000u);
    EXPECT_EQ(static_cast<std::size_t>(cntl), data.size());
    EXPECT_EQ(data.back(), '\n');
    bus->ibrd(ud, std::array<char, 8>{}.data(), 8);
    EXPECT_TRUE(sta & bus::TIMO);
}

TEST_F(Files, UnusablePathsGiveEfso) {
    const std::int32_t ud = open(3);
    const auto missing = dir / "no" / "such" / "folder" / "x.dat";
    bus->ibwrtfA(ud, missing.string().c_str());
    EXPECT_TRUE(sta & bus::ERR);
    EXPECT_EQ(err, bus::EFSO);
    bus->instrument(3)->queueOutput("abc\n");
    bus->ibrdfA(ud, missing.string().c_str());
    EXPECT_TRUE(sta & bus::ERR);
    EXPECT_EQ(err, bus::EFSO);
}

TEST_F(Files, NothingToReceiveTimesOut) {
    const auto out = dir / "empty.dat";
    bus->ibrdfA(open(3), out.string().c_str());
    EXPECT_EQ(sta & (bus::ERR | bus::TIMO), bus::ERR | bus::TIMO);
    EXPECT_EQ(err, bus::EABO);
    const auto in = dir / "in.dat";
    store(in, "*IDN?");
    bus->ibwrtfA(open(7), in.string().c_str());
    EXPECT_EQ(err, bus::ENOL);
}

// ---------------------------------------------------------------------------
// Switching a device off.

TEST_F(SimBus, DetachMidAnswer) {
    const std::int32_t ud = open(22);
    write(ud, "CURVE?");
    std::array<char, 512> buffer{};
    bus->ibrd(ud, buffer.data(), 512);
    ASSERT_EQ(cntl, 512);
    ASSERT_FALSE(sta & bus::END);

    bus->detach(22);
    EXPECT_EQ(bus->instrument(22), nullptr);
    bus->ibrd(ud, buffer.data(), 512);
    EXPECT_EQ(sta & (bus::ERR | bus::TIMO), bus::ERR | bus::TIMO);
    write(ud, "*IDN?");
    EXPECT_EQ(err, bus::ENOL);
    EXPECT_EQ(discover(*bus, sta, err).count, 2);

    bus->attach(22, bus::sim::makeOscilloscope());
    bus->ibrd(ud, buffer.data(), 512);
    EXPECT_TRUE(sta & bus::TIMO) << "a fresh instrument has nothing to say";
    EXPECT_EQ(query(ud, "*IDN?"), "Vireon Sim,VSO-2204,SN000022,CF:91.1CT FV:v2.1.0\n");
}

} // namespace
