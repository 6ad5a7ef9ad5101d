#include "bus/drivers/SimulatedBus.h"

#include "bus/sim/Instrument.h"

#include <algorithm>
#include <string_view>
#include <thread>

namespace bus {

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPaceSlice{20};
} // namespace

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

std::size_t SimulatedBus::sliceBytes() const {
    return std::max<std::size_t>(1, static_cast<std::size_t>(rate_ * kPaceSlice.count() / 1000));
}

bool SimulatedBus::pace(std::size_t bytes) {
    if (rate_ == 0) return true;
    // A bus that fell behind (a sleep that overslept) may catch up by one
    // slice, so the pace holds on average, not only as a ceiling.
    busFree_ = std::max(busFree_, Clock::now() - kPaceSlice);
    const auto nanoseconds =
        static_cast<std::int64_t>(static_cast<double>(bytes) * 1e9 / static_cast<double>(rate_));
    busFree_ += std::chrono::nanoseconds(nanoseconds);
    // Slept in slices, so a long write hears a stop between them.
    while (Clock::now() < busFree_) {
        if (stopRequested()) {
            busFree_ = Clock::now();
            return false;
        }
        std::this_thread::sleep_until(std::min(busFree_, Clock::now() + kPaceSlice));
    }
    return true;
}

AdapterDriver::Result SimulatedBus::write(const Target& target, const char* data, std::size_t size,
                                          bool end) {
    sim::Instrument* device = instrument(target.pad);
    if (device == nullptr) return Result::failed(ENOL);
    if (!pace(size)) return Result::failed(EABO);
    if (size > 0) device->receive(std::string_view(data, size), end);
    return Result::ok(size);
}

AdapterDriver::Result SimulatedBus::read(const Target& target, char* buffer, std::size_t size) {
    sim::Instrument* device = instrument(target.pad);
    if (device == nullptr || !device->hasOutput()) return Result::timeout();
    if (rate_ != 0) size = std::min(size, sliceBytes());
    bool end = false;
    const std::size_t n = device->talk(buffer, size, end);
    pace(n);
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
