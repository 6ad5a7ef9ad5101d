// What is particular to the simulated bench: instruments come and go, a
// message without EOI waits for its line feed, and files reach an instrument
// as one message. What every back end does is in DriverContractTest.

#include "bus/drivers/SimulatedBus.h"
#include "support/Files.h"
#include "support/Talk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using testing_support::Echo;

struct SimBus : ::testing::Test {
    // One read of up to 512 bytes.
    std::string read(std::int32_t ud) {
        std::string buffer(512, '\0');
        bus->ibrd(ud, buffer.data(), 512);
        return buffer.substr(0, static_cast<std::size_t>(t.cntl));
    }

    std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench();
    testing_support::Talk t{*bus};
};

TEST_F(SimBus, AnInstrumentSwitchedOffMidAnswerIsGoneAndAFreshOneHasNothingToSay) {
    const std::int32_t ud = t.open(22);
    t.write(ud, "CURVE?");
    ASSERT_EQ(read(ud).size(), 512u);
    bus->detach(22);
    EXPECT_EQ(read(ud), "");
    EXPECT_EQ(t.sta & (bus::ERR | bus::TIMO), bus::ERR | bus::TIMO);
    EXPECT_EQ(t.ask(22, "*IDN?"), testing_support::kNoListener);
    bus->attach(22, bus::sim::makeOscilloscope());
    EXPECT_EQ(read(ud), "");
    EXPECT_EQ(t.ask(22, "*IDN?"), "Vireon Sim,VSO-2204,SN000022,CF:91.1CT FV:v2.1.0\n");
}

TEST_F(SimBus, WithoutEoiOnlyALineFeedEndsTheMessageAndDeviceClearDropsAHalfOne) {
    const std::int32_t ud = t.open(5, 0);
    t.write(ud, "*IDN?");
    EXPECT_EQ(read(ud), "");
    bus->DevClear(0, 5); // drops the half message
    t.write(ud, "\n");
    EXPECT_EQ(read(ud), "");
    t.write(ud, "*IDN?\n");
    EXPECT_EQ(read(ud), "Vireon Sim,VDM-6500,SN000005,1.04.2\n");
}

TEST(Framing, ALineFeedOrEoiEndsAMessageAndAnOverlongOneIsDroppedWhole) {
    Echo r(false);
    for (auto [bytes, end] : {std::pair{"A\nBC", false},
                              {"D", false},
                              {"E", true},
                              {"F\nG\n", true},
                              {"0123", false},
                              {"45678", false},
                              {"9\nok\n", false},
                              {"0123456789", true}})
        r.receive(bytes, end);
    EXPECT_EQ(r.messages, (std::vector<std::string>{"A\n", "BCDE", "F\n", "G\n", "too long", "ok\n",
                                                    "too long"}));
    // A message the instrument runs out of memory on is dropped; nothing
    // is thrown out of the driver call.
    EXPECT_NO_THROW(r.receive("FAIL\n", true));
    EXPECT_TRUE(r.lost);
    EXPECT_EQ(r.messages.back(), "too long");
}

TEST_F(SimBus, AFileOfSeveralChunksGoesAsOneMessageAndComesBackWhole) {
    std::string bytes;
    for (int i = 0; i < 256000; ++i)
        bytes += static_cast<char>(i * 7);
    const std::string in = testing_support::scratchFile(".in"),
                      out = testing_support::scratchFile(".out");
    std::ofstream(in, std::ios::binary) << bytes;
    std::ofstream(out, std::ios::binary) << "old content that must go";
    auto echo = std::make_unique<Echo>();
    const Echo& device = *echo;
    bus->attach(3, std::move(echo));
    const std::int32_t ud = t.open(3);
    bus->ibwrtfA(ud, in.c_str());
    EXPECT_EQ(t.cntl, 256000);
    EXPECT_TRUE(device.messages == std::vector<std::string>{bytes}) << "EOI on the last byte only";
    EXPECT_EQ(bus->ibrdfA(ud, out.c_str()) & (bus::ERR | bus::END), bus::END);
    EXPECT_EQ(t.cntl, 256000);
    EXPECT_TRUE(testing_support::fileText(out) == bytes);
    std::filesystem::remove(in);
    std::filesystem::remove(out);
}

} // namespace
