// The console's worker thread: what handing the bus work over costs per
// 512-byte chunk of an answer, that a 100 MB answer arrives byte for byte,
// and how long the bus stays busy after the operator stops a transfer on a
// bench paced like a real bus.
#include "BenchSeams.h"
#include "bus/DeviceIo.h"
#include "bus/Discovery.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"
#include "core/Console.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>

namespace {

using bench_support::AbortExit;
using bench_support::SilentBoxes;

void fill(std::uint64_t offset, char* dest, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        dest[i] = static_cast<char>('!' + (offset + i) * 13 % 90);
}

bool matches(const std::u16string& answer, std::uint64_t size) {
    if (answer.size() != size) return false;
    char chunk[4096];
    for (std::uint64_t at = 0; at < size; at += sizeof chunk) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, size - at));
        fill(at, chunk, n);
        for (std::size_t i = 0; i < n; ++i)
            if (answer[at + i] != static_cast<unsigned char>(chunk[i])) return false;
    }
    return true;
}

constexpr std::uint64_t kChunk = 512;

// The built-in bench with the multimeter at 5 selected in the console, and a
// session of its own that reads the same descriptor in place.
struct MultimeterBench {
    MultimeterBench() {
        console.TakeBus();
        console.SelectDevice(*op, 1);
        ud = console.devices().DeviceHandle;
        direct.binding.ibpad(ud, 5);
    }
    std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench();
    SilentBoxes boxes;
    AbortExit exit;
    core::Console console{*bus, boxes, exit};
    std::optional<core::Console::Operation> op = console.beginOperation();
    bus::BusSession direct{*bus, boxes, exit};
    std::int16_t ud = 0;
};

// The same answer read in place and through the console's worker and
// transfer monitor; the difference per chunk is the hand-over's cost.
void BM_AnswerPerChunk(benchmark::State& state) {
    const bool worker = state.range(0) != 0;
    const auto size = static_cast<std::uint64_t>(state.range(1));
    MultimeterBench b;
    bool whole = true;
    for (auto _ : state) {
        b.bus->instrument(5)->queueGenerated(size, fill);
        const std::u16string answer =
            worker ? b.console.ReadResponse(*b.op) : bus::ReadResponse(b.direct, b.ud);
        if (state.iterations() == 0 || size > 10'000'000) whole = whole && matches(answer, size);
    }
    if (!whole) state.SkipWithError("the answer did not arrive byte for byte");
    state.counters["chunks"] = static_cast<double>(size / kChunk);
    state.counters["ns_per_chunk"] = benchmark::Counter(
        static_cast<double>(size / kChunk) / 1e9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_AnswerPerChunk)
    ->ArgNames({"worker", "bytes"})
    ->Args({0, 10'000'000})
    ->Args({1, 10'000'000})
    ->Args({1, 100'000'000})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One short query and its answer, in place and through the worker: the
// hand-over's cost per operation (two hand-overs, the write and the read).
void BM_ShortQuery(benchmark::State& state) {
    const bool worker = state.range(0) != 0;
    MultimeterBench b;
    for (auto _ : state) {
        if (worker) {
            b.console.WriteMessage(*b.op, u"*IDN?");
            benchmark::DoNotOptimize(b.console.ReadResponse(*b.op));
        } else {
            bus::WriteChecked(b.direct, b.ud, u"*IDN?");
            benchmark::DoNotOptimize(bus::ReadResponse(b.direct, b.ud));
        }
    }
}
BENCHMARK(BM_ShortQuery)->ArgName("worker")->Arg(0)->Arg(1)->UseRealTime();

// Stop asked for 200 ms into a 100 MB answer at 2 MB/s (the console's
// waiting hook plays the operator): the time from the request to the bus
// being free again, for a read into the view and one into a file.
void BM_StopToBusFree(benchmark::State& state) {
    const bool toFile = state.range(0) != 0;
    auto bus = bus::SimulatedBus::defaultBench();
    bus->setRate(2'000'000);
    SilentBoxes boxes;
    AbortExit exit;
    core::Console console(*bus, boxes, exit);
    console.TakeBus();
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "vireon-stop.dat";
    using Clock = std::chrono::steady_clock;
    Clock::time_point asked;
    console.setWaitingHook([&] {
        if (!console.stopRequested() && console.elapsed() > std::chrono::milliseconds(200)) {
            asked = Clock::now();
            console.requestStop();
        }
    });
    double worst = 0;
    for (auto _ : state) {
        auto op = console.beginOperation();
        console.SelectDevice(*op, 1);
        bus->instrument(5)->deviceClear();
        bus->instrument(5)->queueGenerated(100'000'000, fill);
        if (toFile)
            console.ReceiveFile(*op, file.u16string());
        else
            console.ReadResponse(*op);
        const double seconds = std::chrono::duration<double>(Clock::now() - asked).count();
        worst = std::max(worst, seconds);
        state.SetIterationTime(seconds);
    }
    std::filesystem::remove(file);
    state.counters["worst_ms"] = worst * 1000;
}
BENCHMARK(BM_StopToBusFree)
    ->ArgName("to_file")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
