#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The portmapper a VXI-11 client asks first: version 2 (NULL, GETPORT,
// DUMP) and rpcbind versions 3 and 4 (NULL, GETADDR), over TCP and UDP,
// for the few programs one server offers. Without sockets: the server
// hands in a record and sends back what comes out.
namespace serve::portmap {

struct Mapping {
    std::uint32_t program = 0;
    std::uint32_t version = 0;
    std::uint32_t protocol = 0; // 6 TCP, 17 UDP
    std::uint16_t port = 0;
};

// The reply to one call, or "" when the record is not a call worth an
// answer. `host` is the address GETADDR names ("127.0.0.1").
std::string answer(std::string_view record, const std::vector<Mapping>& mappings,
                   const std::string& host);

// Tells the system's rpcbind on 127.0.0.1:111 (over UDP) that `mapping` is
// served here, replacing a mapping of the program whose port no longer
// answers. False, with the reason, when no rpcbind answers or it refuses.
bool registerWithRpcbind(const Mapping& mapping, std::string& error);
// Takes the mapping back (UNSET); quiet when no rpcbind answers.
void unregisterWithRpcbind(const Mapping& mapping);

} // namespace serve::portmap
