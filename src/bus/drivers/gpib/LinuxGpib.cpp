// linux-gpib's libgpib.so.0: status per thread through functions, the file
// calls under their plain names.

#include "bus/drivers/GpibAdvice.h"
#include "bus/drivers/GpibLibrary.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace bus {

namespace {

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

LinuxGpibSetup findSetup() {
    LinuxGpibSetup setup;
    // The library reads IB_CONFIG when set, else its configuration file,
    // which a source build puts under /usr/local/etc.
    if (const char* chosen = std::getenv("IB_CONFIG"); chosen != nullptr && *chosen != '\0') {
        setup.configFile = chosen;
    } else {
        setup.configFile = "/etc/gpib.conf";
        if (!exists(setup.configFile) && exists("/usr/local/etc/gpib.conf"))
            setup.configFile = "/usr/local/etc/gpib.conf";
    }
    setup.configFound = exists(setup.configFile);
    setup.deviceFile = "/dev/gpib0";
    struct stat info {};
    setup.deviceFound = ::stat(setup.deviceFile.c_str(), &info) == 0;
    setup.moduleLoaded = exists("/sys/module/gpib_common");
    setup.accessible = ::access(setup.deviceFile.c_str(), R_OK | W_OK) == 0;
    if (setup.deviceFound)
        if (const struct group* g = ::getgrgid(info.st_gid)) setup.group = g->gr_name;
    return setup;
}

std::string advice(std::int32_t iberr, std::int32_t ibcntl) {
    return linuxGpibAdvice(iberr, ibcntl, findSetup());
}

} // namespace

const GpibFlavour& gpibFlavour() {
    static const GpibFlavour flavour{"libgpib.so.0", "ibwrtf", "ibrdf", false, &advice};
    return flavour;
}

} // namespace bus
