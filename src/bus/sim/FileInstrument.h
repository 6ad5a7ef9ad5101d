#pragma once

#include "bus/sim/Instrument.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bus::sim {

// An instrument as a bench file describes it: fixed dialogues (a query and
// perhaps an answer) and properties, values with memory that a getter reads
// and a setter changes within limits, perhaps per channel; status registers
// and error queues that its errors fill. All texts are bytes as sent on the
// bus.
struct DeviceDefinition {
    struct Dialogue {
        std::string query;
        std::optional<std::string> answer; // none: the device stays silent
    };
    enum class ValueType { Float, Int, Text };
    struct Property {
        std::string name;
        std::string initial;
        // Each pattern holds one field "{...}": formatted into the getter's
        // answer, read from the setter's query. In a channel's property
        // "{ch_id}" stands for the channel.
        std::string getQuery, getAnswer;
        std::string setQuery;
        std::optional<std::string> setAnswer;
        std::optional<std::string> setError; // the device's own error answer
        ValueType type = ValueType::Text;
        std::optional<double> min, max;
        std::vector<std::string> valid;
    };
    // Dialogues and properties that each channel has for itself. A group
    // that `selectable` names the channel in the message ("{ch_id}" in the
    // queries); one that is not answers for the channel the device's
    // "selected_channel" property holds.
    struct ChannelGroup {
        std::string name;
        std::vector<std::string> ids;
        bool selectable = true;
        std::vector<Dialogue> dialogues;
        std::vector<Property> properties;
    };
    // A register that errors set bits in and `query` reads (and clears).
    struct StatusRegister {
        std::string query;
        std::map<std::string, long long> bits; // error name -> bits it sets
    };
    // A queue that errors add their message to and `query` reads one at a
    // time, `empty` once none is left.
    struct ErrorQueue {
        std::string query;
        std::string empty;
        std::map<std::string, std::string> messages; // error name -> message
    };

    std::string name;
    std::string queryEnd = "\n";
    std::string answerEnd = "\n";
    // Where a device without the IEEE 488.2 status model splits a message
    // into queries; empty: it does not.
    std::string delimiter = ";";
    // The answer to a message the device does not know; none: silence.
    std::optional<std::string> commandError = std::string("ERROR");
    // The file gave that answer itself (an IEEE 488.2 device answers only
    // then, and otherwise reports the error in its status alone).
    bool commandErrorStated = false;
    std::vector<Dialogue> dialogues;
    std::vector<Property> properties;
    std::vector<ChannelGroup> channels;
    std::vector<StatusRegister> statusRegisters;
    std::vector<ErrorQueue> errorQueues;

    // The answer to "*IDN?", when the device has one.
    std::optional<std::string> identity() const;
};

// The instrument for a definition. One that answers *IDN? gets the same IEEE
// 488.2 status model as the built-in bench (an unknown message sets command
// error, a value out of range execution error); where the file itself
// answers a query (a status register, an error queue, a dialogue) or states
// an error answer, the file's answer is given instead. Any other device
// answers as the file says and shows only MAV in its status byte.
std::unique_ptr<Instrument> makeFileInstrument(std::shared_ptr<const DeviceDefinition> definition);

// The first field "{...}" of a pattern filled with a value, in the usual
// format notation ("{:.3f}", "{:+08.2e}", "{:d}", "{}"); `value` is a number
// unless the type is Text (a Text that reads as a number still takes a
// number's format). Texts without a field come back as they are.
std::string formatField(std::string_view pattern, const std::string& value,
                        DeviceDefinition::ValueType type);

// Random answers: each field "{RANDOM(min, max, count)}" or
// "{RANDOM(min, max, count):format}" of a text becomes `count` numbers drawn
// evenly from min to max, each in the format, joined by ", ".
class RandomAnswers {
public:
    // The generator starts where Python's does after random.seed(42) and
    // three 32-bit draws, which is where pyvisa-sim's own tests read it, so a
    // bench answers alike on every run and as those tests expect.
    RandomAnswers();
    // True when the text holds "RANDOM(" anywhere.
    static bool mentioned(std::string_view text);
    // True when every "RANDOM(" of the text stands in a well-formed field.
    static bool wellFormed(std::string_view text);
    // The text with its fields filled; none when one is not well formed.
    std::optional<std::string> fill(std::string_view text);
    // The next number in [0, 1), as Python's random.random().
    double next();

private:
    std::uint32_t word();
    std::uint32_t state_[624];
    std::size_t index_ = 624;
};

} // namespace bus::sim
