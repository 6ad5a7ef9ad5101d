#pragma once

#include "bus/drivers/AdapterDriver.h"

#include <array>
#include <chrono>
#include <cstdint>
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

    // Moves every read and write at this many bytes a second, as a real bus
    // would (0, the default: at once), so long transfers can be watched. A
    // paced read delivers what the pace allows in a few tens of
    // milliseconds, so a transfer that is asked to stop ends within that; a
    // file sent to a device stops between such slices too.
    void setRate(std::uint64_t bytesPerSecond) { rate_ = bytesPerSecond; }

private:
    Result interfaceClear() override { return Result::ok(); }
    Result remoteEnable(bool) override { return Result::ok(); }
    bool listening(std::int32_t pad, std::int32_t sad) override;
    Result write(const Target& target, const char* data, std::size_t size, bool end) override;
    Result read(const Target& target, char* buffer, std::size_t size) override;
    Result serialPoll(const Target& target, std::uint8_t& statusByte) override;
    Result clear(std::int32_t pad, std::int32_t sad) override;
    bool serviceRequest(const Target* target, bool wait) override;

    // Bytes that may move in one slice of the pace.
    std::size_t sliceBytes() const;
    // Waits until the bus has had time to move `bytes` since the last
    // transfer; false when a stop was asked for meanwhile.
    bool pace(std::size_t bytes);

    std::array<std::unique_ptr<sim::Instrument>, kMaxAddress + 1> instruments_;
    std::uint64_t rate_ = 0;
    std::chrono::steady_clock::time_point busFree_{};
};

} // namespace bus
