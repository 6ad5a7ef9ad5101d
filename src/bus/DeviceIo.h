#pragma once

#include "bus/BusSession.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bus {

// Writes one message unchanged (the caller adds any line ends) and reports
// a bus failure. ErrorFlag afterwards tells whether one was reported.
void WriteChecked(BusSession& s, std::int16_t descriptor, std::u16string_view text);

// Reads the device's whole answer under T10s and restores the descriptor's
// time-out. Returns the answer without surrounding spaces and its trailing
// line ends; an empty text (after the "I/O Error" box) when the read timed
// out or failed.
std::u16string ReadResponse(BusSession& s, std::int16_t descriptor);

// The cleaning applied to a whole answer: spaces off both ends, then the
// trailing line ends.
std::u16string CleanAnswer(std::u16string answer);

} // namespace bus
