#pragma once

#include "bus/BusSession.h"
#include "bus/DeviceTable.h"

#include <array>
#include <cstdint>

namespace syntaxcheck {

// How a device is asked whether it accepted a message.
inline constexpr std::int16_t kSerialPollMethod = -1;
inline constexpr std::int16_t kNoMethod = 0;
inline constexpr std::int16_t kStatusRegistersMethod = 1;

// Polls that drain leftover service requests before a write.
inline constexpr int kClearingPolls = 25;

// The method of each device, indexed by the device index (entry 0 unused).
// All entries start at none; the table lives only for the run.
using DeviceSyntaxMethodTable = std::array<std::int16_t, bus::kMaxDevices + 1>;

// The method of the selected device; none while nothing is selected.
std::int16_t SelectedMethod(const DeviceSyntaxMethodTable& methods,
                            const bus::DeviceTable& devices);

// Clears the selected device's status before a message goes out: "*CLS" for
// the status registers method, then serial polls until the status byte reads
// 0, at most 25 of them. Nothing is reported and ErrorFlag is left alone.
// Returns the number of polls made.
int PreWriteClearing(bus::BusSession& s, std::int16_t method);

// Whether a status byte read after a message means the device rejected it.
bool isSyntaxError(std::int16_t method, std::int16_t statusByte);

// Waits at most 300 ms for the device's service request, then polls it.
// The descriptor's standing time-out is restored afterwards. A descriptor of
// 0 reports "Device not configured." and ends the program. True when the
// status byte says the message was rejected; ErrorFlag is left to the caller.
bool CheckSyntax(bus::BusSession& s, std::int16_t dev, std::int16_t method);

// Sets the selected device up for the status registers method: a device
// clear, then only command errors reach the event summary, and the event
// summary and message available raise a service request. Not reported:
// a device without DESE records a command error that the next "*CLS" clears.
void SetUpStatusRegisters(bus::BusSession& s);

} // namespace syntaxcheck
