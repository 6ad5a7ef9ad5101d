#include "bus/drivers/GpibAdvice.h"

#include "bus/Driver.h"

namespace bus {

namespace {
// System error codes linux-gpib leaves in ibcntl, the same on every Linux.
constexpr std::int32_t kNoPermission = 1, kNoSuchFile = 2, kNoDevice = 6, kAccessDenied = 13,
                       kNoSuchDevice = 19;
} // namespace

std::string linuxGpibAdvice(std::int32_t iberr, std::int32_t ibcntl, const LinuxGpibSetup& setup) {
    if (iberr == ENOL || iberr == EBUS)
        return "No instrument answered at addresses 1 to 30: switch the instruments on and check "
               "the GPIB cables and the address set on each.";
    if (iberr != EDVR && iberr != EARG && iberr != ENEB) return {};
    const bool errnoMissing =
        iberr == EDVR && (ibcntl == kNoSuchFile || ibcntl == kNoDevice || ibcntl == kNoSuchDevice);
    const bool errnoDenied = iberr == EDVR && (ibcntl == kNoPermission || ibcntl == kAccessDenied);
    if (!setup.configFound)
        return "linux-gpib is installed but no board is configured: " + setup.configFile +
               " does not exist. Describe the board there (see man gpib.conf), then run "
               "sudo gpib_config.";
    if (!setup.deviceFound || !setup.moduleLoaded || errnoMissing)
        return "A board is configured in " + setup.configFile + ", but " + setup.deviceFile +
               " is missing or linux-gpib's kernel module is not loaded: load the module for the "
               "board (sudo modprobe, with the driver named in " +
               setup.configFile + ") and run sudo gpib_config.";
    if (!setup.accessible || errnoDenied)
        return "No permission to use " + setup.deviceFile + ": add your user to the group " +
               (setup.group.empty() ? std::string("gpib") : setup.group) + " (sudo usermod -aG " +
               (setup.group.empty() ? "gpib" : setup.group) + " $USER) and log in again.";
    return "linux-gpib could not use board 0 (system error " + std::to_string(ibcntl) +
           "): run sudo gpib_config and read its messages and the kernel's (sudo dmesg).";
}

std::string ni4882Advice(std::int32_t iberr, std::int32_t ibcntl) {
    if (iberr == ENEB)
        return "NI-488.2 finds no GPIB board 0: check that the board is installed and listed in "
               "NI MAX (Measurement & Automation Explorer).";
    if (iberr == EDVR)
        return "NI-488.2 reported system error " + std::to_string(ibcntl) +
               ": check the board in NI MAX, or repair NI-488.2.";
    return {};
}

} // namespace bus
