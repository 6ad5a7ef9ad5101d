#include "bus/drivers/vxi11/LanDiscovery.h"

#include "bus/drivers/adapter/Sockets.h"
#include "bus/drivers/vxi11/OncRpc.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <random>

#ifndef _WIN32
#include <cstdlib>
#include <ifaddrs.h>
#include <net/if.h>
#endif

namespace bus::vxi11 {

namespace {

using adapter::closeSocket;
using adapter::hostAndPort;
using adapter::kNoSocket;
using adapter::pollOne;
using adapter::Socket;
using adapter::socketError;
using adapter::SocketLibrary;

constexpr std::uint32_t kCoreProgram = 0x0607AF;
constexpr std::uint32_t kCoreVersion = 1;
constexpr int kPortmapperPort = 111;
constexpr int kHislipPort = 4880;
// Answers beyond this many are not read: a network does not hold more
// instruments than a list can show, and a flood must not keep us.
constexpr std::size_t kMostAnswers = 256;

// Who answers the portmapper broadcast on `broadcast`, until waitMs is over.
std::vector<FoundInstrument> askPortmappers(const std::string& broadcast, int waitMs,
                                            std::vector<std::string>& notes) {
    std::vector<FoundInstrument> found;
    const SocketLibrary library;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPortmapperPort);
    if (!library.ok || ::inet_pton(AF_INET, broadcast.c_str(), &to.sin_addr) != 1) {
        notes.push_back("portmapper: " + broadcast + " is no IPv4 broadcast address");
        return found;
    }
    const Socket s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == kNoSocket) {
        notes.push_back("portmapper: no UDP socket (" + socketError() + ")");
        return found;
    }
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
    const std::uint32_t xid = std::random_device{}();
    const std::string query = coreChannelQuery(xid);
    if (::sendto(s, query.data(), static_cast<int>(query.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        notes.push_back("portmapper: the broadcast to " + broadcast + " failed (" + socketError() +
                        ")");
        closeSocket(s);
        return found;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    char reply[1500];
    for (std::size_t answers = 0; answers < kMostAnswers; ++answers) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || pollOne(s, static_cast<int>(left)) <= 0) break;
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const auto n =
            ::recvfrom(s, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (n <= 0 || from.sin_family != AF_INET) continue;
        if (!coreChannelPort(std::string_view(reply, static_cast<std::size_t>(n)), xid)) continue;
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
        if (std::any_of(found.begin(), found.end(),
                        [&](const FoundInstrument& f) { return f.host == address; }))
            continue;
        found.push_back({false, address, 0, {}, "portmapper"});
    }
    closeSocket(s);
    return found;
}

#ifndef _WIN32
bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string dir = dirs.substr(at, end - at);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        at = end + 1;
    }
    return false;
}

// avahi-browse's resolved services of one type, or nothing when avahi is
// not there or its daemon does not run: mDNS is a help, not a need.
std::vector<FoundInstrument> askAvahi(const char* type) {
    if (!onPath("avahi-browse")) return {};
    // timeout keeps a daemon that never says "all for now" from holding us.
    const std::string command = std::string(onPath("timeout") ? "timeout 5 " : "") +
                                "avahi-browse -rpt " + type + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return {};
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0 && text.size() < (1u << 20))
        text.append(buffer, n);
    ::pclose(pipe);
    return parseAvahiBrowse(text);
}
#endif

// Avahi writes a service name's dots and backslashes as \. and \\, and
// other bytes as \DDD in decimal.
std::string unescapeAvahi(std::string_view text) {
    std::string name;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            name += text[i];
        } else if (i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isdigit(static_cast<unsigned char>(text[i + 2])) &&
                   std::isdigit(static_cast<unsigned char>(text[i + 3]))) {
            const int code =
                (text[i + 1] - '0') * 100 + (text[i + 2] - '0') * 10 + text[i + 3] - '0';
            name += static_cast<char>(code & 0xFF);
            i += 3;
        } else {
            name += text[++i];
        }
    }
    return name;
}

std::vector<std::string_view> splitFields(std::string_view text, std::size_t most) {
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < most) {
        const std::size_t semicolon = text.find(';');
        if (semicolon == std::string_view::npos) break;
        fields.push_back(text.substr(0, semicolon));
        text.remove_prefix(semicolon + 1);
    }
    fields.push_back(text);
    return fields;
}

} // namespace

std::string FoundInstrument::backEnd() const {
    return (hislip ? "hislip:" : "vxi11:") + hostAndPort(host, port);
}

std::string FoundInstrument::label() const {
    return (name.empty() ? std::string() : name + " - ") + (hislip ? "HiSLIP " : "VXI-11 ") +
           hostAndPort(host, port) + " (" + how + ")";
}

std::string coreChannelQuery(std::uint32_t xid) {
    return rpcCall(xid, kPortmapperProgram, kPortmapperVersion, kPortmapperGetPort)
        .u32(kCoreProgram)
        .u32(kCoreVersion)
        .u32(kProtocolTcp)
        .u32(0)
        .take();
}

