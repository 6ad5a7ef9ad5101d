// vireon-serve [--driver NAME[:ARGS]] [--listen ADDRESS] [--wait]
//              [--pace=DEVICE_MS,ADAPTER_MS] prologix|ar488|vxi11|hislip [tcp[:PORT]|pty]
// Serves a bus (the built-in bench unless --driver names another back end) to
// other programs until Ctrl+C or SIGTERM, and prints what a client uses to
// reach it. --listen is where the VXI-11 and HiSLIP servers listen (127.0.0.1
// unless given; 0.0.0.0 for every interface). --wait and --pace shape the
// simulated adapters: real read time-outs, and answers a byte at a time.
// Without tcp:PORT, hislip listens on its standard port 4880; the others, and
// tcp:0, take any free port (vxi11's portmapper stays on 111).

#include "AdapterSimulator.h"
#include "HislipServer.h"
#include "Vxi11Server.h"

#include "bus/drivers/DriverChoice.h"

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>

namespace {

volatile std::sig_atomic_t stop = 0;

int usage() {
    std::fprintf(stderr, "usage: vireon-serve [--driver NAME[:ARGS]] [--listen ADDRESS] [--wait]\n"
                         "                    [--pace=DEVICE_MS,ADAPTER_MS]\n"
                         "                    prologix|ar488|vxi11|hislip [tcp[:PORT]|pty]\n"
                         "PORT: hislip 4880 unless given, the others any free port; 0: any free "
                         "port\n");
    return 2;
}

int failed(const std::string& why) {
    std::fprintf(stderr, "vireon-serve: %s\n", why.c_str());
    return 1;
}

bool number(const std::string& text, int& value) {
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < 0 || n > 65535) return false;
    value = static_cast<int>(n);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    std::string protocol, driver = "sim", listen = "127.0.0.1";
    bool pty = false, realTimeouts = false;
    int tcpPort = -1, devicePaceMs = 0, adapterPaceMs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--driver" && i + 1 < argc) {
            driver = argv[++i];
        } else if (a.rfind("--driver=", 0) == 0) {
            driver = a.substr(9);
        } else if (a == "--listen" && i + 1 < argc) {
            listen = argv[++i];
        } else if (a == "--wait") {
            realTimeouts = true;
        } else if (a.rfind("--pace=", 0) == 0) {
            if (std::sscanf(a.c_str() + 7, "%d,%d", &devicePaceMs, &adapterPaceMs) != 2 ||
                devicePaceMs < 0 || adapterPaceMs < 0)
                return usage();
        } else if (protocol.empty() &&
                   (a == "prologix" || a == "ar488" || a == "vxi11" || a == "hislip")) {
            protocol = a;
        } else if (a == "pty") {
            pty = true;
        } else if (a == "tcp") {
            pty = false;
        } else if (a.rfind("tcp:", 0) == 0) {
            if (!number(a.substr(4), tcpPort)) return usage();
        } else {
            return usage();
        }
    }
    if (protocol.empty()) return usage();
    // -1: no tcp:PORT given.
    if (tcpPort < 0) tcpPort = protocol == "hislip" ? 4880 : 0;
    if (pty && (protocol == "vxi11" || protocol == "hislip"))
        return failed(protocol + " is served over TCP only");

    bus::DriverSelection selection = bus::selectDriver(driver, "");
    if (!selection.driver) return failed(selection.error);
    for (const std::string& note : selection.notes)
        std::fprintf(stderr, "vireon-serve: %s\n", note.c_str());

    // Each server runs on its own threads until it is destroyed.
    std::unique_ptr<adaptersim::AdapterSimulator> adapter;
    std::unique_ptr<serve::Vxi11Server> vxi11;
    std::unique_ptr<serve::HislipServer> hislip;
    std::vector<std::string> reach;
    if (protocol == "vxi11") {
        vxi11 = std::make_unique<serve::Vxi11Server>(serve::Vxi11Options{listen, tcpPort},
                                                     std::move(selection.driver));
        if (!vxi11->error().empty()) return failed(vxi11->error());
        reach = vxi11->reachWith();
    } else if (protocol == "hislip") {
        hislip = std::make_unique<serve::HislipServer>(serve::HislipOptions{listen, tcpPort},
                                                       std::move(selection.driver));
        if (!hislip->error().empty()) return failed(hislip->error());
        reach = hislip->reachWith();
    } else {
        adaptersim::Options options;
        options.protocol =
            protocol == "ar488" ? adaptersim::Protocol::Ar488 : adaptersim::Protocol::Prologix;
        options.link = pty ? adaptersim::Link::Pty : adaptersim::Link::Tcp;
        options.tcpPort = tcpPort;
        options.realTimeouts = realTimeouts;
        adapter =
            std::make_unique<adaptersim::AdapterSimulator>(options, std::move(selection.driver));
        if (!adapter->error().empty()) return failed(adapter->error());
        adapter->setPacing(devicePaceMs, adapterPaceMs);
        reach = {adapter->driverChoice()};
    }
    for (const std::string& line : reach)
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    std::signal(SIGINT, [](int) { stop = 1; });
    std::signal(SIGTERM, [](int) { stop = 1; });
    while (stop == 0)
        ::poll(nullptr, 0, 200);
    return 0;
}
