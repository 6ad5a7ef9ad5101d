#include "Portmapper.h"

#include "bus/drivers/vxi11/OncRpc.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace serve::portmap {

namespace {

using namespace bus::vxi11;

constexpr std::uint32_t kNull = 0;
constexpr std::uint32_t kSet = 1;
constexpr std::uint32_t kUnset = 2;
constexpr std::uint32_t kDump = 4;
constexpr std::size_t kMaxText = 256;

const Mapping* find(const std::vector<Mapping>& mappings, std::uint32_t program,
                    std::uint32_t version, std::uint32_t protocol) {
    for (const Mapping& m : mappings)
        if (m.program == program && m.version == version && m.protocol == protocol) return &m;
    return nullptr;
}

// rpcbind's universal address: the host's dotted quad, then the port's two bytes.
std::string universalAddress(const std::string& host, std::uint16_t port) {
    return host + "." + std::to_string(port >> 8) + "." + std::to_string(port & 0xFF);
}

} // namespace

std::string answer(std::string_view record, const std::vector<Mapping>& mappings,
                   const std::string& host) {
    XdrReader in(record);
    RpcCall call;
    std::string why;
    if (!readRpcCall(in, call, why)) return {};
    if (call.program != kPortmapperProgram)
        return rpcReply(call.xid, AcceptStat::ProgramUnavailable).take();
    if (call.version < 2 || call.version > 4) {
        XdrWriter out = rpcReply(call.xid, AcceptStat::ProgramMismatch);
        return out.u32(2).u32(4).take();
    }
    if (call.procedure == kNull) return rpcReply(call.xid).take();
    if (call.version == 2 && call.procedure == kPortmapperGetPort) {
        std::uint32_t program = 0, version = 0, protocol = 0, port = 0;
        if (!in.u32(program) || !in.u32(version) || !in.u32(protocol) || !in.u32(port))
            return rpcReply(call.xid, AcceptStat::GarbageArguments).take();
        const Mapping* m = find(mappings, program, version, protocol);
        return rpcReply(call.xid).u32(m != nullptr ? m->port : 0).take();
    }
    if (call.version == 2 && call.procedure == kDump) {
        XdrWriter out = rpcReply(call.xid);
        for (const Mapping& m : mappings)
            out.u32(1).u32(m.program).u32(m.version).u32(m.protocol).u32(m.port);
        return out.u32(0).take();
    }
    if (call.version > 2 && call.procedure == kDump) { // rpcbind's list: netids, addresses
        XdrWriter out = rpcReply(call.xid);
        for (const Mapping& m : mappings)
            out.u32(1)
                .u32(m.program)
                .u32(m.version)
                .opaque(m.protocol == kProtocolTcp ? "tcp" : "udp")
                .opaque(universalAddress(host, m.port))
                .opaque("superuser");
        return out.u32(0).take();
    }
    if (call.version > 2 && call.procedure == kPortmapperGetPort) { // GETADDR
        std::uint32_t program = 0, version = 0;
        std::string netid, address, owner;
        if (!in.u32(program) || !in.u32(version) || !in.opaque(netid, kMaxText) ||
            !in.opaque(address, kMaxText) || !in.opaque(owner, kMaxText))
            return rpcReply(call.xid, AcceptStat::GarbageArguments).take();
        const std::uint32_t protocol = netid == "tcp"   ? kProtocolTcp
                                       : netid == "udp" ? kProtocolUdp
                                                        : 0;
        const Mapping* m = find(mappings, program, version, protocol);
        // A universal address: the host's dotted quad, then the port's two bytes.
        const std::string universal = m == nullptr ? std::string()
                                                   : host + "." + std::to_string(m->port >> 8) +
                                                         "." + std::to_string(m->port & 0xFF);
        return rpcReply(call.xid).opaque(universal).take();
    }
    return rpcReply(call.xid, AcceptStat::ProcedureUnavailable).take();
}

namespace {

// One call of the system's rpcbind on 127.0.0.1:111 over UDP that takes a
// mapping and answers one word (SET, UNSET, GETPORT).
bool rpcbindCall(std::uint32_t procedure, const Mapping& mapping, std::uint32_t& result,
                 std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("UDP socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(111);
    const std::uint32_t xid = static_cast<std::uint32_t>(::getpid()) << 8 ^ procedure;
    XdrWriter out = rpcCall(xid, kPortmapperProgram, kPortmapperVersion, procedure);
    out.u32(mapping.program).u32(mapping.version).u32(mapping.protocol).u32(mapping.port);
    bool answered = false;
    error.clear();
    // UDP may lose a datagram: ask three times before giving up.
    for (int attempt = 0; attempt < 3 && !answered && error.empty(); ++attempt) {
        if (::sendto(fd, out.bytes().data(), out.bytes().size(), 0,
                     reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
            error = std::string("rpcbind: ") + std::strerror(errno);
            break;
        }
        pollfd p{fd, POLLIN, 0};
        while (!answered && error.empty() && ::poll(&p, 1, 300) > 0) {
            char reply[512];
            const ssize_t n = ::recv(fd, reply, sizeof reply, 0);
            if (n <= 0) break; // ICMP port unreachable: nobody listens
            XdrReader in(std::string_view(reply, static_cast<std::size_t>(n)));
            std::string why;
            switch (readRpcReply(in, xid, why)) {
            case ReplyCheck::OtherCall:
                break;
            case ReplyCheck::Results:
                answered = in.u32(result);
                if (!answered) error = "rpcbind's answer is cut short";
                break;
            case ReplyCheck::Failed:
                error = "rpcbind: " + why;
                break;
            }
        }
    }
    ::close(fd);
    if (!answered && error.empty()) error = "no rpcbind answers on 127.0.0.1:111";
    return answered;
}

// Whether something accepts TCP connections on the loopback port.
bool answers(std::uint32_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool open = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    if (fd >= 0) ::close(fd);
    return open;
}

} // namespace

bool registerWithRpcbind(const Mapping& mapping, std::string& error) {
    std::uint32_t granted = 0, port = 0;
    if (!rpcbindCall(kSet, mapping, granted, error)) return false;
    if (granted != 0) return true;
    // Refused: the program is mapped already. A mapping left by a server that
    // is gone is replaced; a live one stays its owner's.
    Mapping asked = mapping;
    asked.port = 0;
    if (!rpcbindCall(kPortmapperGetPort, asked, port, error)) return false;
    if (port != 0 && answers(port)) {
        error = "rpcbind maps the VXI-11 core channel to port " + std::to_string(port) +
                " already, where another server answers";
        return false;
    }
    std::uint32_t ignored = 0;
    rpcbindCall(kUnset, mapping, ignored, error);
    if (!rpcbindCall(kSet, mapping, granted, error)) return false;
    if (granted == 0) error = "rpcbind refused the mapping";
    return granted != 0;
}

void unregisterWithRpcbind(const Mapping& mapping) {
    std::uint32_t ignored = 0;
    std::string error;
    rpcbindCall(kUnset, mapping, ignored, error);
}

} // namespace serve::portmap
