#pragma once

#include "bus/BusSession.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bus {

// Sets a descriptor's time-out for as long as it lives and then puts back
// the one it found. `always` sets and restores even when the two are the
// same; otherwise only a different code is set, and `restoreAlways` still
// restores it every time.
class TimeoutScope {
public:
    TimeoutScope(Binding& binding, std::int16_t descriptor, std::int16_t code, bool always,
                 bool restoreAlways);
    ~TimeoutScope() { restore(); }
    TimeoutScope(const TimeoutScope&) = delete;
    TimeoutScope& operator=(const TimeoutScope&) = delete;

    // Puts the standing time-out back now; later calls do nothing.
    void restore();

private:
    Binding& binding_;
    std::int16_t descriptor_;
    std::int16_t standing_;
    bool restore_;
};

// Writes one message unchanged (the caller adds any line ends) and reports
// a bus failure. ErrorFlag afterwards tells whether one was reported. A write
// that the driver ends early without an error is a failure too (EABO): the
// device did not get the whole message.
void WriteChecked(BusSession& s, std::int16_t descriptor, std::u16string_view text);

// Reads the device's whole answer under T10s and restores the descriptor's
// time-out. Returns the answer without surrounding spaces and its trailing
// line ends; an empty text (after the "I/O Error" box) when the read timed
// out or failed.
std::u16string ReadResponse(BusSession& s, std::int16_t descriptor);

// How a file transfer ended: the status words after it, and how many bytes
// moved (the driver's 32-bit count).
struct TransferOutcome {
    std::int16_t ibsta = 0;
    std::int16_t iberr = 0;
    std::int32_t count = 0;

    bool timedOut() const { return (ibsta & TIMO) != 0; }
    bool failed() const { return (ibsta & ERR) != 0; }
};

// Receives the device's answer straight into a file, and sends a file to the
// device as it is, each under the long time-out (T100s), the standing
// time-out restored afterwards. Nothing is reported: the caller judges.
TransferOutcome ReceiveFile(BusSession& s, std::int16_t descriptor, std::u16string_view path);
TransferOutcome SendFile(BusSession& s, std::int16_t descriptor, std::u16string_view path);

// The cleaning applied to a whole answer: spaces off both ends, then the
// trailing line ends.
std::u16string CleanAnswer(std::u16string answer);

} // namespace bus
