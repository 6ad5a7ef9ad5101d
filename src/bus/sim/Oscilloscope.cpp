#include "bus/sim/Ieee4882Instrument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace bus::sim {

namespace {

enum class Op {
    Scale,
    SetScale,
    Position,
    SetPosition,
    Coupling,
    SetCoupling,
    HorizontalScale,
    SetHorizontalScale,
    RecordLength,
    SetRecordLength,
    MeasureType,
    SetMeasureType,
    MeasureSource,
    SetMeasureSource,
    MeasureValue,
    MeasureUnits,
    DataSource,
    SetDataSource,
    Encoding,
    SetEncoding,
    DataStart,
    SetDataStart,
    DataStop,
    SetDataStop,
    DataWidth,
    Curve,
    AcquireState,
    SetAcquireState,
};

enum Measurement { Frequency, Period, Amplitude, PeakToPeak, Mean, Rms, Maximum, Minimum };
constexpr std::array<std::string_view, 8> kMeasurementNames{
    "FREQUENCY", "PERIOD", "AMPLITUDE", "PK2PK", "MEAN", "RMS", "MAXIMUM", "MINIMUM"};

// Tektronix-style "no valid measurement" value.
constexpr double kNoMeasurement = 9.91e37;

// The probes see fixed signals: CH1 a 1 kHz sine of 1 V peak, CH2 a 10 kHz
// square wave of +-0.5 V, CH3 and CH4 nothing.
constexpr std::array<std::array<double, 8>, 4> kMeasurements{{
    {1.0e3, 1.0e-3, 2.0, 2.0, 0.0, 0.70711, 1.0, -1.0},
    {1.0e4, 1.0e-4, 1.0, 1.0, 0.0, 0.5, 0.5, -0.5},
    {kNoMeasurement, kNoMeasurement, 0, 0, 0, 0, 0, 0},
    {kNoMeasurement, kNoMeasurement, 0, 0, 0, 0, 0, 0},
}};

double signal(int channel, double t) {
    switch (channel) {
    case 1:
        return std::sin(2 * std::numbers::pi * 1.0e3 * t);
    case 2:
        return std::fmod(t * 1.0e4, 1.0) < 0.5 ? 0.5 : -0.5;
    default:
        return 0;
    }
}

constexpr std::array<std::string_view, 3> kCouplings{"DC", "AC", "GND"};

class Oscilloscope final : public Ieee4882Instrument {
public:
    Oscilloscope() : Ieee4882Instrument("Vireon Sim,VSO-2204,SN000022,CF:91.1CT FV:v2.1.0", true) {
        resetSettings();
    }

private:
    using Cmd = Command<Op>;
    static constexpr std::array<Cmd, 28> kCommands{{
        {"CH#:SCAle", true, Op::Scale},
        {"CH#:SCAle", false, Op::SetScale},
        {"CH#:POSition", true, Op::Position},
        {"CH#:POSition", false, Op::SetPosition},
        {"CH#:COUPling", true, Op::Coupling},
        {"CH#:COUPling", false, Op::SetCoupling},
        {"HORizontal:[MAIn]:SCAle", true, Op::HorizontalScale},
        {"HORizontal:[MAIn]:SCAle", false, Op::SetHorizontalScale},
        {"HORizontal:RECOrdlength", true, Op::RecordLength},
        {"HORizontal:RECOrdlength", false, Op::SetRecordLength},
        {"MEASUrement:IMMed:TYPe", true, Op::MeasureType},
        {"MEASUrement:IMMed:TYPe", false, Op::SetMeasureType},
        {"MEASUrement:IMMed:SOUrce", true, Op::MeasureSource},
        {"MEASUrement:IMMed:SOUrce", false, Op::SetMeasureSource},
        {"MEASUrement:IMMed:VALue", true, Op::MeasureValue},
        {"MEASUrement:IMMed:UNIts", true, Op::MeasureUnits},
        {"DATa:SOUrce", true, Op::DataSource},
        {"DATa:SOUrce", false, Op::SetDataSource},
        {"DATa:ENCdg", true, Op::Encoding},
        {"DATa:ENCdg", false, Op::SetEncoding},
        {"DATa:STARt", true, Op::DataStart},
        {"DATa:STARt", false, Op::SetDataStart},
        {"DATa:STOP", true, Op::DataStop},
        {"DATa:STOP", false, Op::SetDataStop},
        {"DATa:WIDth", true, Op::DataWidth},
        {"CURVe", true, Op::Curve},
        {"ACQuire:STATE", true, Op::AcquireState},
        {"ACQuire:STATE", false, Op::SetAcquireState},
    }};

