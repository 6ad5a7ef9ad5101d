// What Find reads from the network and from avahi-browse: a portmapper's
// answer to the broadcast, and avahi's parsable lines. No crash, no
// undefined behaviour; every port found is one a connection can use, and
// each mDNS service appears once.
#include "Check.h"
#include "bus/drivers/vxi11/LanDiscovery.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte picks the reader, and for a portmapper answer the
    // transaction id it is matched against.
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 1) == 0) {
        const auto found = bus::vxi11::parseAvahiBrowse(rest);
        for (std::size_t i = 0; i < found.size(); ++i) {
            FUZZ_CHECK(!found[i].host.empty());
            FUZZ_CHECK(found[i].port >= 0 && found[i].port <= 65535);
            for (std::size_t j = 0; j < i; ++j)
                FUZZ_CHECK(found[i].hislip != found[j].hislip || found[i].name != found[j].name);
        }
    } else {
        const std::optional<int> port = bus::vxi11::coreChannelPort(rest, data[0] >> 1);
        FUZZ_CHECK(!port || (*port >= 1 && *port <= 65535));
    }
    return 0;
}
