#pragma once

#include "bus/BusSession.h"

#include <cstdint>
#include <string>

namespace bus {

// The operator's text for a driver error code.
std::u16string BusErrorText(std::int16_t iberr);

// When the last driver call ended with ERR: shows "GPIB ERROR # n" with OK
// and Cancel. OK sets ErrorFlag; Cancel ends the program.
void ReportBusError(BusSession& s);

// Shows "Device not configured." and ends the program.
[[noreturn]] void ReportDeviceNotConfigured(BusSession& s);

} // namespace bus
