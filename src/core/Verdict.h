#pragma once

#include "bus/BusSession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// What a device says about the message it was just sent, asked after the
// exchange: its status byte, and for an IEEE 488.2 device its standard event
// status register and the SCPI errors it queued.
struct VerdictReading {
    bool polled = false; // the serial poll answered
    std::int16_t statusByte = 0;
    // Nothing when not asked, or when the device did not answer in time.
    std::optional<int> eventStatus;
    // The error queue's lines other than code 0, oldest first.
    std::vector<std::string> errors;
    // The read bound was reached before the queue said code 0.
    bool moreErrors = false;
};

// Error queue reads after one message, at most.
inline constexpr int kMaxErrorReads = 20;

// "CME PON": the names of the event status bits set, lowest bit first.
std::string eventStatusBits(int eventStatus);
// The error code that opens a SYSTem:ERRor? answer ("-113,\"...\"" gives
// -113); nothing when it opens with anything else.
std::optional<int> errorCode(std::string_view line);
// The verdict's text: "OK" for a good exchange; otherwise what went wrong,
// short and in a fixed form, e.g. "ESR 32 CME; -113,\"Undefined header\""
// or, judged by the status byte alone, "STB 97".
std::string verdictText(const VerdictReading& reading);
// `added` after what the exchange already says ("rejected; ESR 32 CME").
std::string joinVerdicts(std::string_view verdict, std::string_view added);

// Asks the device at `dev` how its last message went, through the plain
// driver calls (no boxes, ErrorFlag left alone), each under the short
// time-out, the standing one restored afterwards. A serial poll first, as it
// leaves the output queue alone; then, for an IEEE 488.2 device, "*ESR?"
// and ":SYST:ERR?" until code 0 (from the root, which SCPI devices take as
// the same query and files that match queries exactly spell so). A device
// with an answer waiting (MAV), or one that does not answer "*ESR?", is
// judged by its status byte alone.
VerdictReading readVerdict(bus::BusSession& s, std::int16_t dev, bool ieee4882);

} // namespace core
