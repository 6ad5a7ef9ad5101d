#pragma once

#include <array>
#include <cstdint>

namespace bus {

inline constexpr int kMaxDevices = 14;

// The devices found at start-up and the selection. Filled once, never
// re-scanned; only the selection changes afterwards.
struct DeviceTable {
    // [0] the number of devices found; [1..count] their primary addresses in
    // ascending order; the rest 0.
    std::array<std::int16_t, kMaxDevices + 1> ListenerAddresses{};
    // 0 while nothing is selected, else the index into ListenerAddresses.
    std::int16_t SelectedDeviceIndex = 0;
    std::int16_t SelectedAddress = 0;
    // The one device descriptor; its primary address follows the selection.
    std::int16_t DeviceHandle = 0;
    // Descriptor per device index; only entry 1 is ever used.
    std::array<std::int16_t, kMaxDevices + 1> ButtonHandles{};
    // The descriptor's standing time-out.
    std::int16_t TimeoutCode = 12;

    int count() const { return ListenerAddresses[0]; }
};

} // namespace bus
