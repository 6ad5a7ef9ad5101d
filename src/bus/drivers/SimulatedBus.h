#pragma once

#include "bus/drivers/AdapterDriver.h"

#include <array>
#include <memory>

namespace bus {

namespace sim {
class Instrument;
}

// A GPIB bus with simulated instruments on it, for running the console
// without hardware. The board is at address 0; instruments sit at 1 to 30.
//
// Nothing here ever waits: what would time out on a real bus (a read with
// nothing to read, a serial poll of an address nobody answers) returns
// ERR|TIMO with EABO at once, and ibwait reports the conditions that hold now.
class SimulatedBus final : public AdapterDriver {
public:
    SimulatedBus();
    ~SimulatedBus() override;
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    // A multimeter at 5, an older function generator at 9 and an oscilloscope
    // at 22.
    static std::unique_ptr<SimulatedBus> defaultBench();

    // Puts an instrument at an address from 1 to 30, replacing any there;
    // other addresses are ignored.
    void attach(int address, std::unique_ptr<sim::Instrument> instrument);
    // Switches the device off: later traffic finds no listener.
    void detach(int address);
    // The instrument at the address, or nullptr.
    sim::Instrument* instrument(int address);

private:
    Result interfaceClear() override { return Result::ok(); }
    Result remoteEnable(bool) override { return Result::ok(); }
    bool listening(std::int32_t pad, std::int32_t sad) override;
    Result write(const Target& target, const char* data, std::size_t size, bool end) override;
    Result read(const Target& target, char* buffer, std::size_t size) override;
    Result serialPoll(const Target& target, std::uint8_t& statusByte) override;
    Result clear(std::int32_t pad, std::int32_t sad) override;
    bool serviceRequest(const Target* target, bool wait) override;

    std::array<std::unique_ptr<sim::Instrument>, kMaxAddress + 1> instruments_;
};

} // namespace bus
