// Receiving a 100 MB answer into a file on the simulated bench.
//
// BM_ReceiveToFileDriver times the driver's transfer alone (ibrdf through the
// binding); BM_ReceiveToFileConsole times the console's whole received-data-
// to-file transfer through the window, dialogs answered by script. The answer
// is generated as it is read, so neither the device nor the console ever
// holds it: peak_rss_growth_MB shows how much the process grew over the runs.
// The window runs wherever QT_QPA_PLATFORM points (offscreen when unset).

#include "BenchSeams.h"
#include "bus/Binding.h"
#include "bus/BusSession.h"
#include "bus/Discovery.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"
#include "console/ManualForm.h"
#include "platform/DataFolder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

namespace {

using bench_support::AbortExit;

constexpr std::uint64_t kAnswerSize = 100ull << 20;

long statusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0) return std::stol(line.substr(length + 1));
    return -1;
}

// Waveform-like bytes, made 4 kB at a time so the generator costs little
// next to the transfer it feeds.
void fillAnswer(std::uint64_t offset, char* dest, std::size_t n) {
    static constexpr auto kBlock = [] {
        std::array<char, 4096> block{};
        for (std::size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
        return block;
    }();
    std::size_t done = 0;
    while (done < n) {
        const std::size_t at = static_cast<std::size_t>((offset + done) % kBlock.size());
        const std::size_t take = std::min(n - done, kBlock.size() - at);
        std::memcpy(dest + done, kBlock.data() + at, take);
        done += take;
    }
}

class YesBoxes : public platform::MessageBoxes {
public:
    platform::Answer show(std::u16string_view, std::u16string_view title, platform::Buttons,
                          platform::Icon) override {
        if (title != u"Warning") std::abort(); // a time-out or a failure spoils the figure
        return platform::Answer::Yes;
    }
};

class FixedFile : public platform::FileDialogs {
public:
    std::u16string path;
    std::optional<platform::FileChoice> choose(const platform::FileDialogRequest&) override {
        return platform::FileChoice{path, u"answer.dat"};
    }
};

class NoShell : public platform::Shell {
public:
    bool open(std::u16string_view) override { return true; }
};

class MemorySettings : public platform::SettingsStore {
public:
    std::optional<std::u16string> read(std::u16string_view, std::u16string_view key) override {
        const auto found = values_.find(std::u16string(key));
        if (found == values_.end()) return std::nullopt;
        return found->second;
    }
    bool write(std::u16string_view, std::u16string_view key, std::u16string_view value) override {
        values_[std::u16string(key)] = std::u16string(value);
        return true;
    }

private:
    std::map<std::u16string, std::u16string> values_;
};

std::unique_ptr<bus::SimulatedBus> multimeterAlone() {
    auto bus = std::make_unique<bus::SimulatedBus>();
    bus->attach(5, bus::sim::makeMultimeter());
    return bus;
}

void reportMemory(benchmark::State& state, long peakBefore) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kAnswerSize));
    state.counters["peak_rss_growth_MB"] =
        static_cast<double>(statusKilobytes("VmHWM:") - peakBefore) / 1024.0;
}

void BM_ReceiveToFileDriver(benchmark::State& state) {
    QTemporaryDir dir;
    const std::u16string path =
        QDir::toNativeSeparators(dir.filePath(QStringLiteral("answer.dat"))).toStdU16String();
    auto bus = multimeterAlone();
    YesBoxes boxes;
    AbortExit exit;
    bus::BusSession session(*bus, boxes, exit);
    bus::FindListeners(session);
    const std::int16_t ud = bus::OpenDevice(session);
    const long peakBefore = statusKilobytes("VmHWM:");

    for (auto _ : state) {
        state.PauseTiming();
        bus->instrument(5)->queueGenerated(kAnswerSize, fillAnswer);
        state.ResumeTiming();
        session.binding.ibrdf(ud, path);
        if (session.binding.ibcntlLong() != static_cast<std::int32_t>(kAnswerSize)) {
            state.SkipWithError("the answer did not arrive whole");
            break;
        }
    }
    reportMemory(state, peakBefore);
}
BENCHMARK(BM_ReceiveToFileDriver)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReceiveToFileConsole(benchmark::State& state) {
    QTemporaryDir dir;
    auto owned = multimeterAlone();
    bus::SimulatedBus& bus = *owned;
    YesBoxes boxes;
    AbortExit exit;
    FixedFile dialogs;
    dialogs.path =
        QDir::toNativeSeparators(dir.filePath(QStringLiteral("answer.dat"))).toStdU16String();
    NoShell shell;
    MemorySettings settings;
    platform::LocalDataFolder dataFolder(
        QDir::toNativeSeparators(dir.filePath(QStringLiteral("Vireon"))).toStdU16String());
    console::ManualForm form(
        console::ConsoleSeams{bus, true, boxes, exit, dialogs, shell, settings, dataFolder});
    form.Form_Load();
    form.Form_Activate();
    const long peakBefore = statusKilobytes("VmHWM:");

    for (auto _ : state) {
        state.PauseTiming();
        bus.instrument(5)->queueGenerated(kAnswerSize, fillAnswer);
        state.ResumeTiming();
        {
            auto operation = form.console().beginOperation();
            form.receiveToFile().transfer(*operation, u"");
        }
        state.PauseTiming();
        const qint64 size = QFileInfo(QString::fromStdU16String(dialogs.path)).size();
        state.ResumeTiming();
        if (size != static_cast<qint64>(kAnswerSize)) {
            state.SkipWithError("the file did not receive the whole answer");
            break;
        }
    }
    reportMemory(state, peakBefore);
}
BENCHMARK(BM_ReceiveToFileConsole)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
