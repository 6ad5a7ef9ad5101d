#include "bus/sim/Ieee4882Instrument.h"

namespace bus::sim {

namespace {

enum class Op { Measure, Configure, Configuration, Read, Initiate, Nplc, SetNplc, Version };

struct FunctionInfo {
    std::string_view name; // as CONFigure? reports it
    double reading;        // what the bench's input always shows
    double maxRange;
};

// The input terminals see a fixed, plausible signal for each function.
constexpr std::array<FunctionInfo, 6> kFunctions{{
    {"VOLT", 1.2345678, 1000},
    {"VOLT:AC", 0.7071068, 750},
    {"CURR", 1.25e-3, 3},
    {"CURR:AC", 1.0e-4, 3},
    {"RES", 1.00037e3, 1e8},
    {"FREQ", 1.0e3, 3e5},
}};

constexpr double kOverload = 9.9e37;

class Multimeter final : public Ieee4882Instrument {
public:
    Multimeter() : Ieee4882Instrument("Vireon Sim,VDM-6500,SN000005,1.04.2", false) {}

private:
    using Cmd = Command<Op>;
    static constexpr std::array<Cmd, 19> kCommands{{
        {"MEASure:VOLTage:[DC]", true, Op::Measure},
        {"MEASure:VOLTage:AC", true, Op::Measure},
        {"MEASure:CURRent:[DC]", true, Op::Measure},
        {"MEASure:CURRent:AC", true, Op::Measure},
        {"MEASure:RESistance", true, Op::Measure},
        {"MEASure:FREQuency", true, Op::Measure},
        {"CONFigure:VOLTage:[DC]", false, Op::Configure},
        {"CONFigure:VOLTage:AC", false, Op::Configure},
        {"CONFigure:CURRent:[DC]", false, Op::Configure},
        {"CONFigure:CURRent:AC", false, Op::Configure},
        {"CONFigure:RESistance", false, Op::Configure},
        {"CONFigure:FREQuency", false, Op::Configure},
        {"CONFigure", true, Op::Configuration},
        {"READ", true, Op::Read},
        {"FETCh", true, Op::Read},
        {"INITiate", false, Op::Initiate},
        {"[SENSe]:VOLTage:[DC]:NPLCycles", true, Op::Nplc},
        {"[SENSe]:VOLTage:[DC]:NPLCycles", false, Op::SetNplc},
        {"SYSTem:VERSion", true, Op::Version},
    }};

    // MEASure and CONFigure entries come in the order of kFunctions.
    static std::size_t functionOf(const Cmd* command, std::size_t first) {
        return static_cast<std::size_t>(command - kCommands.data()) - first;
    }

    bool runDeviceCommand(const Unit& unit) override {
        int suffix = 0;
        const Cmd* command = find(kCommands, unit, suffix);
        if (command == nullptr) return false;
        switch (command->op) {
        case Op::Measure:
            if (auto range = rangeParam(unit)) {
                function_ = functionOf(command, 0);
                range_ = *range;
                answerReading();
            }
            break;
        case Op::Configure:
            if (auto range = rangeParam(unit)) {
                function_ = functionOf(command, 6);
                range_ = *range;
            }
            break;
        case Op::Configuration:
            if (expectNoParams(unit)) {
                answer("\"");
                answerText() += kFunctions[function_].name;
                answerText() += ' ';
                if (range_ == 0) {
                    answerText() += "AUTO";
                } else {
                    syntax::appendExponent(answerText(), range_, 6, true);
                }
                answerText() += '"';
            }
            break;
        case Op::Read:
            if (expectNoParams(unit)) answerReading();
            break;
        case Op::Initiate:
            expectNoParams(unit);
            break;
        case Op::Nplc:
            if (expectNoParams(unit)) answerExponent(nplc_, 6, true);
            break;
        case Op::SetNplc:
            if (auto value = numberParam(unit, 0.01, 100)) nplc_ = *value;
            break;
        case Op::Version:
            if (expectNoParams(unit)) answer("1999.0");
            break;
        }
        return true;
    }

    // An optional range; none or AUTO is autoranging (0).
    std::optional<double> rangeParam(const Unit& unit) {
        if (unit.params.empty() || syntax::keywordMatches("AUTO", unit.params) ||
            syntax::keywordMatches("DEFault", unit.params)) {
            return 0.0;
        }
        return numberParam(unit, 1e-9, 1e9);
    }

    void answerReading() {
        const FunctionInfo& info = kFunctions[function_];
        const bool overload = range_ != 0 && info.reading > range_ * 1.2;
        answerExponent(overload ? kOverload : info.reading, 8, true);
    }

    void resetSettings() override {
        function_ = 0;
        range_ = 0;
        nplc_ = 10;
    }

    std::size_t function_ = 0;
    double range_ = 0; // 0: autorange
    double nplc_ = 10;
};

} // namespace

std::unique_ptr<Instrument> makeMultimeter() {
    return std::make_unique<Multimeter>();
}

} // namespace bus::sim
