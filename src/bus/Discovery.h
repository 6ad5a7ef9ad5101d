#pragma once

#include "bus/BusSession.h"

#include <cstdint>

namespace bus {

// Takes the bus and fills the device table with every listener at addresses
// 1 to 30. No listener, more than 14, or any other failure ends the program
// after its message.
void FindListeners(BusSession& s);

// Opens the one device descriptor, polls every device once, leaves it
// addressed to the first device under the standing time-out and returns it.
std::int16_t OpenDevice(BusSession& s);

} // namespace bus
