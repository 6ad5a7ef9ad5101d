#include "bus/sim/FileInstrument.h"

#include "bus/sim/Ieee4882Instrument.h"
#include "bus/sim/Syntax.h"
#include "platform/TextTrim.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace bus::sim {

namespace {

using ValueType = DeviceDefinition::ValueType;

// The field "{...}" of a pattern: where it starts and ends (one past '}').
struct Field {
    std::size_t begin = std::string_view::npos;
    std::size_t end = 0;
    std::string_view format; // after ':'
};

Field findField(std::string_view pattern) {
    Field field;
    field.begin = pattern.find('{');
    if (field.begin == std::string_view::npos) return field;
    const std::size_t close = pattern.find('}', field.begin);
    if (close == std::string_view::npos) {
        field.begin = std::string_view::npos;
        return field;
    }
    field.end = close + 1;
    const std::string_view inside = pattern.substr(field.begin + 1, close - field.begin - 1);
    const std::size_t colon = inside.find(':');
    if (colon != std::string_view::npos) field.format = inside.substr(colon + 1);
    return field;
}

// The shortest text that reads back as the same double, with a point.
std::string shortest(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

std::string formatted(std::string_view format, const std::string& value, ValueType type) {
    // [[fill]align][sign][#][0][width][,][.precision][type]: fill and
    // alignment and grouping are dropped, the rest goes to printf.
    std::string flags;
    std::size_t i = 0;
    if (format.size() >= 2 && (format[1] == '<' || format[1] == '>' || format[1] == '^'))
        i = 2;
    else if (!format.empty() && (format[0] == '<' || format[0] == '>' || format[0] == '^'))
        i = 1;
    while (i < format.size() && (format[i] == '+' || format[i] == '-' || format[i] == ' ' ||
                                 format[i] == '#' || format[i] == '0'))
        flags += format[i++];
    // Width and precision go to printf only as digits with at most one point.
    std::string width;
    bool point = false;
    for (; i < format.size(); ++i) {
        const char c = format[i];
        if (c == ',') continue;
        if (c == '.' && point) break;
        if (c != '.' && std::isdigit(static_cast<unsigned char>(c)) == 0) break;
        point = point || c == '.';
        width += c;
    }
    if (width.size() > 6) width.clear();
    char kind = i < format.size() ? format[i] : 0;
    if (std::string_view("sdxXoeEfFgGn%").find(kind) == std::string_view::npos) kind = 0;

    if (kind == 's') return value;
    const std::optional<double> parsed = syntax::parseNumber(value);
    // A text takes a number's format only when it reads as a number.
    if (type == ValueType::Text && (kind == 0 || !parsed)) return value;
    const double number = parsed.value_or(0.0);
    char buffer[128];
    const bool integral = kind == 'd' || kind == 'x' || kind == 'X' || kind == 'o' ||
                          (kind == 0 && type == ValueType::Int);
    if (integral) {
        if (kind == 0) kind = 'd';
        const std::string conversion = "%" + flags + width + "ll" + kind;
        std::snprintf(buffer, sizeof buffer, conversion.c_str(), std::llround(number));
        return buffer;
    }
    if (kind == 0 && width.empty() && flags.empty()) return shortest(number);
    if (kind == 0 || kind == 'n') kind = 'g';
    const bool percent = kind == '%';
    const std::string conversion = "%" + flags + width + (percent ? 'f' : kind);
    std::snprintf(buffer, sizeof buffer, conversion.c_str(), percent ? number * 100 : number);
    return std::string(buffer) + (percent ? "%" : "");
}

// "{ch_id}" in a channel's query replaced by the channel.
std::string forChannel(std::string_view pattern, std::string_view id) {
    static constexpr std::string_view kChannel = "{ch_id}";
    std::string text(pattern);
    for (std::size_t at = 0; (at = text.find(kChannel, at)) != std::string::npos; at += id.size())
        text.replace(at, kChannel.size(), id);
    return text;
}

// A channel's query as sent: a preselected channel's does not name it.
std::string queryFor(const DeviceDefinition::ChannelGroup& group, std::string_view pattern,
                     std::size_t channel) {
    return group.selectable ? forChannel(pattern, group.ids[channel]) : std::string(pattern);
}

// The value a setter pattern's field takes in a message, or none when the
// message is not that setter's.
std::optional<std::string> setterValue(std::string_view pattern, std::string_view message) {
    const Field field = findField(pattern);
    if (field.begin == std::string_view::npos) return std::nullopt;
    const std::string_view prefix = pattern.substr(0, field.begin);
    const std::string_view suffix = pattern.substr(field.end);
    if (message.size() <= prefix.size() + suffix.size() || !message.starts_with(prefix) ||
        !message.ends_with(suffix))
        return std::nullopt;
    message.remove_prefix(prefix.size());
    message.remove_suffix(suffix.size());
    return std::string(platform::trimSpaces(message, platform::kBlanksAndLineEnds));
}

bool acceptable(const DeviceDefinition::Property& property, const std::string& value) {
    if (property.type == ValueType::Text) {
        if (property.valid.empty()) return true;
        for (const std::string& v : property.valid)
            if (v == value) return true;
        return false;
    }
    const std::optional<double> number = syntax::parseNumber(value);
    if (!number) return false;
    if (property.type == ValueType::Int && *number != std::floor(*number)) return false;
    if (property.min && *number < *property.min) return false;
    if (property.max && *number > *property.max) return false;
    if (property.valid.empty()) return true;
    for (const std::string& v : property.valid)
        if (syntax::parseNumber(v) == number) return true;
    return false;
}

// The error every unknown message and every refused value raises in the
// file's status registers and error queues.
constexpr const char* kCommandErrorKey = "command_error";

// The messages a file's error queue holds; later errors are lost, as a real
// device's are once its queue is full, rather than the queue growing with
// every bad message for as long as the console runs.
constexpr std::size_t kMaxQueuedErrors = 100;

// What a device described by a file does with one query: its dialogues, its
// properties and their values (the device's own and each channel's), its
// status registers and error queues, tried in that order.
class FileDevice {
public:
    enum class Outcome { Unknown, Silent, Answered, Rejected, Failed };
    struct Reply {
        Outcome outcome;
        std::string text;      // the answer, or the setter's own error answer
        bool ownError = false; // Rejected with the setter's own error answer
    };

    explicit FileDevice(std::shared_ptr<const DeviceDefinition> definition)
        : definition_(std::move(definition)), registers_(definition_->statusRegisters.size(), 0),
          queues_(definition_->errorQueues.size()) {
        reset();
    }

    const DeviceDefinition& definition() const { return *definition_; }

    void reset() {
        const DeviceDefinition& d = *definition_;
        values_.clear();
        for (const auto& property : d.properties)
            values_.push_back(property.initial);
        channelValues_.assign(d.channels.size(), {});
        for (std::size_t g = 0; g < d.channels.size(); ++g) {
            for (const auto& property : d.channels[g].properties)
                channelValues_[g].emplace_back(d.channels[g].ids.size(), property.initial);
        }
    }

    // `exactOnly` leaves out setters, whose patterns would take a whole
    // message of several queries as one value.
    Reply respond(std::string_view query, bool exactOnly) {
        const DeviceDefinition& d = *definition_;
        for (const auto& dialogue : d.dialogues)
            if (dialogue.query == query) return answerOf(dialogue.answer);
        for (std::size_t i = 0; i < d.properties.size(); ++i)
            if (!d.properties[i].getQuery.empty() && d.properties[i].getQuery == query)
                return read(d.properties[i], values_[i]);
        for (std::size_t r = 0; r < d.statusRegisters.size(); ++r) {
            if (d.statusRegisters[r].query != query) continue;
            std::string value;
            syntax::appendInteger(value, registers_[r]);
            registers_[r] = 0;
            return {Outcome::Answered, value};
        }
        for (std::size_t q = 0; q < d.errorQueues.size(); ++q) {
            if (d.errorQueues[q].query != query) continue;
            if (queues_[q].empty()) return {Outcome::Answered, d.errorQueues[q].empty};
            Reply reply{Outcome::Answered, *queues_[q].front()};
            queues_[q].erase(queues_[q].begin());
            return reply;
        }
        if (!exactOnly) {
            for (std::size_t i = 0; i < d.properties.size(); ++i) {
                if (std::optional<std::string> value = setterValue(d.properties[i].setQuery, query))
                    return write(d.properties[i], values_[i], std::move(*value));
            }
        }
        for (std::size_t g = 0; g < d.channels.size(); ++g) {
            Reply reply = respondChannel(g, query, exactOnly);
            if (reply.outcome != Outcome::Unknown) return reply;
        }
        return {Outcome::Unknown, {}};
    }

    // Whether the file itself answers the query (as a dialogue with an
    // answer, a getter, a status register or an error queue), without
    // asking it.
    bool answers(std::string_view query) const {
        const DeviceDefinition& d = *definition_;
        for (const auto& dialogue : d.dialogues)
            if (dialogue.query == query) return dialogue.answer.has_value();
        for (const auto& property : d.properties)
            if (!property.getQuery.empty() && property.getQuery == query) return true;
        for (const auto& r : d.statusRegisters)
            if (r.query == query) return true;
        for (const auto& q : d.errorQueues)
            if (q.query == query) return true;
        for (std::size_t g = 0; g < d.channels.size(); ++g) {
            const auto& group = d.channels[g];
            for (std::size_t c = 0; c < group.ids.size(); ++c) {
                if (!group.selectable && selected(group) != c) continue;
                for (const auto& dialogue : group.dialogues)
                    if (queryFor(group, dialogue.query, c) == query)
                        return dialogue.answer.has_value();
                for (const auto& property : group.properties)
                    if (!property.getQuery.empty() &&
                        queryFor(group, property.getQuery, c) == query)
                        return true;
            }
        }
        return false;
    }

    // An error: each status register that knows it sets its bits, each error
    // queue that knows it adds its message.
    void raise(const std::string& error) {
        const DeviceDefinition& d = *definition_;
        // As in pyvisa-sim, an error sets bits in the last register naming it.
        for (std::size_t r = d.statusRegisters.size(); r-- > 0;) {
            const auto found = d.statusRegisters[r].bits.find(error);
            if (found == d.statusRegisters[r].bits.end()) continue;
            registers_[r] |= found->second;
            break;
        }
        for (std::size_t q = 0; q < d.errorQueues.size(); ++q) {
            const auto found = d.errorQueues[q].messages.find(error);
            if (found != d.errorQueues[q].messages.end() && queues_[q].size() < kMaxQueuedErrors)
                queues_[q].push_back(&found->second);
        }
    }

private:
    Reply answerOf(const std::optional<std::string>& answer) {
        if (!answer) return {Outcome::Silent, {}};
        if (!RandomAnswers::mentioned(*answer)) return {Outcome::Answered, *answer};
        std::optional<std::string> filled = random_.fill(*answer);
        if (!filled) return {Outcome::Failed, {}};
        return {Outcome::Answered, std::move(*filled)};
    }

    Reply read(const DeviceDefinition::Property& property, const std::string& value) {
        if (RandomAnswers::mentioned(property.getAnswer)) return answerOf(property.getAnswer);
        return {Outcome::Answered, formatField(property.getAnswer, value, property.type)};
    }

    static Reply write(const DeviceDefinition::Property& property, std::string& slot,
                       std::string value) {
        if (!acceptable(property, value))
            return {Outcome::Rejected, property.setError.value_or(""),
                    property.setError.has_value()};
        slot = std::move(value);
        if (!property.setAnswer) return {Outcome::Silent, {}};
        return {Outcome::Answered, *property.setAnswer};
    }

    // The index of the channel the device's "selected_channel" property
    // holds, or past the end when it holds none of the group's.
    std::size_t selected(const DeviceDefinition::ChannelGroup& group) const {
        const DeviceDefinition& d = *definition_;
        for (std::size_t i = 0; i < d.properties.size(); ++i) {
            if (d.properties[i].name != "selected_channel") continue;
            for (std::size_t c = 0; c < group.ids.size(); ++c)
                if (group.ids[c] == values_[i]) return c;
        }
        return group.ids.size();
    }

    Reply respondChannel(std::size_t g, std::string_view query, bool exactOnly) {
        const auto& group = definition_->channels[g];
        auto& values = channelValues_[g];
        const std::size_t chosen = group.selectable ? 0 : selected(group);
        if (!group.selectable && chosen == group.ids.size()) return {Outcome::Unknown, {}};
        const std::size_t first = group.selectable ? 0 : chosen;
        const std::size_t last = group.selectable ? group.ids.size() : chosen + 1;
        for (std::size_t c = first; c < last; ++c) {
            for (const auto& dialogue : group.dialogues)
                if (queryFor(group, dialogue.query, c) == query) return answerOf(dialogue.answer);
            for (std::size_t p = 0; p < group.properties.size(); ++p) {
                const auto& property = group.properties[p];
                if (!property.getQuery.empty() && queryFor(group, property.getQuery, c) == query)
                    return read(property, values[p][c]);
            }
        }
        if (exactOnly || group.ids.empty()) return {Outcome::Unknown, {}};
        for (std::size_t p = 0; p < group.properties.size(); ++p) {
            const auto& property = group.properties[p];
            if (property.setQuery.find("{ch_id}") != std::string::npos) {
                for (std::size_t c = 0; c < group.ids.size(); ++c) {
                    if (auto value =
                            setterValue(forChannel(property.setQuery, group.ids[c]), query))
                        return write(property, values[p][c], std::move(*value));
                }
            } else if (auto value = setterValue(property.setQuery, query)) {
                // As in pyvisa-sim: the preselected channel, or the last one
                // a selectable group looked at.
                const std::size_t c = group.selectable ? group.ids.size() - 1 : chosen;
                return write(property, values[p][c], std::move(*value));
            }
        }
        return {Outcome::Unknown, {}};
    }

    std::shared_ptr<const DeviceDefinition> definition_;
    std::vector<std::string> values_;
    // Per group, per property, per channel.
    std::vector<std::vector<std::vector<std::string>>> channelValues_;
    std::vector<long long> registers_;
    // The messages, as they stand in the definition.
    std::vector<std::vector<const std::string*>> queues_;
    RandomAnswers random_;
};

// Without the device's end of message, and without stray line ends.
std::string_view withoutEnd(std::string_view message, std::string_view end) {
    if (!end.empty() && message.ends_with(end)) message.remove_suffix(end.size());
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.remove_suffix(1);
    return message;
}

// A device without *IDN?: it answers what it knows and says its error
// answer to the rest, as the file describes it, taking a message apart at
// the file's delimiter as pyvisa-sim does.
class PlainFileInstrument final : public Instrument {
public:
    explicit PlainFileInstrument(std::shared_ptr<const DeviceDefinition> definition)
        : device_(std::move(definition)) {}

private:
    void execute(std::string_view message) override {
        const DeviceDefinition& d = device_.definition();
        const std::string_view text = withoutEnd(message, d.queryEnd);
        if (d.delimiter.empty() || text.find(d.delimiter) == std::string_view::npos) {
            run(device_.respond(text, false));
            return;
        }
        // A dialogue may itself hold the delimiter: the whole message first.
        const FileDevice::Reply whole = device_.respond(text, true);
        if (whole.outcome != FileDevice::Outcome::Unknown) {
            run(whole);
            return;
        }
        for (std::size_t from = 0;;) {
            const std::size_t at = text.find(d.delimiter, from);
            run(device_.respond(text.substr(from, at - from), false));
            if (at == std::string_view::npos) break;
            from = at + d.delimiter.size();
        }
    }
    void run(FileDevice::Reply reply) {
        const DeviceDefinition& d = device_.definition();
        switch (reply.outcome) {
        case FileDevice::Outcome::Answered:
            break;
        case FileDevice::Outcome::Rejected:
            if (reply.ownError) break;
            [[fallthrough]];
        case FileDevice::Outcome::Unknown:
            device_.raise(kCommandErrorKey);
            if (!d.commandError) return;
            reply.text = *d.commandError;
            break;
        case FileDevice::Outcome::Silent:
        case FileDevice::Outcome::Failed:
            return;
        }
        reply.text += d.answerEnd;
        putAnswer(reply.text);
    }
    std::uint8_t statusByte() const override {
        return hasOutput() ? Ieee4882Instrument::kMessageAvailable : 0;
    }
    bool serviceCondition() const override { return false; }

    FileDevice device_;
};

// Keeps the identity alive before the base that refers to it is built.
struct IdentityHolder {
    std::string identity;
};

// The program message units as the status model takes them apart: at ';'
// outside quotes, blanks trimmed.
std::vector<std::string_view> unitsOf(std::string_view message) {
    std::vector<std::string_view> units;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= message.size(); ++i) {
        const char c = i < message.size() ? message[i] : ';';
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';') {
            units.push_back(platform::trimSpaces(message.substr(start, i - start),
                                                 platform::kBlanksAndLineEnds));
            start = i + 1;
        }
    }
    if (quote != 0)
        units.push_back(platform::trimSpaces(message.substr(start), platform::kBlanksAndLineEnds));
    return units;
}

