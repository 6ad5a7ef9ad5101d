#include "bus/AsciiText.h"
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
    SetDataWidth,
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

constexpr double kMaxRecord = 100'000'000;

// The points DATa:STARt to DATa:STOP of one record as the scope digitizes
// them.
struct Record {
    long first = 1;
    long last = 0;
    int source = 1;
    double scale = 1;
    double position = 0;
    bool grounded = false;
    double interval = 0; // seconds between points

    std::uint64_t points() const { return static_cast<std::uint64_t>(last - first + 1); }
    // Point i (counted from 1) in digitizer levels, 25 per division.
    int level(long i) const {
        const double volts = grounded ? 0.0 : signal(source, static_cast<double>(i - 1) * interval);
        return static_cast<int>(
            std::clamp(std::lround((volts / scale + position) * 25), -127L, 127L));
    }
    bool operator==(const Record&) const = default;
};

// The record as comma-separated levels, made as it is read. Reading goes
// forward, so it keeps its place; a read from anywhere else starts again at
// the first point and skips to it.
class AsciiCurve {
public:
    explicit AsciiCurve(const Record& record) : record_(record), next_(record.first) {}

    std::uint64_t size() {
        emit(nullptr, UINT64_MAX);
        return offset_;
    }

    void operator()(std::uint64_t offset, char* dest, std::size_t n) {
        if (offset != offset_) {
            *this = AsciiCurve(record_);
            emit(nullptr, offset);
        }
        emit(dest, n);
    }

private:
    // Writes (or with no dest skips) up to n bytes, fewer at the record's end.
    void emit(char* dest, std::uint64_t n) {
        while (n > 0) {
            if (at_ == length_) {
                if (next_ > record_.last) return;
                length_ = at_ = 0;
                if (next_ != record_.first) text_[length_++] = ',';
                length_ = static_cast<std::size_t>(
                    std::to_chars(text_ + length_, text_ + sizeof text_, record_.level(next_++))
                        .ptr -
                    text_);
            }
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(n, length_ - at_));
            if (dest != nullptr) {
                std::copy_n(text_ + at_, count, dest);
                dest += count;
            }
            at_ += count;
            offset_ += count;
            n -= count;
        }
    }

    Record record_;
    long next_;
    std::uint64_t offset_ = 0; // of the next byte
    char text_[8] = {};
    std::size_t length_ = 0;
    std::size_t at_ = 0;
};

class Oscilloscope final : public Ieee4882Instrument {
public:
    Oscilloscope() : Ieee4882Instrument("Vireon Sim,VSO-2204,SN000022,CF:91.1CT FV:v2.1.0", true) {
        resetSettings();
    }

private:
    using Cmd = Command<Op>;
    static constexpr std::array<Cmd, 29> kCommands{{
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
        {"DATa:WIDth", false, Op::SetDataWidth},
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
            if (auto value = numberParam(unit, 500, kMaxRecord)) {
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
            if (auto value = numberParam(unit, 1, kMaxRecord)) dataStart_ = std::lround(*value);
            break;
        case Op::DataStop:
            if (expectNoParams(unit)) answerInteger(dataStop_);
            break;
        case Op::SetDataStop:
            if (auto value = numberParam(unit, 1, kMaxRecord)) dataStop_ = std::lround(*value);
            break;
        case Op::DataWidth:
            if (expectNoParams(unit)) answerInteger(width_);
            break;
        case Op::SetDataWidth:
            if (auto value = numberParam(unit, 1, 2))
                width_ = static_cast<int>(std::lround(*value));
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
            if (equalsIgnoringCase(std::string_view(name, 3), unit.params)) return channel;
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
    // definite-length block of signed bytes (or 16-bit words, most
    // significant byte first). Either is made as it is read, so a record of
    // any length costs no memory.
    void answerCurve() {
        const long first = std::clamp(dataStart_, 1L, recordLength_);
        const Channel& channel = channels_[static_cast<std::size_t>(dataSource_ - 1)];
        const Record record{first,
                            std::clamp(dataStop_, first, recordLength_),
                            dataSource_,
                            channel.scale,
                            channel.position,
                            channel.coupling == 2,
                            horizontalScale_ * 10 / static_cast<double>(recordLength_)};
        answer({});
        // A full output queue takes no more: this answer is lost like the rest.
        if (!answerFits()) return;
        if (binary_) {
            const std::uint64_t bytes = record.points() * static_cast<std::uint64_t>(width_);
            char count[24];
            const auto end = std::to_chars(count, count + sizeof count, bytes).ptr;
            std::string& out = answerText();
            out += '#';
            out += static_cast<char>('0' + (end - count));
            out.append(count, end);
            appendGenerated(bytes, [record, width = width_](std::uint64_t offset, char* dest,
                                                            std::size_t n) {
                for (std::size_t k = 0; k < n; ++k) {
                    const std::uint64_t byte = offset + k;
                    const int level = record.level(record.first + static_cast<long>(byte / width));
                    dest[k] = static_cast<char>(width == 1 || byte % 2 == 0 ? level : 0);
                }
            });
        } else {
            if (!(record == asciiSizeOf_)) {
                asciiSizeOf_ = record;
                asciiSize_ = AsciiCurve(record).size();
            }
            appendGenerated(asciiSize_, AsciiCurve(record));
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
        width_ = 1;
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
    int width_ = 1;
    bool running_ = true;
    // The length of the last ASCII record asked for: repeated CURV? need not
    // make the record twice each.
    Record asciiSizeOf_;
    std::uint64_t asciiSize_ = 0;
};

} // namespace

std::unique_ptr<Instrument> makeOscilloscope() {
    return std::make_unique<Oscilloscope>();
}

} // namespace bus::sim
