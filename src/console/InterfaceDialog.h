#pragma once

#include "bus/drivers/adapter/Transport.h"

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
    enum class Kind { Simulated, Library, Prologix, Ar488 };
    Kind kind = Kind::Simulated;
    bool serial = true;
    std::string port; // the serial device
    std::string host;
    int tcpPort = 1234;
};

// The back end a choice runs on, as --driver takes it: "sim", "gpib",
// "prologix:/dev/ttyUSB0", "ar488:lab-gpib:1234".
std::string backEndOf(const InterfaceChoice& choice);
// The choice a --driver text stands for, to show it in the dialog; back ends
// the dialog does not offer show as the simulated bench.
InterfaceChoice interfaceOf(const std::string& backEnd);
// What the window caption adds for an adapter back end ("Prologix on
// /dev/ttyUSB0"), or "" for any other.
std::string interfaceCaption(const std::string& backEnd);

// Shows the dialog, starting from the back end in use; the back end chosen,
// or nullopt when the operator cancels.
std::optional<std::string> askInterface(QWidget* parent, const std::string& current,
                                        bool libraryLoads,
                                        const std::vector<bus::adapter::SerialPortInfo>& ports);

} // namespace console