std::optional<int> coreChannelPort(std::string_view reply, std::uint32_t xid) {
    XdrReader in(reply);
    std::string error;
    if (readRpcReply(in, xid, error) != ReplyCheck::Results) return std::nullopt;
    std::uint32_t port = 0;
    if (!in.u32(port) || port == 0 || port > 65535) return std::nullopt;
    return static_cast<int>(port);
}

std::vector<FoundInstrument> parseAvahiBrowse(const std::string& text) {
    std::vector<FoundInstrument> found;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line(text.data() + at, end - at);
        at = end + 1;
        // =;IFACE;PROTOCOL;NAME;TYPE;DOMAIN;HOSTNAME;ADDRESS;PORT;TXT. The
        // name may hold a ';', so the type is found from the name's end.
        if (line.size() < 2 || line[0] != '=' || line[1] != ';') continue;
        bool hislip = false;
        std::size_t typeAt = line.find(";_vxi-11._tcp;");
        if (typeAt == std::string_view::npos) {
            typeAt = line.find(";_hislip._tcp;");
            hislip = true;
        }
        if (typeAt == std::string_view::npos) continue;
        const std::vector<std::string_view> head = splitFields(line.substr(0, typeAt), 4);
        const std::vector<std::string_view> tail =
            splitFields(line.substr(typeAt + 1), 6); // TYPE DOMAIN HOSTNAME ADDRESS PORT TXT
        if (head.size() < 4 || tail.size() < 5) continue;
        const std::string_view address = tail[3], port = tail[4];
        if (address.empty() || port.empty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            continue;
        int number = std::stoi(std::string(port));
        if (number < 1 || number > 65535) continue;
        if (number == (hislip ? kHislipPort : kPortmapperPort)) number = 0;
        FoundInstrument f{hislip, std::string(address), number, unescapeAvahi(head[3]), "mDNS"};
        // One service shows on each interface and protocol: keep the first
        // IPv4 answer, or the first answer at all.
        const bool v4 = head[2] == "IPv4";
        const auto same = std::find_if(found.begin(), found.end(), [&](const FoundInstrument& g) {
            return g.hislip == f.hislip && g.name == f.name;
        });
        if (same == found.end())
            found.push_back(std::move(f));
        else if (v4 && same->host.find(':') != std::string::npos)
            *same = std::move(f);
    }
    return found;
}

std::vector<NetworkInterface> networkInterfaces() {
    std::vector<NetworkInterface> list;
    const auto text = [](const in_addr& a) {
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &a, address, sizeof address);
        return std::string(address);
    };
#ifdef _WIN32
    const SocketLibrary library;
    if (!library.ok) return list;
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return list;
    INTERFACE_INFO info[32];
    DWORD size = 0;
    if (::WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, info, sizeof info, &size, nullptr,
                   nullptr) == 0) {
        for (DWORD i = 0; i < size / sizeof(INTERFACE_INFO); ++i) {
            const INTERFACE_INFO& one = info[i];
            if ((one.iiFlags & IFF_UP) == 0 || (one.iiFlags & IFF_LOOPBACK) != 0 ||
                (one.iiFlags & IFF_BROADCAST) == 0 || one.iiAddress.Address.sa_family != AF_INET)
                continue;
            const in_addr address = one.iiAddress.AddressIn.sin_addr;
            in_addr broadcast;
            broadcast.s_addr = address.s_addr | ~one.iiNetmask.AddressIn.sin_addr.s_addr;
            list.push_back({text(address), text(address), text(broadcast)});
        }
    }
    ::closesocket(s);
#else
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return list;
    for (const ifaddrs* i = all; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET ||
            (i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0 ||
            (i->ifa_flags & IFF_BROADCAST) == 0 || i->ifa_broadaddr == nullptr)
            continue;
        NetworkInterface one{
            i->ifa_name, text(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr),
            text(reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr)->sin_addr)};
        // Some systems list an address once per link-layer entry.
        if (std::none_of(list.begin(), list.end(), [&](const NetworkInterface& n) {
                return n.name == one.name && n.address == one.address;
            }))
            list.push_back(std::move(one));
    }
    ::freeifaddrs(all);
#endif
    return list;
}

LanFindResult findLanInstruments(const std::string& broadcast, int waitMs) {
    LanFindResult result;
#ifndef _WIN32
    // mDNS is asked while the portmappers answer, so a search takes about waitMs.
    auto vxi11 = std::async(std::launch::async, askAvahi, "_vxi-11._tcp");
    auto hislip = std::async(std::launch::async, askAvahi, "_hislip._tcp");
#endif
    std::vector<FoundInstrument> answered = askPortmappers(broadcast, waitMs, result.notes);
#ifndef _WIN32
    for (auto* mdns : {&vxi11, &hislip})
        for (FoundInstrument& f : mdns->get())
            result.found.push_back(std::move(f));
#endif
    for (FoundInstrument& f : answered) {
        // An instrument mDNS named already is not listed twice.
        const bool named =
            std::any_of(result.found.begin(), result.found.end(),
                        [&](const FoundInstrument& g) { return !g.hislip && g.host == f.host; });
        if (!named) result.found.push_back(std::move(f));
    }
    return result;
}

} // namespace bus::vxi11
