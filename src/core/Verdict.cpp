#include "core/Verdict.h"

#include "bus/DeviceIo.h"
#include "platform/TextTrim.h"

#include <array>
#include <charconv>

namespace core {

namespace {

constexpr std::int16_t kMessageAvailable = 0x10;
// QYE, DDE, EXE and CME: the bits that say a message went wrong. OPC, PON
// and the requests say nothing against it.
constexpr int kErrorBits = 0x04 | 0x08 | 0x10 | 0x20;
constexpr std::array<std::string_view, 8> kBitNames = {"OPC", "RQC", "QYE", "DDE",
                                                       "EXE", "CME", "URQ", "PON"};
// An answer longer than this is no status answer; an error line is kept this long.
constexpr std::size_t kMaxAnswer = 256;
constexpr std::size_t kKeptLine = 80;

// The device's answer to `query`, blanks and line ends off; nothing when it
// said nothing in time or the bus failed.
std::optional<std::string> ask(bus::Binding& b, std::int16_t dev, std::u16string_view query) {
    b.ibwrt(dev, query);
    if ((b.ibsta & bus::ERR) != 0) return std::nullopt;
    std::string answer;
    // A few chunks at most: an answer that runs on is none of these.
    for (int chunk = 0; chunk < 4; ++chunk) {
        b.ibrd(dev, answer, kMaxAnswer);
        if ((b.ibsta & bus::ERR) != 0) return std::nullopt;
        if ((b.ibsta & bus::END) != 0) break;
    }
    return std::string(
        platform::trimSpaces(std::string_view(answer), platform::kBlanksAndLineEnds));
}

} // namespace

std::string eventStatusBits(int eventStatus) {
    std::string names;
    for (std::size_t bit = 0; bit < kBitNames.size(); ++bit) {
        if ((eventStatus & (1 << bit)) == 0) continue;
        if (!names.empty()) names += ' ';
        names += kBitNames[bit];
    }
    return names;
}

std::optional<int> errorCode(std::string_view line) {
    if (!line.empty() && line.front() == '+') line.remove_prefix(1);
    int code = 0;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), code);
    if (ec != std::errc() || (end != line.data() + line.size() && *end != ',')) return std::nullopt;
    return code;
}

std::string verdictText(const VerdictReading& reading) {
    if (!reading.polled) return "no poll";
    if (!reading.eventStatus)
        return reading.statusByte == 0 ? "OK" : "STB " + std::to_string(reading.statusByte);
    const int esr = *reading.eventStatus;
    if ((esr & kErrorBits) == 0 && reading.errors.empty()) return "OK";
    std::string text;
    if (esr != 0) text = "ESR " + std::to_string(esr) + ' ' + eventStatusBits(esr);
    for (const std::string& error : reading.errors)
        text = joinVerdicts(text, error);
    if (reading.moreErrors) text = joinVerdicts(text, "more errors");
    return text;
}

std::string joinVerdicts(std::string_view verdict, std::string_view added) {
    std::string joined(verdict);
    if (!joined.empty() && !added.empty()) joined += "; ";
    joined += added;
    return joined;
}

VerdictReading readVerdict(bus::BusSession& s, std::int16_t dev, bool ieee4882) {
    bus::Binding& b = s.binding;
    VerdictReading reading;
    // A device that keeps quiet costs a short delay, whatever the standing time-out.
    bus::TimeoutScope shortWait(b, dev, bus::T300ms, false, false);
    const std::int16_t status = b.ibrsp(dev);
    if ((b.ibsta & bus::ERR) != 0) return reading;
    reading.polled = true;
    reading.statusByte = status;
    // A query now would throw away the answer that waits.
    if (!ieee4882 || (status & kMessageAvailable) != 0) return reading;

    const std::optional<std::string> esr = ask(b, dev, u"*ESR?");
    const std::optional<int> value = esr ? errorCode(*esr) : std::nullopt;
    if (!value || *value < 0 || *value > 255) return reading;
    reading.eventStatus = *value;

    for (int read = 0; read < kMaxErrorReads; ++read) {
        const std::optional<std::string> line = ask(b, dev, u":SYST:ERR?");
        if (!line) {
            // A device without an error queue took the query for a command
            // error; reading the register again takes it back, so the next
            // message is not judged by it.
            ask(b, dev, u"*ESR?");
            return reading;
        }
        const std::optional<int> code = errorCode(*line);
        if (code == 0) return reading;
        reading.errors.push_back(line->substr(0, kKeptLine));
        // Not an error queue's answer: asking again would not empty it.
        if (!code) return reading;
    }
    reading.moreErrors = true;
    return reading;
}

} // namespace core
