#pragma once

#include <cstdint>
#include <string>

namespace bus {

// What linux-gpib needs on the machine before board 0 answers, as found.
struct LinuxGpibSetup {
    std::string configFile; // the configuration file the library reads
    bool configFound = false;
    std::string deviceFile; // board 0's device file
    bool deviceFound = false;
    bool moduleLoaded = false; // the library's kernel module
    bool accessible = false;   // this user may read and write the device file
    std::string group;         // the device file's group
};

// The operator's next step after a start-up call of linux-gpib failed with
// iberr (ibcntl: the system's error code after EDVR). linux-gpib reports a
// missing setup as EARG or EDVR, and an empty bus as ENOL, so the cause is
// read from the setup itself.
std::string linuxGpibAdvice(std::int32_t iberr, std::int32_t ibcntl, const LinuxGpibSetup& setup);

// The same for NI-488.2, whose codes already name the cause.
std::string ni4882Advice(std::int32_t iberr, std::int32_t ibcntl);

} // namespace bus
