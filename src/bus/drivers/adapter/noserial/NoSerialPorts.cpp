// A build without libserialport (the MinGW bus tests) opens no serial ports.
#include "bus/drivers/adapter/Transport.h"

namespace bus::adapter {

std::unique_ptr<Transport> openSerial(const std::string& name, std::string& error) {
    error = name + ": this build of the bus layer opens no serial ports (built without "
                   "libserialport)";
    return nullptr;
}

std::vector<SerialPortInfo> serialPorts() {
    return {};
}

} // namespace bus::adapter
