#include "bus/sim/FileInstrument.h"

#include "bus/sim/Ieee4882Instrument.h"
#include "bus/sim/Syntax.h"

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

    if (type == ValueType::Text || kind == 's') return value;
    const double number = syntax::parseNumber(value).value_or(0.0);
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

// The device's dialogues and the properties' values.
class Dialogues {
public:
    enum class Outcome { Unknown, Silent, Answered, Rejected };
    struct Reply {
        Outcome outcome;
        std::string text; // the answer, or the error answer when rejected
    };

    explicit Dialogues(std::shared_ptr<const DeviceDefinition> definition)
        : definition_(std::move(definition)) {
        reset();
    }

    const DeviceDefinition& definition() const { return *definition_; }

    void reset() {
        values_.clear();
        for (const auto& property : definition_->properties)
            values_.push_back(property.initial);
    }

    Reply respond(std::string_view message) {
        for (const auto& dialogue : definition_->dialogues) {
            if (dialogue.query != message) continue;
            if (!dialogue.answer) return {Outcome::Silent, {}};
            return {Outcome::Answered, *dialogue.answer};
        }
        for (std::size_t i = 0; i < definition_->properties.size(); ++i) {
            const auto& property = definition_->properties[i];
            if (!property.getQuery.empty() && property.getQuery == message)
                return {Outcome::Answered,
                        formatField(property.getAnswer, values_[i], property.type)};
            if (std::optional<std::string> value = setterValue(property, message)) {
                if (!acceptable(property, *value)) {
                    return {Outcome::Rejected,
                            property.setError.value_or(definition_->commandError.value_or(""))};
                }
                values_[i] = *value;
                if (!property.setAnswer) return {Outcome::Silent, {}};
                return {Outcome::Answered, *property.setAnswer};
            }
        }
        return {Outcome::Unknown, {}};
    }

private:
    static std::optional<std::string> setterValue(const DeviceDefinition::Property& property,
                                                  std::string_view message) {
        const std::string_view pattern = property.setQuery;
        const Field field = findField(pattern);
        if (field.begin == std::string_view::npos) return std::nullopt;
        const std::string_view prefix = pattern.substr(0, field.begin);
        const std::string_view suffix = pattern.substr(field.end);
        if (message.size() <= prefix.size() + suffix.size() || !message.starts_with(prefix) ||
            !message.ends_with(suffix))
            return std::nullopt;
        message.remove_prefix(prefix.size());
        message.remove_suffix(suffix.size());
        return std::string(syntax::trim(message));
    }

    static bool acceptable(const DeviceDefinition::Property& property, const std::string& value) {
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

    std::shared_ptr<const DeviceDefinition> definition_;
    std::vector<std::string> values_;
};

// Without the device's end of message, and without stray line ends.
std::string_view withoutEnd(std::string_view message, std::string_view end) {
    if (!end.empty() && message.ends_with(end)) message.remove_suffix(end.size());
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.remove_suffix(1);
    return message;
}

// A device without *IDN?: it answers what it knows and says its error
// answer to the rest, as the file describes it.
class PlainFileInstrument final : public Instrument {
public:
    explicit PlainFileInstrument(std::shared_ptr<const DeviceDefinition> definition)
        : dialogues_(std::move(definition)) {}

private:
    void execute(std::string_view message) override {
        const DeviceDefinition& d = dialogues_.definition();
        Dialogues::Reply reply = dialogues_.respond(withoutEnd(message, d.queryEnd));
        if (reply.outcome == Dialogues::Outcome::Unknown) {
            if (!d.commandError) return;
            reply.text = *d.commandError;
        }
        if (reply.outcome == Dialogues::Outcome::Silent) return;
        reply.text += d.answerEnd;
        putAnswer(reply.text);
    }
    std::uint8_t statusByte() const override {
        return hasOutput() ? Ieee4882Instrument::kMessageAvailable : 0;
    }
    bool serviceCondition() const override { return false; }

    Dialogues dialogues_;
};

// Keeps the identity alive before the base that refers to it is built.
struct IdentityHolder {
    std::string identity;
};

class Ieee4882FileInstrument final : private IdentityHolder, public Ieee4882Instrument {
public:
    explicit Ieee4882FileInstrument(std::shared_ptr<const DeviceDefinition> definition)
        : IdentityHolder{definition->identity().value_or("")}, Ieee4882Instrument(identity, false),
          dialogues_(std::move(definition)) {}

private:
    bool runDeviceCommand(const Unit& unit) override {
        // The unit as sent: its header through its parameters.
        const char* begin = unit.header.data();
        const char* end = unit.params.empty() ? begin + unit.header.size() + (unit.query ? 1 : 0)
                                              : unit.params.data() + unit.params.size();
        return run(std::string_view(begin, static_cast<std::size_t>(end - begin)), false);
    }
    // A dialogue may itself hold ';': the whole message is tried first.
    bool runWholeMessage(std::string_view message) override {
        if (message.find(';') == std::string_view::npos) return false;
        return run(withoutEnd(message, dialogues_.definition().queryEnd), true);
    }
    bool run(std::string_view text, bool whole) {
        const Dialogues::Reply reply = dialogues_.respond(text);
        switch (reply.outcome) {
        case Dialogues::Outcome::Unknown:
            return false;
        case Dialogues::Outcome::Rejected:
            if (whole) return false;
            reportError(-222);
            return true;
        case Dialogues::Outcome::Answered:
            answer(reply.text);
            return true;
        case Dialogues::Outcome::Silent:
            return true;
        }
        return false;
    }
    void resetSettings() override { dialogues_.reset(); }
    std::string_view answerEnd() const override { return dialogues_.definition().answerEnd; }

    Dialogues dialogues_;
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

} // namespace bus::sim
