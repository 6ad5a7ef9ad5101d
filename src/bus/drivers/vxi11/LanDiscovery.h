#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Finds VXI-11 and HiSLIP instruments on the local network, on request only
// (the Find button of File > Interface...): a portmapper broadcast asking for
// the VXI-11 core channel, and mDNS where the system offers it.
namespace bus::vxi11 {

// An IPv4 interface that can broadcast, as the operator picks one.
struct NetworkInterface {
    std::string name;      // "eth0", or the address where the system gives no name
    std::string address;   // its own address, e.g. 192.168.1.20
    std::string broadcast; // e.g. 192.168.1.255
};

// One instrument or gateway that answered.
struct FoundInstrument {
    bool hislip = false;
    std::string host; // the address it answered from, or its mDNS host name
    int port = 0;     // HiSLIP's TCP port, VXI-11's portmapper port; 0: the standard one
    std::string name; // what it calls itself over mDNS; "" for a portmapper answer
    std::string how;  // "portmapper" or "mDNS"

    // As --driver takes it: "vxi11:192.168.1.50", "hislip:scope.local:4881".
    std::string backEnd() const;
    // One line for the list of what was found.
    std::string label() const;
};

struct LanFindResult {
    std::vector<FoundInstrument> found;
    // What could not be asked, for the operator ("mDNS: avahi-browse is not installed").
    std::vector<std::string> notes;
};

// The interfaces of this machine that can broadcast (loopback left out).
std::vector<NetworkInterface> networkInterfaces();

// Broadcasts the portmapper question to `broadcast` (port 111), collects the
// answers for waitMs, then asks mDNS; each instrument appears once.
LanFindResult findLanInstruments(const std::string& broadcast, int waitMs = 1000);

// The portmapper's GETPORT call (UDP, so no record mark) for the VXI-11
// core channel over TCP.
std::string coreChannelQuery(std::uint32_t xid);
// The port a portmapper's answer gives for that call; nullopt for an answer
// to another call, a refusal, port 0 (not registered) or bytes that are no answer.
std::optional<int> coreChannelPort(std::string_view reply, std::uint32_t xid);

// The resolved services in `avahi-browse -rpt` output ("=" lines of
// _vxi-11._tcp and _hislip._tcp); anything else is skipped.
std::vector<FoundInstrument> parseAvahiBrowse(const std::string& text);

} // namespace bus::vxi11