// Whether the status model runs the unit as one of its common commands.
bool isCommonCommand(std::string_view unit) {
    static constexpr std::pair<std::string_view, bool> kCommon[] = {
        {"*IDN", true},  {"*RST", false},
        {"*CLS", false}, {"*ESE", false},
        {"*ESE", true},  {"*SRE", false},
        {"*SRE", true},  {"*ESR", true},
        {"*STB", true},  {"*OPC", false},
        {"*OPC", true},  {"*WAI", false},
        {"*TST", true},  {"SYSTem:ERRor:[NEXT]", true}};
    std::string_view header = unit.substr(0, unit.find_first_of(" \t"));
    const bool query = header.ends_with('?');
    if (query) header.remove_suffix(1);
    int suffix = 0;
    for (const auto& [pattern, isQuery] : kCommon)
        if (isQuery == query && syntax::headerMatches(pattern, header, suffix)) return true;
    return false;
}

class Ieee4882FileInstrument final : private IdentityHolder, public Ieee4882Instrument {
public:
    explicit Ieee4882FileInstrument(std::shared_ptr<const DeviceDefinition> definition)
        : IdentityHolder{definition->identity().value_or("")}, Ieee4882Instrument(identity, false),
          device_(std::move(definition)) {}

private:
    bool runDeviceCommand(const Unit& unit) override {
        // The unit as sent: its header through its parameters.
        const char* begin = unit.header.data();
        const char* end = unit.params.empty() ? begin + unit.header.size() + (unit.query ? 1 : 0)
                                              : unit.params.data() + unit.params.size();
        run(device_.respond(std::string_view(begin, static_cast<std::size_t>(end - begin)), false));
        return true;
    }
    // The file's own answers come before the status model's: a dialogue may
    // itself hold ';', and a query the file answers may be one of the common
    // ones (its "*ESR?" register, its ":SYST:ERR?" queue). The model keeps a
    // message with a common command the file leaves to it.
    bool runWholeMessage(std::string_view message) override {
        message = withoutEnd(message, device_.definition().queryEnd);
        if (message.find(';') != std::string_view::npos) {
            const FileDevice::Reply whole = device_.respond(message, true);
            if (whole.outcome != FileDevice::Outcome::Unknown) {
                run(whole);
                return true;
            }
        }
        const std::vector<std::string_view> units = unitsOf(message);
        bool fileTakesCommon = false;
        for (const std::string_view unit : units) {
            if (!isCommonCommand(unit)) continue;
            if (!device_.answers(unit)) return false;
            fileTakesCommon = true;
        }
        if (!fileTakesCommon) return false;
        for (const std::string_view unit : units)
            if (!unit.empty()) run(device_.respond(unit, false));
        return true;
    }
    void run(const FileDevice::Reply& reply) {
        const DeviceDefinition& d = device_.definition();
        switch (reply.outcome) {
        case FileDevice::Outcome::Answered:
            if (answerFits()) answer(reply.text);
            return;
        case FileDevice::Outcome::Silent:
            return;
        case FileDevice::Outcome::Failed:
            reportError(-300);
            return;
        case FileDevice::Outcome::Rejected:
        case FileDevice::Outcome::Unknown:
            break;
        }
        // Error answers too stop where the output queue is full: a message of
        // many bad units must not build more than it can take.
        const bool rejected = reply.outcome == FileDevice::Outcome::Rejected;
        if (rejected && reply.ownError) {
            if (answerFits()) answer(reply.text);
        } else {
            device_.raise(kCommandErrorKey);
            if (d.commandErrorStated && d.commandError && answerFits()) answer(*d.commandError);
        }
        reportError(rejected ? -222 : -113);
    }
    void resetSettings() override { device_.reset(); }
    std::string_view answerEnd() const override { return device_.definition().answerEnd; }

