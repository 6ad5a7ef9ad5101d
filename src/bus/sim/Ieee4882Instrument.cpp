#include "bus/sim/Ieee4882Instrument.h"

#include "bus/AsciiText.h"
#include "platform/TextTrim.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace bus::sim {

namespace {

enum class Common {
    Identify,
    Reset,
    ClearStatus,
    SetEventEnable,
    EventEnable,
    SetRequestEnable,
    RequestEnable,
    EventStatus,
    StatusByte,
    OperationComplete,
    OperationCompleteQuery,
    Wait,
    SelfTest,
    SetDeviceEventEnable,
    DeviceEventEnable,
    NextError,
};

template <typename Op> struct Entry {
    std::string_view pattern;
    bool query;
    Op op;
};

constexpr std::array<Entry<Common>, 16> kCommon{{
    {"*IDN", true, Common::Identify},
    {"*RST", false, Common::Reset},
    {"*CLS", false, Common::ClearStatus},
    {"*ESE", false, Common::SetEventEnable},
    {"*ESE", true, Common::EventEnable},
    {"*SRE", false, Common::SetRequestEnable},
    {"*SRE", true, Common::RequestEnable},
    {"*ESR", true, Common::EventStatus},
    {"*STB", true, Common::StatusByte},
    {"*OPC", false, Common::OperationComplete},
    {"*OPC", true, Common::OperationCompleteQuery},
    {"*WAI", false, Common::Wait},
    {"*TST", true, Common::SelfTest},
    {"DESE", false, Common::SetDeviceEventEnable},
    {"DESE", true, Common::DeviceEventEnable},
    {"SYSTem:ERRor:[NEXT]", true, Common::NextError},
}};

constexpr std::string_view errorText(int code) {
    switch (code) {
    case -100:
        return "Command error";
    case -102:
        return "Syntax error";
    case -104:
        return "Data type error";
    case -108:
        return "Parameter not allowed";
    case -109:
        return "Missing parameter";
    case -113:
        return "Undefined header";
    case -141:
        return "Invalid character data";
    case -222:
        return "Data out of range";
    case -223:
        return "Too much data";
    case -225:
        return "Out of memory";
    case -350:
        return "Queue overflow";
    case -410:
        return "Query INTERRUPTED";
    case -430:
        return "Query DEADLOCKED";
    default:
        return "Error";
    }
}

std::uint8_t toByte(double value) {
    return static_cast<std::uint8_t>(std::lround(value));
}

// The end of the unit that starts `text`: the first ';' outside quotes.
std::size_t unitEnd(std::string_view text) {
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            return i;
        }
    }
    return text.size();
}

} // namespace

Ieee4882Instrument::Ieee4882Instrument(std::string_view identity, bool acceptsDese)
    : identity_(identity), acceptsDese_(acceptsDese) {}

bool Ieee4882Instrument::runDeviceCommand(const Unit&) {
    return false;
}

void Ieee4882Instrument::execute(std::string_view message) {
    message = platform::trimSpaces(message, platform::kBlanksAndLineEnds);
    if (message.empty()) return;
    if (!runWholeMessage(message)) runUnits(message);
    if (!generated_.empty()) {
        response_ += answerEnd();
        queueWithGenerated();
    } else if (!response_.empty()) {
        response_ += answerEnd();
        putAnswer(response_);
    }
    if (answerLost_) {
        answerLost_ = false;
        reportError(-430);
    }
}

void Ieee4882Instrument::runUnits(std::string_view message) {
    bool first = true;
    for (;;) {
        const std::size_t end = unitEnd(message);
        runUnit(platform::trimSpaces(message.substr(0, end), platform::kBlanksAndLineEnds), first);
        first = false;
        // A message of many queries must not build an answer larger than the
        // output queue takes.
        if (response_.size() > outputRoom()) {
            response_.resize(outputRoom());
            answerLost_ = true;
        }
        if (end == message.size()) break;
        message.remove_prefix(end + 1);
    }
}

bool Ieee4882Instrument::answerFits() {
    if (response_.size() < outputRoom()) return true;
    answerLost_ = true;
    return false;
}

void Ieee4882Instrument::runUnit(std::string_view text, bool firstInMessage) {
    if (text.empty()) return;
    std::size_t blank = 0;
    while (blank < text.size() && text[blank] != ' ' && text[blank] != '\t')
        ++blank;
    Unit unit{text.substr(0, blank),
              platform::trimSpaces(text.substr(blank), platform::kBlanksAndLineEnds), false};
    if (!unit.header.empty() && unit.header.back() == '?') {
        unit.query = true;
        unit.header.remove_suffix(1);
    }
    if (!runCommon(unit, firstInMessage) && !runDeviceCommand(unit)) reportError(-113);
}

