#include "bus/drivers/SimulatedBus.h"

#include "bus/sim/Instrument.h"

#include <string_view>

namespace bus {

SimulatedBus::SimulatedBus() = default;
SimulatedBus::~SimulatedBus() = default;

std::unique_ptr<SimulatedBus> SimulatedBus::defaultBench() {
    auto bus = std::make_unique<SimulatedBus>();
    bus->attach(5, sim::makeMultimeter());
    bus->attach(9, sim::makeLegacyInstrument());
    bus->attach(22, sim::makeOscilloscope());
    return bus;
}

void SimulatedBus::attach(int address, std::unique_ptr<sim::Instrument> instrument) {
    if (address < 1 || address > kMaxAddress) return;
    instruments_[static_cast<std::size_t>(address)] = std::move(instrument);
}

void SimulatedBus::detach(int address) {
    if (address < 1 || address > kMaxAddress) return;
    instruments_[static_cast<std::size_t>(address)].reset();
}

sim::Instrument* SimulatedBus::instrument(int address) {
    if (address < 1 || address > kMaxAddress) return nullptr;
    return instruments_[static_cast<std::size_t>(address)].get();
}

bool SimulatedBus::listening(std::int32_t pad, std::int32_t) {
    return instrument(pad) != nullptr;
}

AdapterDriver::Result SimulatedBus::write(const Target& target, const char* data, std::size_t size,
                                          bool end) {
    sim::Instrument* device = instrument(target.pad);
    if (device == nullptr) return Result::failed(ENOL);
    if (size > 0) device->receive(std::string_view(data, size), end);
    return Result::ok(size);
}

AdapterDriver::Result SimulatedBus::read(const Target& target, char* buffer, std::size_t size) {
    sim::Instrument* device = instrument(target.pad);
    if (device == nullptr || !device->hasOutput()) return Result::timeout();
    bool end = false;
    const std::size_t n = device->talk(buffer, size, end);
    return Result::ok(n, end);
}

AdapterDriver::Result SimulatedBus::serialPoll(const Target& target, std::uint8_t& statusByte) {
    sim::Instrument* device = instrument(target.pad);
    if (device == nullptr) return Result::timeout();
    statusByte = static_cast<std::uint8_t>(device->serialPoll());
    return Result::ok(1);
}

AdapterDriver::Result SimulatedBus::clear(std::int32_t pad, std::int32_t) {
    if (pad == NOADDR) {
        for (const auto& device : instruments_) {
            if (device) device->deviceClear();
        }
        return Result::ok();
    }
    sim::Instrument* device = instrument(pad);
    if (device == nullptr) return Result::failed(ENOL);
    device->deviceClear();
    return Result::ok();
}

bool SimulatedBus::serviceRequest(const Target* target, bool) {
    if (target != nullptr) {
        const sim::Instrument* device = instrument(target->pad);
        return device != nullptr && device->requestingService();
    }
    for (const auto& device : instruments_) {
        if (device && device->requestingService()) return true;
    }
    return false;
}

} // namespace bus
