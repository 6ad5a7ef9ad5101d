#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace bus::adapter {

// A byte pipe to a GPIB adapter: a serial port or a TCP connection. Neither
// call waits longer than its time-out. A pipe that failed once stays failed;
// the driver then opens a new one.
class Transport {
public:
    virtual ~Transport() = default;

    // Sends every byte; false when the connection is gone or the time-out
    // passed first.
    virtual bool send(const char* data, std::size_t size, int timeoutMs) = 0;
    // Waits at most timeoutMs for bytes and returns how many arrived (at most
    // size), 0 when none did, -1 when the connection is gone.
    virtual long receive(char* buffer, std::size_t size, int timeoutMs) = 0;
    // Drops whatever arrived and was not read yet.
    virtual void discardInput() = 0;
};

// Where an adapter is: a serial port, or a host with its TCP port.
struct AdapterAddress {
    bool serial = false;
    std::string port; // the serial device, e.g. /dev/ttyUSB0 or COM3
    std::string host;
    int tcpPort = 0;
};

// "/dev/...", "COMn" and "\\.\COMn" are serial ports; anything else is
// HOST[:TCPPORT] ("[v6 address]:TCPPORT" for IPv6). nullopt-like: error set
// when the text names neither.
AdapterAddress parseAdapterAddress(const std::string& text, int defaultTcpPort,
                                   std::string& error);

// Opens the pipe, or says why not (naming the port and the reason).
std::unique_ptr<Transport> openTransport(const AdapterAddress& address, std::string& error);

// A serial port found on this machine, with its USB description if any.
struct SerialPortInfo {
    std::string name;
    std::string description;
};
std::vector<SerialPortInfo> serialPorts();

// Opens a serial port (serial/ with libserialport, noserial/ without), or says
// why not; a port the serial library does not list (a pseudo-terminal) is
// opened as a plain terminal.
std::unique_ptr<Transport> openSerial(const std::string& name, std::string& error);
std::unique_ptr<Transport> openPlainTerminal(const std::string& name, std::string& error);
// Why the system refused a port, for the operator, from its error number.
std::string reasonFor(int code);

} // namespace bus::adapter
