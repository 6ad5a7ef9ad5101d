// A small client of our own for the outside checks: opens a back end of the
// table (--driver vxi11:HOST/gpib0, hislip:HOST, ...), and at one address
// asks *IDN?, polls, clears, and waits for a service request, printing each
// answer. What a peer's dissector or log sees is then our client at work.
// Usage: vireon_lan_client --driver TEXT [--address N]
#include "bus/Driver.h"
#include "bus/drivers/DriverChoice.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Globals {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};

bool ok(const Globals& g, const char* step) {
    if ((g.sta & bus::ERR) == 0) return true;
    std::fprintf(stderr, "%s failed: iberr %d\n", step, g.err);
    return false;
}

std::unique_ptr<bus::Driver> open(const std::string& text) {
    bus::DriverSelection s = bus::selectDriver(text, "");
    if (!s.driver) std::fprintf(stderr, "%s\n", s.error.c_str());
    return std::move(s.driver);
}

} // namespace

int main(int argc, char** argv) {
    std::string driverText;
    int address = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--driver" && i + 1 < argc) {
            driverText = argv[++i];
        } else if (a == "--address" && i + 1 < argc) {
            address = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s --driver TEXT [--address N]\n", argv[0]);
            return 2;
        }
    }
    auto driver = open(driverText);
    if (!driver) return 1;
    bus::Driver& d = *driver;
    Globals g;
    d.RegisterGpibGlobalsForThread(&g.sta, &g.err, &g.cnt, &g.cntl);
    const std::int32_t ud = d.ibdev(0, address, 0, bus::T3s, 1, 0);
    const auto send = [&](const std::string& text) {
        d.ibwrt(ud, text.data(), static_cast<std::int32_t>(text.size()));
        return ok(g, "ibwrt");
    };
    char answer[4096];
    if (!send("*IDN?\n")) return 1;
    d.ibrd(ud, answer, sizeof answer);
    if (!ok(g, "ibrd")) return 1;
    std::printf("*IDN? %.*s", static_cast<int>(g.cntl), answer);
    char status = 0;
    d.ibrsp(ud, &status);
    if (!ok(g, "ibrsp")) return 1;
    std::printf("status byte %d\n", static_cast<unsigned char>(status));
    d.ibclr(ud);
    if (!ok(g, "ibclr")) return 1;
    std::printf("cleared\n");
    // A request for service once the answer is there (message available).
    if (!send("*SRE 16\n") || !send("*IDN?\n")) return 1;
    const std::int32_t sta = d.ibwait(ud, bus::RQS | bus::TIMO);
    d.ibrsp(ud, &status);
    std::printf("service request %s, status byte %d\n", (sta & bus::RQS) ? "seen" : "not seen",
                static_cast<unsigned char>(status));
    d.ibclr(ud);
    send("*SRE 0\n");
    d.UnregisterGpibGlobalsForThread();
    return (sta & bus::RQS) ? 0 : 1;
}