    FileDevice device_;
};

} // namespace

std::optional<std::string> DeviceDefinition::identity() const {
    for (const Dialogue& dialogue : dialogues) {
        if (dialogue.query == "*IDN?" && dialogue.answer && !dialogue.answer->empty())
            return dialogue.answer;
    }
    return std::nullopt;
}

std::unique_ptr<Instrument> makeFileInstrument(std::shared_ptr<const DeviceDefinition> definition) {
    if (definition->identity()) return std::make_unique<Ieee4882FileInstrument>(definition);
    return std::make_unique<PlainFileInstrument>(std::move(definition));
}

std::string formatField(std::string_view pattern, const std::string& value,
                        DeviceDefinition::ValueType type) {
    const Field field = findField(pattern);
    if (field.begin == std::string_view::npos) return std::string(pattern);
    std::string text(pattern.substr(0, field.begin));
    text += formatted(field.format, value, type);
    text += pattern.substr(field.end);
    return text;
}

namespace {

constexpr std::string_view kRandom = "RANDOM(";

// One field "{RANDOM(min, max, count)[:format]}" at the start of `text`.
struct RandomField {
    double min = 0, max = 0;
    long long count = 0;
    std::string_view format;
    std::size_t size = 0; // the field's length in the text
};

std::optional<RandomField> randomFieldAt(std::string_view text) {
    if (!text.starts_with("{") || !text.substr(1).starts_with(kRandom)) return std::nullopt;
    const std::size_t close = text.find(')');
    const std::size_t end = text.find('}');
    if (close == std::string_view::npos || end == std::string_view::npos || end < close)
        return std::nullopt;
    std::string_view args = text.substr(1 + kRandom.size(), close - 1 - kRandom.size());
    std::vector<std::string_view> parts;
    for (std::size_t comma; (comma = args.find(',')) != std::string_view::npos;) {
        parts.push_back(platform::trimSpaces(args.substr(0, comma), platform::kBlanksAndLineEnds));
        args.remove_prefix(comma + 1);
    }
    parts.push_back(platform::trimSpaces(args, platform::kBlanksAndLineEnds));
    const std::string_view tail = text.substr(close + 1, end - close - 1);
    if (parts.size() != 3 || !(tail.empty() || tail.front() == ':')) return std::nullopt;
    const std::optional<double> min = syntax::parseNumber(parts[0]);
    const std::optional<double> max = syntax::parseNumber(parts[1]);
    const std::optional<double> count = syntax::parseNumber(parts[2]);
    // A bounded count: a typing slip must not fill the output queue.
    if (!min || !max || !count || *count != std::floor(*count) || *count < 1 || *count > 100000)
        return std::nullopt;
    RandomField field{*min, *max, static_cast<long long>(*count),
                      tail.empty() ? tail : tail.substr(1), end + 1};
    return field;
}

} // namespace

