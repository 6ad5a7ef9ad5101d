#include "bus/Binding.h"
#include "support/ScriptedDriver.h"

#include <gtest/gtest.h>

using testing_support::ScriptedDriver;

TEST(LongToInt, TakesTheLow16BitsAsSigned) {
    const std::pair<std::int32_t, std::int16_t> cases[] = {
        {0, 0},           {0x7FFF, 32767},      {0x8000, -32768},
        {0x8100, -32512}, {70000, 4464},        {0xFFFF, -1},
        {-1, -1},         {0x12345678, 0x5678}, {static_cast<std::int32_t>(0xDEAD37F0u), 0x37F0}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(bus::LongToInt(in), out) << in;
}

// The driver's registration result → the calls the binding makes and
// whether the first call's status can be trusted. The next call registers
// again after a refusal.
TEST(Binding, RegistersLazilyAndOnceAndReportsARefusalAsErr) {
    struct Case {
        std::int32_t result;
        std::vector<std::string> calls;
        bool registered;
    };
    const std::string reg = "RegisterGpibGlobalsForThread",
                      unreg = "UnregisterGpibGlobalsForThread";
    const Case cases[] = {{0, {reg, "SendIFC(0)", "ibsre(0,1)"}, true},
                          {1, {reg, unreg, reg, "SendIFC(0)", "ibsre(0,1)"}, true},
                          {2, {reg, unreg, "SendIFC(0)", reg, "ibsre(0,1)"}, false},
                          {3, {reg, unreg, "SendIFC(0)", reg, "ibsre(0,1)"}, false},
                          {7, {reg, "SendIFC(0)", reg, "ibsre(0,1)"}, false}};
    for (const Case& c : cases) {
        ScriptedDriver d;
        d.registerResults = {c.result, 0};
        bus::Binding b(d);
        b.SendIFC(0);
        EXPECT_EQ(b.globalsRegistered(), c.registered) << c.result;
        EXPECT_EQ(b.ibsta & bus::ERR, c.registered ? 0 : bus::ERR) << c.result;
        EXPECT_EQ(b.ibcntlLong(), c.registered ? 0 : static_cast<std::int32_t>(0xDEAD37F0u));
        b.ibsre(0, 1);
        EXPECT_EQ(d.calls, c.calls) << c.result;
        EXPECT_EQ(b.ibsta & bus::ERR, 0) << c.result;
    }
}

// Reads fill the start of a fixed-length buffer with what the driver
// delivered and leave the rest; the poll byte comes back unsigned.
TEST(Binding, ReadsFillOnlyTheStartAndPollsAreUnsigned) {
    struct Case {
        ScriptedDriver::Chunk reply;
        std::size_t size;
        std::u16string buffer;
    };
    const Case cases[] = {{{"1.234"}, 8, u"1.234xxx"},
                          {{"abcd", 0, 0, 2}, 4, u"abxx"},
                          {{"\x80\x81\xFF"}, 4, u"\u20AC\u0081\u00FFx"}};
    for (const Case& c : cases) {
        ScriptedDriver d;
        d.reads = {c.reply};
        d.pollBytes = {0xF1};
        bus::Binding b(d);
        std::u16string buffer(c.size, u'x');
        b.ibrd(32, buffer);
        EXPECT_TRUE(buffer == c.buffer) << c.reply.bytes;
        EXPECT_EQ(d.calls.back(), "ibrd(32," + std::to_string(c.size) + ")");
        EXPECT_EQ(b.ibrsp(32), 241);
    }
}
