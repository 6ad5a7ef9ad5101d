// Serial ports through libserialport, the serial library made for
// instrument software on Linux, Windows and macOS.
#include "bus/drivers/adapter/Transport.h"

#include <libserialport.h>

#include <algorithm>

namespace bus::adapter {

namespace {

class SerialTransport final : public Transport {
public:
    explicit SerialTransport(sp_port* port) : port_(port) {}
    ~SerialTransport() override {
        sp_close(port_);
        sp_free_port(port_);
    }
    SerialTransport(const SerialTransport&) = delete;
    SerialTransport& operator=(const SerialTransport&) = delete;

    bool send(const char* data, std::size_t size, int timeoutMs) override {
        if (failed_) return false;
        const sp_return n = sp_blocking_write(port_, data, size, static_cast<unsigned>(timeoutMs));
        if (n < 0 || static_cast<std::size_t>(n) != size) failed_ = true;
        return !failed_;
    }
    long receive(char* buffer, std::size_t size, int timeoutMs) override {
        if (failed_) return -1;
        const sp_return n =
            sp_blocking_read_next(port_, buffer, size, static_cast<unsigned>(std::max(timeoutMs, 1)));
        if (n < 0) {
            failed_ = true;
            return -1;
        }
        return n;
    }
    void discardInput() override { sp_flush(port_, SP_BUF_INPUT); }

private:
    sp_port* port_;
    bool failed_ = false;
};

} // namespace

std::unique_ptr<Transport> openSerial(const std::string& name, std::string& error) {
    sp_port* port = nullptr;
    // libserialport knows only the ports the system lists; others (a
    // pseudo-terminal) are opened as plain terminals.
    if (sp_get_port_by_name(name.c_str(), &port) != SP_OK) return openPlainTerminal(name, error);
    if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        error = name + ": " + reasonFor(sp_last_error_code());
        sp_free_port(port);
        return nullptr;
    }
    // The USB adapters ignore the rate; AR488 boards run at 115200 by default.
    sp_set_baudrate(port, 115200);
    sp_set_bits(port, 8);
    sp_set_parity(port, SP_PARITY_NONE);
    sp_set_stopbits(port, 1);
    sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE);
    return std::make_unique<SerialTransport>(port);
}

std::vector<SerialPortInfo> serialPorts() {
    std::vector<SerialPortInfo> ports;
    sp_port** list = nullptr;
    if (sp_list_ports(&list) != SP_OK) return ports;
    for (sp_port** p = list; *p != nullptr; ++p) {
        const char* description = sp_get_port_description(*p);
        ports.push_back({sp_get_port_name(*p), description != nullptr ? description : ""});
    }
    sp_free_port_list(list);
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.name < b.name; });
    return ports;
}

} // namespace bus::adapter