RandomAnswers::RandomAnswers() {
    // Python's random.seed(42): MT19937 keyed by the array {42}.
    state_[0] = 19650218u;
    for (std::uint32_t i = 1; i < 624; ++i)
        state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + i;
    std::uint32_t i = 1;
    for (int k = 624; k > 0; --k) {
        state_[i] = (state_[i] ^ ((state_[i - 1] ^ (state_[i - 1] >> 30)) * 1664525u)) + 42u;
        if (++i >= 624) {
            state_[0] = state_[623];
            i = 1;
        }
    }
    for (int k = 623; k > 0; --k) {
        state_[i] = (state_[i] ^ ((state_[i - 1] ^ (state_[i - 1] >> 30)) * 1566083941u)) - i;
        if (++i >= 624) {
            state_[0] = state_[623];
            i = 1;
        }
    }
    state_[0] = 0x80000000u;
    for (int k = 0; k < 3; ++k)
        word();
}

std::uint32_t RandomAnswers::word() {
    if (index_ >= 624) {
        for (std::size_t k = 0; k < 624; ++k) {
            const std::uint32_t y =
                (state_[k] & 0x80000000u) | (state_[(k + 1) % 624] & 0x7fffffffu);
            state_[k] = state_[(k + 397) % 624] ^ (y >> 1) ^ ((y & 1u) != 0 ? 0x9908b0dfu : 0u);
        }
        index_ = 0;
    }
    std::uint32_t y = state_[index_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

double RandomAnswers::next() {
    const double high = word() >> 5;
    const double low = word() >> 6;
    return (high * 67108864.0 + low) * (1.0 / 9007199254740992.0);
}

bool RandomAnswers::mentioned(std::string_view text) {
    return text.find(kRandom) != std::string_view::npos;
}

bool RandomAnswers::wellFormed(std::string_view text) {
    for (std::size_t at; (at = text.find(kRandom)) != std::string_view::npos;) {
        const std::optional<RandomField> field =
            at > 0 ? randomFieldAt(text.substr(at - 1)) : std::nullopt;
        if (!field) return false;
        text.remove_prefix(at - 1 + field->size);
    }
    return true;
}

std::optional<std::string> RandomAnswers::fill(std::string_view text) {
    if (!wellFormed(text)) return std::nullopt;
    std::string out;
    for (std::size_t at; (at = text.find(kRandom)) != std::string_view::npos;) {
        const RandomField field = *randomFieldAt(text.substr(at - 1));
        out += text.substr(0, at - 1);
        // Past what the output queue takes the answer is cut anyway; a few
        // bytes of fields must not ask for gigabytes.
        for (long long n = 0; n < field.count && out.size() <= Instrument::kMaxOutput; ++n) {
            // As Python's random.uniform(min, max).
            const double value = field.min + (field.max - field.min) * next();
            if (n > 0) out += ", ";
            out += formatted(field.format, shortest(value), ValueType::Float);
        }
        text.remove_prefix(at - 1 + field.size);
    }
    out += text;
    return out;
}

} // namespace bus::sim
