#pragma once

#include "bus/drivers/adapter/Transport.h"
#include "bus/drivers/vxi11/LanDiscovery.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace console {

// The settings key (in the options' section) that keeps the interface chosen
// with File > Interface...; --driver wins over it.
inline constexpr std::u16string_view kInterfaceKey = u"Interface";

// What the Interface dialog shows and gives back, without its widgets.
struct InterfaceChoice {
    enum class Kind { Simulated, Library, Prologix, Ar488, Vxi11, Hislip };
    Kind kind = Kind::Simulated;
    bool serial = true;
    std::string port; // the serial device
    std::string host;
    int tcpPort = 1234;
    // VXI-11's portmapper port or HiSLIP's TCP port; 0: the standard one.
    int lanPort = 0;
    // VXI-11 device (inst0, gpib0 for a gateway) or HiSLIP sub-address;
    // "" leaves it to the back end (inst0, hislip0).
    std::string device;
};

// The back end a choice runs on, as --driver takes it: "sim", "gpib",
// "prologix:/dev/ttyUSB0", "ar488:lab-gpib:1234", "vxi11:lab-gw/gpib0",
// "hislip:lab-scope:4880".
std::string backEndOf(const InterfaceChoice& choice);
// The choice a --driver text stands for, to show it in the dialog; back ends
// the dialog does not offer show as the simulated bench.
InterfaceChoice interfaceOf(const std::string& backEnd);
// What the window caption adds for an adapter or LAN back end ("Prologix on
// /dev/ttyUSB0", "VXI-11 gpib0 on lab-gw"), or "" for any other.
std::string interfaceCaption(const std::string& backEnd);

// What the Find button asks: the interfaces to broadcast on, and what
// answers on one (by its broadcast address). Tests give their own.
struct LanFinder {
    std::function<std::vector<bus::vxi11::NetworkInterface>()> interfaces;
    std::function<bus::vxi11::LanFindResult(const std::string& broadcast)> find;
};
// The network's own: portmapper broadcast and mDNS.
LanFinder systemLanFinder();

// Shows the dialog, starting from the back end in use; the back end chosen,
// or nullopt when the operator cancels.
std::optional<std::string> askInterface(QWidget* parent, const std::string& current,
                                        bool libraryLoads,
                                        const std::vector<bus::adapter::SerialPortInfo>& ports,
                                        const LanFinder& finder = systemLanFinder());

} // namespace console
