// vireon-adapter-sim [prologix|ar488] [tcp[:PORT]|pty] [--wait] [--pace=DEVICE_MS,ADAPTER_MS]
// Runs a simulated adapter with the built-in bench behind it and prints what
// --driver takes to reach it, until Ctrl+C (or SIGTERM). --pace sends the
// devices' answers, and the adapter's own replies, a byte at a time that many
// milliseconds apart: a slow talker, an adapter gone wrong.

#include "AdapterSimulator.h"

#include "bus/drivers/SimulatedBus.h"

#include <csignal>
#include <cstdio>
#include <string>

#include <poll.h>

namespace {
volatile std::sig_atomic_t stop = 0;
}

int main(int argc, char* argv[]) {
    adaptersim::Options options;
    int devicePaceMs = 0, adapterPaceMs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "prologix") {
            options.protocol = adaptersim::Protocol::Prologix;
        } else if (a == "ar488") {
            options.protocol = adaptersim::Protocol::Ar488;
        } else if (a == "pty") {
            options.link = adaptersim::Link::Pty;
        } else if (a.rfind("tcp", 0) == 0) {
            options.link = adaptersim::Link::Tcp;
            if (a.size() > 4 && a[3] == ':') options.tcpPort = std::stoi(a.substr(4));
        } else if (a == "--wait") {
            options.realTimeouts = true;
        } else if (const bool paced =
                       a.rfind("--pace=", 0) == 0 &&
                       std::sscanf(a.c_str() + 7, "%d,%d", &devicePaceMs, &adapterPaceMs) == 2 &&
                       devicePaceMs >= 0 && adapterPaceMs >= 0;
                   !paced) {
            std::fprintf(stderr, "usage: vireon-adapter-sim [prologix|ar488] [tcp[:PORT]|pty] "
                                 "[--wait] [--pace=DEVICE_MS,ADAPTER_MS]\n");
            return 2;
        }
    }
    adaptersim::AdapterSimulator simulator(options, bus::SimulatedBus::defaultBench());
    if (!simulator.error().empty()) {
        std::fprintf(stderr, "vireon-adapter-sim: %s\n", simulator.error().c_str());
        return 1;
    }
    simulator.setPacing(devicePaceMs, adapterPaceMs);
    std::printf("%s\n", simulator.driverChoice().c_str());
    std::fflush(stdout);
    std::signal(SIGINT, [](int) { stop = 1; });
    std::signal(SIGTERM, [](int) { stop = 1; });
    while (stop == 0)
        ::poll(nullptr, 0, 200);
    return 0;
}
