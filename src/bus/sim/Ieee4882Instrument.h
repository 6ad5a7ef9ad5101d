#pragma once

#include "bus/sim/Instrument.h"
#include "bus/sim/Syntax.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bus::sim {

// An IEEE 488.2 instrument: the common commands and queries, the standard
// event status register (ESR) with its enable (ESE), the service request
// enable (SRE), and an error queue read by SYSTem:ERRor? oldest first (ten
// errors; a full queue's last one becomes -350 "Queue overflow"; *CLS empties
// it, and reading it leaves the ESR alone). Optionally a device event status
// enable (DESE) that decides which events reach the ESR at all.
//
// A program message is split at ';' into units "HEADER parameters"; headers
// match in short or long form, in any case. A header the device does not know
// sets the command error bit (CME, 32). The status byte holds MAV (16) while an
// answer waits and ESB (32) while ESR & ESE is not 0; a service request is
// raised when STB & SRE becomes non-zero. Answers to the queries of one message
// are joined by ';' and end with a line feed. Answers beyond the output queue's
// room are lost and set the query error bit (QYE, 4). A new message that
// begins while an answer is unread, even part-read, interrupts it (IEEE
// 488.2's INTERRUPTED condition): the output queue is cleared, MAV falls, and
// QYE is set with -410 on the error queue; the new message then runs.
class Ieee4882Instrument : public Instrument {
public:
    // Standard event status register bits.
    static constexpr std::uint8_t kOperationComplete = 0x01;
    static constexpr std::uint8_t kQueryError = 0x04;
    static constexpr std::uint8_t kDeviceError = 0x08;
    static constexpr std::uint8_t kExecutionError = 0x10;
    static constexpr std::uint8_t kCommandError = 0x20;
    static constexpr std::uint8_t kPowerOn = 0x80;
    // Status byte bits.
    static constexpr std::uint8_t kMessageAvailable = 0x10;
    static constexpr std::uint8_t kEventSummary = 0x20;
    static constexpr std::uint8_t kMasterSummary = 0x40;

protected:
    // One program message unit.
    struct Unit {
        std::string_view header; // without its '?'
        std::string_view params; // without surrounding blanks
        bool query = false;
    };

    // A device command: the header pattern (see syntax::headerMatches),
    // whether it is the query form, and what the device does for it.
    template <typename Op> struct Command {
        std::string_view pattern;
        bool query;
        Op op;
    };

    // `identity` answers *IDN?; `acceptsDese` gives the device the DESE
    // command and query.
    Ieee4882Instrument(std::string_view identity, bool acceptsDese);

    // Runs a unit the common commands do not know; false if the device does
    // not know it either.
    virtual bool runDeviceCommand(const Unit& unit);
    // *RST: the device's settings back to their defaults (status stays).
    virtual void resetSettings() {}
    // Takes a whole message (blanks trimmed) before it is split into units;
    // true when the device ran it.
    virtual bool runWholeMessage(std::string_view) { return false; }
    // What ends every answer.
    virtual std::string_view answerEnd() const { return "\n"; }

    template <typename Op, std::size_t N>
    static const Command<Op>* find(const std::array<Command<Op>, N>& table, const Unit& unit,
                                   int& suffix) {
        for (const Command<Op>& command : table) {
            if (command.query == unit.query && startsAlike(command.pattern, unit.header) &&
                syntax::headerMatches(command.pattern, unit.header, suffix)) {
                return &command;
            }
        }
        return nullptr;
    }

    // Answers of one message are joined by ';'.
    void answer(std::string_view text);
    void answerInteger(long long value);
    void answerExponent(double value, int digits, bool sign = false);
    // Continues the answer begun last.
    std::string& answerText() { return response_; }
    // Continues the answer begun last with `size` bytes made only as the
    // controller reads them (see queueGenerated), so an answer of any size
    // costs no memory and takes no room in the output queue.
    void appendGenerated(std::uint64_t size, Generator generate);
    // False when the output queue has no room left for more answer text; a
    // query that costs work to answer need not do it then (its answer counts
    // as lost).
    bool answerFits();

    // Puts an error (SCPI code) on the queue and sets its event bit.
    void reportError(int code);

    // Parameter checks; on a bad parameter they report the error and fail.
    bool expectNoParams(const Unit& unit);
    std::optional<double> numberParam(const Unit& unit, double min, double max);
    // The index of the keyword pattern the parameter matches.
    std::optional<std::size_t> choiceParam(const Unit& unit,
                                           std::initializer_list<std::string_view> choices);

private:
    void execute(std::string_view message) final;
    std::uint8_t statusByte() const final;
    bool serviceCondition() const final;
    void clearStatus() final;
    void messageTooLong() final;
    void outputOverflow() final;
    void outOfMemory() final;
    void newMessageWhileAnswerWaits() final;

    void runUnits(std::string_view message);
    void runUnit(std::string_view text, bool firstInMessage);
    bool runCommon(const Unit& unit, bool firstInMessage);
    void raiseEvent(std::uint8_t bits) { esr_ |= static_cast<std::uint8_t>(bits & dese_); }
    void answerNextError();

    static bool startsAlike(std::string_view pattern, std::string_view header);

    std::string_view identity_;
    bool acceptsDese_;
    std::uint8_t esr_ = kPowerOn;
    std::uint8_t ese_ = 0;
    std::uint8_t sre_ = 0;
    std::uint8_t dese_ = 0xFF;
    std::array<std::int16_t, 10> errors_{};
    std::size_t errorCount_ = 0;
    bool answered() const { return !response_.empty() || !generated_.empty(); }
    void queueWithGenerated();

    std::string response_;
    // The generated parts of the answer, each inserted at `at` in response_.
    struct GeneratedPart {
        std::size_t at;
        std::uint64_t size;
        Generator generate;
    };
    std::vector<GeneratedPart> generated_;
    // Some answer of the message running did not fit in the output queue.
    bool answerLost_ = false;
};

} // namespace bus::sim