    struct Channel {
        double scale = 1.0;  // volts per division
        double position = 0; // divisions
        std::size_t coupling = 0;
    };

    bool runDeviceCommand(const Unit& unit) override {
        int suffix = 0;
        const Cmd* command = find(kCommands, unit, suffix);
        if (command == nullptr) return false;
        // CH1 to CH4 only; other suffixes are headers the scope does not have.
        if (command->pattern.starts_with("CH#") && (suffix < 1 || suffix > 4)) return false;
        Channel& channel = channels_[static_cast<std::size_t>(std::clamp(suffix, 1, 4) - 1)];

        switch (command->op) {
        case Op::Scale:
            if (expectNoParams(unit)) answerExponent(channel.scale, 4);
            break;
        case Op::SetScale:
            if (auto value = numberParam(unit, 1e-3, 10)) channel.scale = *value;
            break;
        case Op::Position:
            if (expectNoParams(unit)) answerExponent(channel.position, 4);
            break;
        case Op::SetPosition:
            if (auto value = numberParam(unit, -5, 5)) channel.position = *value;
            break;
        case Op::Coupling:
            if (expectNoParams(unit)) answer(kCouplings[channel.coupling]);
            break;
        case Op::SetCoupling:
            if (auto choice = choiceParam(unit, {"DC", "AC", "GND"})) channel.coupling = *choice;
            break;
        case Op::HorizontalScale:
            if (expectNoParams(unit)) answerExponent(horizontalScale_, 4);
            break;
        case Op::SetHorizontalScale:
            if (auto value = numberParam(unit, 1e-9, 10)) horizontalScale_ = *value;
            break;
        case Op::RecordLength:
            if (expectNoParams(unit)) answerInteger(recordLength_);
            break;
        case Op::SetRecordLength:
            if (auto value = numberParam(unit, 500, 100000)) {
                recordLength_ = std::lround(*value);
                dataStop_ = std::min(dataStop_, recordLength_);
            }
            break;
        case Op::MeasureType:
            if (expectNoParams(unit)) answer(kMeasurementNames[measurement_]);
            break;
        case Op::SetMeasureType:
            if (auto choice = choiceParam(unit, {"FREQuency", "PERIod", "AMPlitude", "PK2pk",
                                                 "MEAN", "RMS", "MAXimum", "MINImum"})) {
                measurement_ = *choice;
            }
            break;
        case Op::MeasureSource:
            if (expectNoParams(unit)) answerChannel(measureSource_);
            break;
        case Op::SetMeasureSource:
            if (auto source = channelParam(unit)) measureSource_ = *source;
            break;
        case Op::MeasureValue:
            if (expectNoParams(unit)) answerExponent(measuredValue(), 4);
            break;
        case Op::MeasureUnits:
            if (expectNoParams(unit)) {
                answer(measurement_ == Frequency ? "\"Hz\""
                       : measurement_ == Period  ? "\"s\""
                                                 : "\"V\"");
            }
            break;
        case Op::DataSource:
            if (expectNoParams(unit)) answerChannel(dataSource_);
            break;
        case Op::SetDataSource:
            if (auto source = channelParam(unit)) dataSource_ = *source;
            break;
        case Op::Encoding:
            if (expectNoParams(unit)) answer(binary_ ? "RIBINARY" : "ASCII");
            break;
        case Op::SetEncoding:
            if (auto choice = choiceParam(unit, {"ASCIi", "RIBinary"})) binary_ = *choice == 1;
            break;
        case Op::DataStart:
            if (expectNoParams(unit)) answerInteger(dataStart_);
            break;
        case Op::SetDataStart:
            if (auto value = numberParam(unit, 1, 100000)) dataStart_ = std::lround(*value);
            break;
        case Op::DataStop:
            if (expectNoParams(unit)) answerInteger(dataStop_);
            break;
        case Op::SetDataStop:
            if (auto value = numberParam(unit, 1, 100000)) dataStop_ = std::lround(*value);
            break;
        case Op::DataWidth:
            if (expectNoParams(unit)) answer("1");
            break;
        case Op::Curve:
            if (expectNoParams(unit)) answerCurve();
            break;
        case Op::AcquireState:
            if (expectNoParams(unit)) answer(running_ ? "1" : "0");
            break;
        case Op::SetAcquireState:
            if (auto choice = choiceParam(unit, {"RUN", "STOP", "ON", "OFF", "1", "0"})) {
                running_ = *choice % 2 == 0;
            }
            break;
        }
        return true;
    }

