// What Find makes of the answers it gets; no network here, never a broadcast.

#include "bus/drivers/vxi11/LanDiscovery.h"

#include "bus/drivers/vxi11/OncRpc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using bus::vxi11::FoundInstrument;

// Find's question itself goes to vireon-serve's portmapper in Vxi11ServerTest.

struct PortmapperAnswer {
    const char* name;
    std::string bytes;
    std::optional<int> port;
};

class PortmapperAnswers : public testing::TestWithParam<PortmapperAnswer> {};

TEST_P(PortmapperAnswers, GiveThePortOnlyForASuccessfulAnswerToOurCall) {
    EXPECT_EQ(bus::vxi11::coreChannelPort(GetParam().bytes, 77), GetParam().port);
}

const std::string kGood = bus::vxi11::rpcReply(77).u32(1024).take();

INSTANTIATE_TEST_SUITE_P(
    LanDiscovery, PortmapperAnswers,
    testing::Values(
        PortmapperAnswer{"Registered", kGood, 1024},
        PortmapperAnswer{"AnotherCall", bus::vxi11::rpcReply(78).u32(1024).take(), std::nullopt},
        PortmapperAnswer{"NotRegistered", bus::vxi11::rpcReply(77).u32(0).take(), std::nullopt},
        PortmapperAnswer{"PortOutOfRange", bus::vxi11::rpcReply(77).u32(70000).take(),
                         std::nullopt},
        PortmapperAnswer{
            "ProgramUnavailable",
            bus::vxi11::rpcReply(77, bus::vxi11::AcceptStat::ProgramUnavailable).take(),
            std::nullopt},
        PortmapperAnswer{"Denied", bus::vxi11::XdrWriter().u32(77).u32(1).u32(1).u32(1).take(),
                         std::nullopt},
        PortmapperAnswer{"CutShort", kGood.substr(0, kGood.size() - 2), std::nullopt},
        PortmapperAnswer{"Empty", "", std::nullopt}),
    [](const testing::TestParamInfo<PortmapperAnswer>& row) { return row.param.name; });

std::vector<std::string> backEnds(const std::vector<FoundInstrument>& found) {
    std::vector<std::string> texts;
    for (const FoundInstrument& f : found)
        texts.push_back(f.backEnd() + " " + f.label());
    return texts;
}

// avahi-browse -rpt as it prints: "+" lines as services appear, "=" once
// resolved, each on every interface and protocol it was seen on.
TEST(LanDiscovery, AvahiServicesGiveOneEntryEachPreferringIpv4) {
    const std::string output =
        "+;eth0;IPv6;Keysight\\032E5810A;_vxi-11._tcp;local\n"
        "+;eth0;IPv4;Keysight\\032E5810A;_vxi-11._tcp;local\n"
        "=;eth0;IPv6;Keysight\\032E5810A;_vxi-11._tcp;local;e5810.local;fe80::1;111;\"x=1\"\n"
        "=;eth0;IPv4;Keysight\\032E5810A;_vxi-11._tcp;local;e5810.local;192.0.2.5;111;\"x=1\"\n"
        "=;eth0;IPv6;scope\\.lab\\;2;_hislip._tcp;local;scope.local;2001:db8::7;4881;\n"
        "=;eth0;IPv4;dmm;_hislip._tcp;local;dmm.local;192.0.2.9;4880;\"a;b\"\n"
        "=;eth0;IPv4;odd;_vxi-11._tcp;local;odd.local;192.0.2.10;99999;\n"
        "=;eth0;IPv4;short;_vxi-11._tcp;local;short.local\n"
        "=;eth0;IPv4;other;_http._tcp;local;web.local;192.0.2.11;80;\n"
        "Failed to resolve service 'x' of type '_hislip._tcp' in domain 'local': Timeout reached\n";
    EXPECT_EQ(backEnds(bus::vxi11::parseAvahiBrowse(output)),
              (std::vector<std::string>{
                  "vxi11:192.0.2.5 Keysight E5810A - VXI-11 192.0.2.5 (mDNS)",
                  "hislip:[2001:db8::7]:4881 scope.lab;2 - HiSLIP [2001:db8::7]:4881 (mDNS)",
                  "hislip:192.0.2.9 dmm - HiSLIP 192.0.2.9 (mDNS)"}));
    EXPECT_TRUE(bus::vxi11::parseAvahiBrowse("=;\n=\n;;;\n").empty());
}

} // namespace