bool Ieee4882Instrument::startsAlike(std::string_view pattern, std::string_view header) {
    if (!header.empty() && header.front() == ':') header.remove_prefix(1);
    if (pattern.empty() || header.empty()) return false;
    return pattern.front() == '[' || sameIgnoringCase(pattern.front(), header.front());
}

bool Ieee4882Instrument::runCommon(const Unit& unit, bool firstInMessage) {
    const Entry<Common>* found = nullptr;
    int suffix = 0;
    for (const Entry<Common>& entry : kCommon) {
        if (entry.query == unit.query && startsAlike(entry.pattern, unit.header) &&
            syntax::headerMatches(entry.pattern, unit.header, suffix)) {
            found = &entry;
            break;
        }
    }
    if (found == nullptr) return false;

    switch (found->op) {
    case Common::Identify:
        if (expectNoParams(unit)) answer(identity_);
        break;
    case Common::Reset:
        if (expectNoParams(unit)) resetSettings();
        break;
    case Common::ClearStatus:
        if (!expectNoParams(unit)) break;
        esr_ = 0;
        errorCount_ = 0;
        // At the start of a message *CLS also drops answers nobody read, so
        // the status byte can come back to 0.
        if (firstInMessage) clearOutput();
        break;
    case Common::SetEventEnable:
        if (auto value = numberParam(unit, 0, 255)) ese_ = toByte(*value);
        break;
    case Common::EventEnable:
        if (expectNoParams(unit)) answerInteger(ese_);
        break;
    case Common::SetRequestEnable:
        // Bit 6 is the summary itself and cannot be enabled.
        if (auto value = numberParam(unit, 0, 255)) {
            sre_ = static_cast<std::uint8_t>(toByte(*value) & 0xBFu);
        }
        break;
    case Common::RequestEnable:
        if (expectNoParams(unit)) answerInteger(sre_);
        break;
    case Common::EventStatus:
        if (expectNoParams(unit)) {
            answerInteger(esr_);
            esr_ = 0;
        }
        break;
    case Common::StatusByte:
        if (expectNoParams(unit)) {
            const std::uint8_t status = statusByte();
            answerInteger(status | ((status & sre_) != 0 ? kMasterSummary : 0));
        }
        break;
    case Common::OperationComplete:
        if (expectNoParams(unit)) raiseEvent(kOperationComplete);
        break;
    case Common::OperationCompleteQuery:
        if (expectNoParams(unit)) answer("1");
        break;
    case Common::Wait:
        expectNoParams(unit);
        break;
    case Common::SelfTest:
        if (expectNoParams(unit)) answer("0");
        break;
    case Common::SetDeviceEventEnable:
        if (!acceptsDese_) return false;
        if (auto value = numberParam(unit, 0, 255)) dese_ = toByte(*value);
        break;
    case Common::DeviceEventEnable:
        if (!acceptsDese_) return false;
        if (expectNoParams(unit)) answerInteger(dese_);
        break;
    case Common::NextError:
        if (expectNoParams(unit)) answerNextError();
        break;
    }
    return true;
}

void Ieee4882Instrument::answerNextError() {
    if (errorCount_ == 0) {
        answer("0,\"No error\"");
        return;
    }
    const int code = errors_[0];
    for (std::size_t i = 1; i < errorCount_; ++i)
        errors_[i - 1] = errors_[i];
    --errorCount_;
    answerInteger(code);
    response_ += ",\"";
    response_ += errorText(code);
    response_ += '"';
}

void Ieee4882Instrument::answer(std::string_view text) {
    if (answered()) response_.push_back(';');
    response_ += text;
}

void Ieee4882Instrument::answerInteger(long long value) {
    if (answered()) response_.push_back(';');
    syntax::appendInteger(response_, value);
}

void Ieee4882Instrument::answerExponent(double value, int digits, bool sign) {
    if (answered()) response_.push_back(';');
    syntax::appendExponent(response_, value, digits, sign);
}

void Ieee4882Instrument::appendGenerated(std::uint64_t size, Generator generate) {
    if (size > 0 && generate) generated_.push_back({response_.size(), size, std::move(generate)});
}

namespace {

// An answer of text with generated parts inside, made as it is read.
struct Composite {
    std::string text;
    std::vector<std::pair<std::size_t, std::uint64_t>> parts; // where in text, how long
    std::vector<Instrument::Generator> generators;

