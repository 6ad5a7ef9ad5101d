#pragma once

#include "bus/BusSession.h"

#include <cstdint>
#include <optional>
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
    // For a caller that keeps the standing code itself: sets `code` and puts
    // `standing` back, both every time, without asking the driver.
    TimeoutScope(Binding& binding, std::int16_t descriptor, std::int16_t code,
                 std::int16_t standing);
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
// out or failed. An answer that opens with a definite-length block keeps
// every byte of the block, and one whose block came short or long is
// reported ("Block Length Error") and returned as it came.
std::u16string ReadResponse(BusSession& s, std::int16_t descriptor);

// The header "#<n><length>" that opens an IEEE 488.2 definite-length block.
struct BlockHeader {
    std::size_t headerSize = 0; // '#', the digit count and the digits
    std::uint64_t length = 0;   // data bytes announced

    std::uint64_t blockSize() const { return headerSize + length; }
};

// The block header at the start of an answer; nothing when it opens with
// anything else (an indefinite block "#0", a number like "#H1F", plain text)
// or when the header is cut short.
std::optional<BlockHeader> ParseBlockHeader(std::u16string_view answer);
std::optional<BlockHeader> ParseBlockHeader(std::string_view answer);

// A block as it came: the data bytes it announced and those that came after
// it (short: fewer came; long: more came than the block and its line end).
struct BlockCheck {
    BlockHeader header;
    std::uint64_t received = 0; // data bytes present, at most the length
    std::uint64_t extra = 0;    // bytes after the block in the answer

    bool isShort() const { return received < header.length; }
    bool isLong() const { return extra > 0; }
};

// The check of a block answer as ReadResponse returns it.
std::optional<BlockCheck> CheckBlock(std::u16string_view answer);

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
