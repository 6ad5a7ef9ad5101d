// The RPC framing reads whatever a peer sends with a bound: records come in
// any pieces, and nothing the reader is given makes it hold more than its
// limit or read past the message.

#include "bus/drivers/vxi11/OncRpc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using bus::vxi11::RecordReader;
using bus::vxi11::XdrReader;
using bus::vxi11::XdrWriter;

std::string mark(std::uint32_t word) {
    return XdrWriter().u32(word).take();
}

TEST(OncRpc, XdrRoundTripPadsOpaqueDataAndRefusesWhatOverrunsItsBound) {
    const std::string bytes = XdrWriter().u32(0xDEADBEEF).i32(-2).opaque("abcde").take();
    EXPECT_EQ(bytes.size(), 4u + 4u + 4u + 8u);
    XdrReader in(bytes);
    std::uint32_t u = 0;
    std::int32_t i = 0;
    std::string text;
    EXPECT_TRUE(in.u32(u) && in.i32(i) && in.opaque(text, 5));
    EXPECT_EQ(u, 0xDEADBEEFu);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(text, "abcde");
    EXPECT_EQ(in.left(), 0u);

    XdrReader tooLong(std::string_view(bytes).substr(8));
    EXPECT_FALSE(tooLong.opaque(text, 4));
    XdrReader cutShort(std::string_view(bytes).substr(8, 9)); // the padding is missing
    EXPECT_FALSE(cutShort.opaque(text, 100));
    EXPECT_FALSE(cutShort.u32(u)) << "a failed reader stays failed";
}

TEST(OncRpc, ACallAndItsReplyReadBackAndAnotherCallsReplyIsToldApart) {
    const std::string call = bus::vxi11::rpcCall(7, 0x0607AF, 1, 10).u32(42).take();
    XdrReader in(call);
    bus::vxi11::RpcCall header;
    std::string error;
    ASSERT_TRUE(bus::vxi11::readRpcCall(in, header, error)) << error;
    EXPECT_EQ(header.xid, 7u);
    EXPECT_EQ(header.program, 0x0607AFu);
    EXPECT_EQ(header.procedure, 10u);
    std::uint32_t argument = 0;
    EXPECT_TRUE(in.u32(argument));
    EXPECT_EQ(argument, 42u);

    const std::string reply = bus::vxi11::rpcReply(7).u32(0).take();
    XdrReader mine(reply), other(reply);
    EXPECT_EQ(bus::vxi11::readRpcReply(mine, 7, error), bus::vxi11::ReplyCheck::Results);
    EXPECT_EQ(mine.left(), 4u);
    EXPECT_EQ(bus::vxi11::readRpcReply(other, 8, error), bus::vxi11::ReplyCheck::OtherCall);

    const std::string refused =
        bus::vxi11::rpcReply(7, bus::vxi11::AcceptStat::ProcedureUnavailable).take();
    XdrReader no(refused);
    EXPECT_EQ(bus::vxi11::readRpcReply(no, 7, error), bus::vxi11::ReplyCheck::Failed);
    EXPECT_EQ(error, "procedure unavailable");
}

struct Stream {
    const char* name;
    std::string bytes;
    std::vector<std::string> records; // what comes out, in order
    bool fails;                       // and then a failure
};

class RecordMarking : public testing::TestWithParam<Stream> {};

TEST_P(RecordMarking, FedOneByteAtATimeGivesTheSameAsFedWhole) {
    for (const bool byByte : {false, true}) {
        RecordReader reader(16);
        std::vector<std::string> got;
        bool failed = false;
        const std::string& bytes = GetParam().bytes;
        for (std::size_t at = 0; at < bytes.size() && !failed; at += byByte ? 1 : bytes.size()) {
            reader.feed(bytes.data() + at, byByte ? 1 : bytes.size());
            std::string record, error;
            for (RecordReader::Status s;
                 (s = reader.next(record, error)) != RecordReader::Status::NeedMore;) {
                if (s == RecordReader::Status::Failed) {
                    failed = true;
                    break;
                }
                got.push_back(record);
            }
        }
        EXPECT_EQ(got, GetParam().records) << (byByte ? "byte by byte" : "whole");
        EXPECT_EQ(failed, GetParam().fails) << (byByte ? "byte by byte" : "whole");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, RecordMarking,
    testing::Values(Stream{"TwoRecordsBackToBack",
                           mark(0x80000003) + "abc" + mark(0x80000002) + "de",
                           {"abc", "de"},
                           false},
                    Stream{"OneRecordInThreeFragments",
                           mark(2) + "ab" + mark(1) + "c" + mark(0x80000001) + "d",
                           {"abcd"},
                           false},
                    Stream{"AnEmptyLastFragmentEndsARecord", mark(0x80000000), {""}, false},
                    Stream{"AFragmentPastTheLimit", mark(0x80000011) + "x", {}, true},
                    Stream{"FragmentsThatAddUpPastTheLimit",
                           mark(10) + std::string(10, 'a') + mark(0x80000007),
                           {},
                           true},
                    Stream{"AnEmptyFragmentThatIsNotTheLast", mark(0), {}, true},
                    Stream{"AHugeLengthIsRefusedBeforeAnyDataComes", mark(0xFFFFFFFF), {}, true}),
    [](const testing::TestParamInfo<Stream>& row) { return std::string(row.param.name); });

} // namespace
