#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bus::vxi11 {

// Our side of VXI-11's interrupt channel: a TCP listener the instrument
// connects back to, answering its device_intr_srq calls on a thread of its
// own, so a service request that comes while nobody waits is not lost.
class SrqListener {
public:
    virtual ~SrqListener() = default;
    // The IPv4 address (host order) and port create_intr_chan names.
    virtual std::uint32_t address() const = 0;
    virtual int port() const = 0;
    // The handles of the requests that came since the last call, waiting at
    // most waitMs for one.
    virtual std::vector<std::string> take(int waitMs) = 0;
};

// Listens on the local IPv4 address that reaches `peerHost`, on any free
// port; null with the reason where that cannot be done (an IPv6 peer, no
// route to it): the client then polls instead.
std::unique_ptr<SrqListener> listenForSrq(const std::string& peerHost, std::string& error);

} // namespace bus::vxi11
