#include "bus/Binding.h"
#include "support/ScriptedDriver.h"

#include <gtest/gtest.h>

using bus::Binding;
using testing_support::ScriptedDriver;

TEST(LongToInt, TakesTheLow16BitsAsSigned) {
    struct Case {
        std::int32_t in;
        std::int16_t out;
    };
    const Case cases[] = {{0, 0},           {0x7FFF, 32767},     {0x8000, -32768},
                          {0x8100, -32512}, {70000, 4464},       {0xFFFF, -1},
                          {-1, -1},         {0x12345678, 0x5678}, {static_cast<std::int32_t>(0xDEAD37F0u), 0x37F0}};
    for (const Case& c : cases) EXPECT_EQ(bus::LongToInt(c.in), c.out) << c.in;
}

TEST(Binding, CopiesStatusAfterEveryCall) {
    ScriptedDriver d;
    Binding b(d);
    d.outcomes.push_back({0x8100, 2});
    b.ibpad(32, 5);
    EXPECT_EQ(b.ibsta, -32512);
    EXPECT_EQ(b.iberr, 2);
    b.ibtmo(32, 12);
    EXPECT_EQ(b.ibsta, 0);
}

TEST(Binding, RegistersOnceOnFirstCall) {
    ScriptedDriver d;
    Binding b(d);
    EXPECT_FALSE(b.globalsRegistered());
    b.SendIFC(0);
    b.ibsre(0, 1);
    EXPECT_TRUE(b.globalsRegistered());
    EXPECT_EQ(d.count("RegisterGpibGlobalsForThread"), 1);
    EXPECT_EQ(d.count("UnregisterGpibGlobalsForThread"), 0);
}

TEST(Binding, AlreadyRegisteredReregistersWithoutFailure) {
    ScriptedDriver d;
    d.registerResults = {1, 0};
    Binding b(d);
    b.SendIFC(0);
    EXPECT_TRUE(b.globalsRegistered());
    EXPECT_EQ(d.calls[0], "RegisterGpibGlobalsForThread");
    EXPECT_EQ(d.calls[1], "UnregisterGpibGlobalsForThread");
    EXPECT_EQ(d.calls[2], "RegisterGpibGlobalsForThread");
    EXPECT_EQ(d.calls[3], "SendIFC(0)");
    EXPECT_EQ(b.ibsta & bus::ERR, 0);
}

TEST(Binding, RefusedRegistrationReportsErrAndRetriesNextTime) {
    for (std::int32_t refusal : {2, 3, 7, -1}) {
        SCOPED_TRACE(refusal);
        ScriptedDriver d;
        d.registerResults = {refusal, 0};
        Binding b(d);
        b.SendIFC(0);
        EXPECT_FALSE(b.globalsRegistered());
        // The call still went to the driver, but its status could not be seen.
        EXPECT_EQ(d.count("SendIFC"), 1);
        EXPECT_EQ(d.count("UnregisterGpibGlobalsForThread"), refusal == 2 || refusal == 3 ? 1 : 0);
        EXPECT_NE(b.ibsta & bus::ERR, 0);
        EXPECT_EQ(b.iberr, 0);
        EXPECT_EQ(b.ibcntlLong(), static_cast<std::int32_t>(0xDEAD37F0u));
        b.ibsre(0, 1);
        EXPECT_TRUE(b.globalsRegistered());
        EXPECT_EQ(b.ibsta & bus::ERR, 0);
    }
}

TEST(Binding, ReadFillsTheStartOfAFixedLengthBuffer) {
    ScriptedDriver d;
    d.reads.push_back({"1.234", bus::END});
    Binding b(d);
    std::u16string buffer(512, u' ');
    b.ibrd(32, buffer);
    EXPECT_EQ(buffer.size(), 512u);
    EXPECT_EQ(buffer.substr(0, 5), u"1.234");
    EXPECT_EQ(buffer.find_first_not_of(u' ', 5), std::u16string::npos);
    EXPECT_EQ(b.ibcnt, 5);
    EXPECT_EQ(d.calls.back(), "ibrd(32,512)");
}

TEST(Binding, EveryByteSurvivesWriteAndRead) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    ScriptedDriver d;
    d.reads.push_back({all, bus::END});
    Binding b(d);
    std::u16string buffer(256, u' ');
    b.ibrd(32, buffer);
    b.ibwrt(32, buffer);
    EXPECT_EQ(d.written.back(), all);
    EXPECT_EQ(buffer[0x80], u'\u20AC');
    EXPECT_EQ(buffer[0x81], u'\u0081');
}

TEST(Binding, SerialPollReturnsTheFirstByteUnsigned) {
    ScriptedDriver d;
    d.pollBytes = {0xF1, 97};
    Binding b(d);
    EXPECT_EQ(b.ibrsp(32), 241);
    EXPECT_EQ(b.ibrsp(32), 97);
}

TEST(Binding, DescriptorAndAskedValuesFollowLongToInt) {
    ScriptedDriver d;
    d.descriptor = 0x18000 + 5;
    Binding b(d);
    EXPECT_EQ(b.ibdev(0, 1, 0, 11, 1, 0), bus::LongToInt(0x18005));
    EXPECT_EQ(d.calls.back(), "ibdev(0,1,0,11,1,0)");
    EXPECT_EQ(b.ibask(32, bus::IbaTMO), 11);
}

TEST(Binding, FindLstnPassesProbesAndReturnsResults) {
    ScriptedDriver d;
    d.listeners = {0, 5, 9};
    Binding b(d);
    const std::int16_t probes[] = {0, 5, 9, -1, 0};
    std::int16_t results[4] = {7, 7, 7, 7};
    b.FindLstn(0, probes, results, 4);
    EXPECT_EQ(d.calls.back(), "FindLstn(0,0 5 9 ,4)");
    EXPECT_EQ(results[0], 0);
    EXPECT_EQ(results[1], 5);
    EXPECT_EQ(results[2], 9);
    EXPECT_EQ(results[3], 7);
}