    void operator()(std::uint64_t offset, char* dest, std::size_t n) {
        const std::uint64_t stop = offset + n;
        std::uint64_t pos = 0; // where the next piece starts in the whole answer
        std::size_t textPos = 0;
        const auto overlap = [&](std::uint64_t size, auto&& fill) {
            const std::uint64_t from = std::max(pos, offset);
            const std::uint64_t to = std::min(pos + size, stop);
            if (from < to)
                fill(from - pos, dest + (from - offset), static_cast<std::size_t>(to - from));
            pos += size;
        };
        const auto textUpTo = [&](std::size_t at) {
            overlap(at - textPos, [&](std::uint64_t skip, char* out, std::size_t count) {
                std::memcpy(out, text.data() + textPos + skip, count);
            });
            textPos = at;
        };
        for (std::size_t i = 0; i < parts.size() && pos < stop; ++i) {
            textUpTo(parts[i].first);
            overlap(parts[i].second, generators[i]);
        }
        if (pos < stop) textUpTo(text.size());
    }
};

} // namespace

void Ieee4882Instrument::queueWithGenerated() {
    Composite answer;
    std::uint64_t size = response_.size();
    for (GeneratedPart& part : generated_) {
        answer.parts.emplace_back(std::min(part.at, response_.size()), part.size);
        answer.generators.push_back(std::move(part.generate));
        size += part.size;
    }
    answer.text = std::move(response_);
    response_.clear();
    generated_.clear();
    queueGenerated(size, std::move(answer));
}

void Ieee4882Instrument::reportError(int code) {
    if (errorCount_ < errors_.size()) {
        errors_[errorCount_++] = static_cast<std::int16_t>(code);
    } else {
        // The last place tells that errors were lost; the overflow is a
        // device error of its own, beside the event of the error it lost.
        errors_.back() = -350;
        raiseEvent(kDeviceError);
    }
    if (code <= -100 && code > -200) {
        raiseEvent(kCommandError);
    } else if (code <= -200 && code > -300) {
        raiseEvent(kExecutionError);
    } else if (code <= -300 && code > -400) {
        raiseEvent(kDeviceError);
    } else {
        raiseEvent(kQueryError);
    }
}

bool Ieee4882Instrument::expectNoParams(const Unit& unit) {
    if (unit.params.empty()) return true;
    reportError(-108);
    return false;
}

std::optional<double> Ieee4882Instrument::numberParam(const Unit& unit, double min, double max) {
    if (unit.params.empty()) {
        reportError(-109);
        return std::nullopt;
    }
    const std::optional<double> value = syntax::parseNumber(unit.params);
    if (!value) {
        reportError(-104);
        return std::nullopt;
    }
    if (*value < min || *value > max) {
        reportError(-222);
        return std::nullopt;
    }
    return value;
}

std::optional<std::size_t>
Ieee4882Instrument::choiceParam(const Unit& unit, std::initializer_list<std::string_view> choices) {
    if (unit.params.empty()) {
        reportError(-109);
        return std::nullopt;
    }
    std::size_t index = 0;
    for (std::string_view choice : choices) {
        if (syntax::keywordMatches(choice, unit.params)) return index;
        ++index;
    }
    reportError(-141);
    return std::nullopt;
}

std::uint8_t Ieee4882Instrument::statusByte() const {
    std::uint8_t status = 0;
    if (hasOutput()) status |= kMessageAvailable;
    if ((esr_ & ese_) != 0) status |= kEventSummary;
    return status;
}

bool Ieee4882Instrument::serviceCondition() const {
    return (statusByte() & sre_) != 0;
}

void Ieee4882Instrument::clearStatus() {
    esr_ = 0;
    errorCount_ = 0;
    response_.clear();
    generated_.clear();
}

void Ieee4882Instrument::messageTooLong() {
    reportError(-223);
}

void Ieee4882Instrument::outputOverflow() {
    // The output queue is full and the controller still asks: the deadlock a
    // device breaks by dropping answers. Reported once the message has run.
    answerLost_ = true;
}

void Ieee4882Instrument::newMessageWhileAnswerWaits() {
    // The controller gave up on the answer: whatever of it is left would
    // otherwise come back as the answer to the new query.
    clearOutput();
    reportError(-410);
}

void Ieee4882Instrument::outOfMemory() {
    std::string().swap(response_);
    generated_.clear();
    answerLost_ = false;
    reportError(-225);
}

namespace {

class GenericListener final : public Ieee4882Instrument {
public:
    GenericListener()
        : Ieee4882Instrument("Vireon Sim,VGD-488 General Device,SN000000,1.0", false) {}
};

} // namespace

std::unique_ptr<Instrument> makeGenericListener() {
    return std::make_unique<GenericListener>();
}

} // namespace bus::sim
