#pragma once

#include "bus/sim/Instrument.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bus::sim {

// An instrument as a bench file describes it: fixed dialogues (a query and
// perhaps an answer) and properties, values with memory that a getter reads
// and a setter changes within limits. All texts are bytes as sent on the bus.
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
        // answer, read from the setter's query.
        std::string getQuery, getAnswer;
        std::string setQuery;
        std::optional<std::string> setAnswer;
        std::optional<std::string> setError; // the device's own error answer
        ValueType type = ValueType::Text;
        std::optional<double> min, max;
        std::vector<std::string> valid;
    };

    std::string name;
    std::string queryEnd = "\n";
    std::string answerEnd = "\n";
    // The answer to a message the device does not know; none: silence.
    std::optional<std::string> commandError = std::string("ERROR");
    std::vector<Dialogue> dialogues;
    std::vector<Property> properties;

    // The answer to "*IDN?", when the device has one.
    std::optional<std::string> identity() const;
};

// The instrument for a definition. One that answers *IDN? gets the same IEEE
// 488.2 status model as the built-in bench (an unknown message sets command
// error, a value out of range execution error, and neither is answered);
// any other answers an unknown message with its error answer and shows only
// MAV in its status byte.
std::unique_ptr<Instrument> makeFileInstrument(std::shared_ptr<const DeviceDefinition> definition);

// The first field "{...}" of a pattern filled with a value, in the usual
// format notation ("{:.3f}", "{:+08.2e}", "{:d}", "{}"); `value` is a number
// unless the type is Text. Texts without a field come back as they are.
std::string formatField(std::string_view pattern, const std::string& value,
                        DeviceDefinition::ValueType type);

} // namespace bus::sim
