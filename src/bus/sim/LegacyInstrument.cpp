#include "bus/AsciiText.h"
#include "bus/sim/Instrument.h"
#include "bus/sim/Syntax.h"
#include "platform/TextTrim.h"

#include <array>
#include <optional>

namespace bus::sim {

namespace {

// A function generator from before IEEE 488.2: it knows its own commands and
// "ID?", nothing of the common commands. Headers must be spelt out (in any
// case); several commands go in one message separated by ';'. A message it
// cannot carry out raises a service request whose status byte is 97 (113
// while an answer waits); the poll clears it, otherwise the status byte is 0.
class LegacyInstrument final : public Instrument {
public:
    LegacyInstrument() { reset(); }

private:
    static constexpr std::uint8_t kCommandErrorStatus = 0x21;
    static constexpr std::uint8_t kBusy = 0x10; // an answer is waiting

    static constexpr std::array<std::string_view, 3> kWaveforms{"SINE", "SQUARE", "TRIANGLE"};

    struct Limits {
        double min;
        double max;
    };

    void execute(std::string_view message) override {
        message = platform::trimSpaces(message, platform::kBlanksAndLineEnds);
        if (message.empty()) return;
        for (;;) {
            const std::size_t end = message.find(';');
            if (!run(platform::trimSpaces(message.substr(0, end), platform::kBlanksAndLineEnds)))
                errorPending_ = true;
            if (end == std::string_view::npos) break;
            message.remove_prefix(end + 1);
        }
        if (!response_.empty()) {
            response_ += '\n';
            putAnswer(response_);
        }
    }

    // False when the command is unknown or its argument is bad.
    bool run(std::string_view text) {
        if (text.empty()) return true;
        const std::size_t blank = text.find_first_of(" \t");
        const std::string_view header = text.substr(0, blank);
        const std::string_view argument =
            blank == std::string_view::npos
                ? std::string_view{}
                : platform::trimSpaces(text.substr(blank), platform::kBlanksAndLineEnds);
        const auto is = [&](std::string_view name) { return equalsIgnoringCase(header, name); };

        if (is("ID?")) return argument.empty() && answer("ID VIREON SIM/VFG-209,V2.3,F1.1");
        if (is("SET?")) return argument.empty() && answerSettings();
        if (is("FREQ?")) return argument.empty() && answerValue("FREQ", frequency_);
        if (is("AMPL?")) return argument.empty() && answerValue("AMPL", amplitude_);
        if (is("OFFS?")) return argument.empty() && answerValue("OFFS", offset_);
        if (is("FUNC?")) return argument.empty() && answerWord("FUNC", kWaveforms[waveform_]);
        if (is("OUT?")) return argument.empty() && answerWord("OUT", output_ ? "ON" : "OFF");
        if (is("FREQ")) return setValue(argument, {1e-3, 2e7}, frequency_);
        if (is("AMPL")) return setValue(argument, {1e-2, 20}, amplitude_);
        if (is("OFFS")) return setValue(argument, {-10, 10}, offset_);
        if (is("FUNC")) {
            for (std::size_t i = 0; i < kWaveforms.size(); ++i) {
                // The first three letters are enough.
                if (argument.size() >= 3 && argument.size() <= kWaveforms[i].size() &&
                    equalsIgnoringCase(argument, kWaveforms[i].substr(0, argument.size()))) {
                    waveform_ = i;
                    return true;
                }
            }
            return false;
        }
        if (is("OUT")) {
            if (equalsIgnoringCase(argument, "ON"))
                output_ = true;
            else if (equalsIgnoringCase(argument, "OFF"))
                output_ = false;
            else
                return false;
            return true;
        }
        if (is("INIT")) {
            if (!argument.empty()) return false;
            reset();
            return true;
        }
        return false;
    }

    bool setValue(std::string_view argument, Limits limits, double& value) {
        const std::optional<double> number = syntax::parseNumber(argument);
        if (!number || *number < limits.min || *number > limits.max) return false;
        value = *number;
        return true;
    }

    bool answer(std::string_view text) {
        if (!response_.empty()) response_ += ';';
        response_ += text;
        return true;
    }

    bool answerValue(std::string_view header, double value) {
        answer(header);
        response_ += ' ';
        syntax::appendExponent(response_, value, 3);
        return true;
    }

    bool answerWord(std::string_view header, std::string_view word) {
        answer(header);
        response_ += ' ';
        response_ += word;
        return true;
    }

    bool answerSettings() {
        answerValue("FREQ", frequency_);
        answerValue("AMPL", amplitude_);
        answerValue("OFFS", offset_);
        answerWord("FUNC", kWaveforms[waveform_]);
        return answerWord("OUT", output_ ? "ON" : "OFF");
    }

    void reset() {
        frequency_ = 1.0e3;
        amplitude_ = 1.0;
        offset_ = 0;
        waveform_ = 0;
        output_ = false;
    }

    std::uint8_t statusByte() const override {
        if (!errorPending_) return 0;
        return hasOutput() ? kCommandErrorStatus | kBusy : kCommandErrorStatus;
    }
    bool serviceCondition() const override { return errorPending_; }
    void afterSerialPoll() override { errorPending_ = false; }
    void clearStatus() override {
        errorPending_ = false;
        response_.clear();
    }
    void messageTooLong() override { errorPending_ = true; }
    void outputOverflow() override { errorPending_ = true; }
    void outOfMemory() override {
        std::string().swap(response_);
        errorPending_ = true;
    }

    bool errorPending_ = false;
    std::string response_;
    double frequency_ = 0;
    double amplitude_ = 0;
    double offset_ = 0;
    std::size_t waveform_ = 0;
    bool output_ = false;
};

} // namespace

std::unique_ptr<Instrument> makeLegacyInstrument() {
    return std::make_unique<LegacyInstrument>();
}

} // namespace bus::sim