    std::optional<int> channelParam(const Unit& unit) {
        for (int channel = 1; channel <= 4; ++channel) {
            const char name[] = {'C', 'H', static_cast<char>('0' + channel)};
            if (syntax::equalsIgnoreCase(std::string_view(name, 3), unit.params)) return channel;
        }
        if (unit.params.empty()) {
            reportError(-109);
        } else {
            reportError(-141);
        }
        return std::nullopt;
    }

    void answerChannel(int channel) {
        const char name[] = {'C', 'H', static_cast<char>('0' + channel)};
        answer(std::string_view(name, 3));
    }

    double measuredValue() const {
        const Channel& channel = channels_[static_cast<std::size_t>(measureSource_ - 1)];
        if (channel.coupling == 2)
            return measurement_ <= std::size_t{Period} ? kNoMeasurement : 0.0;
        return kMeasurements[static_cast<std::size_t>(measureSource_ - 1)][measurement_];
    }

    // The record of the data source from DATa:STARt to DATa:STOP, in
    // digitizer levels (25 per division), as comma-separated numbers or as a
    // definite-length block of signed bytes.
    void answerCurve() {
        const long first = std::clamp(dataStart_, 1L, recordLength_);
        const long last = std::clamp(dataStop_, first, recordLength_);
        const Channel& channel = channels_[static_cast<std::size_t>(dataSource_ - 1)];
        const double interval = horizontalScale_ * 10 / static_cast<double>(recordLength_);
        answer({});
        // Thousands of CURV? on a full output queue are not worth minutes of
        // work for answers that are lost anyway.
        if (!answerFits()) return;
        std::string& out = answerText();
        if (binary_) {
            char count[16];
            const auto end = std::to_chars(count, count + sizeof count, last - first + 1).ptr;
            out += '#';
            out += static_cast<char>('0' + (end - count));
            out.append(count, end);
        }
        for (long i = first; i <= last; ++i) {
            const double volts = channel.coupling == 2
                                     ? 0.0
                                     : signal(dataSource_, static_cast<double>(i - 1) * interval);
            const long level = std::clamp(
                std::lround((volts / channel.scale + channel.position) * 25), -127L, 127L);
            if (binary_) {
                out += static_cast<char>(static_cast<signed char>(level));
            } else {
                if (i != first) out += ',';
                syntax::appendInteger(out, level);
            }
        }
    }

    void resetSettings() override {
        channels_ = {};
        channels_[0].scale = 0.25;
        channels_[1].scale = 0.2;
        horizontalScale_ = 5.0e-4;
        recordLength_ = 20000;
        measurement_ = Frequency;
        measureSource_ = 1;
        dataSource_ = 1;
        binary_ = false;
        dataStart_ = 1;
        dataStop_ = recordLength_;
        running_ = true;
    }

    std::array<Channel, 4> channels_;
    double horizontalScale_ = 0; // seconds per division
    long recordLength_ = 0;
    std::size_t measurement_ = Frequency;
    int measureSource_ = 1;
    int dataSource_ = 1;
    bool binary_ = false;
    long dataStart_ = 1;
    long dataStop_ = 1;
    bool running_ = true;
};

} // namespace

std::unique_ptr<Instrument> makeOscilloscope() {
    return std::make_unique<Oscilloscope>();
}

} // namespace bus::sim
