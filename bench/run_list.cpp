// Run List on the simulated bench: rounds of a short query to the multimeter,
// each answer an exchange kept in a history file (flushed line by line) and a
// row of the run's CSV log (flushed row by row), as the window runs it. The
// figure is exchanges per second.
#include "BenchSeams.h"
#include "bus/drivers/SimulatedBus.h"
#include "core/Console.h"
#include "core/History.h"
#include "core/Sequence.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace {

using bench_support::AbortExit;
using bench_support::SilentBoxes;

namespace fs = std::filesystem;

void RunListRounds(benchmark::State& state) {
    const fs::path dir =
        fs::temp_directory_path() / ("vireon-run-list-bench-" + std::to_string(std::rand()));
    fs::create_directories(dir);
    {
        auto bus = bus::SimulatedBus::defaultBench();
        SilentBoxes boxes;
        AbortExit exit;
        core::Console console(*bus, boxes, exit);
        core::History history;
        if (!history.open(dir / "History.jsonl").empty()) state.SkipWithError("no history file");
        core::SequenceRun* running = nullptr;
        console.setExchangeRecorded([&](const core::ExchangeRecord& r) {
            history.add(r);
            if (running != nullptr) running->exchangeRecorded(r);
        });
        console.TakeBus();
        console.SelectDevice(*console.beginOperation(), 1); // the multimeter at 5

        const int rounds = static_cast<int>(state.range(0));
        std::size_t rows = 0;
        for (auto _ : state) {
            core::SequenceLog log;
            if (!log.open(dir / "run.csv").empty()) state.SkipWithError("no log file");
            core::SequenceRun run(console, {{u"MEAS:VOLT?"}, rounds, {}, false, true}, &log);
            running = &run;
            {
                const auto op = console.beginOperation();
                rows += run.run(*op).rows;
            }
            running = nullptr;
        }
        if (rows != static_cast<std::size_t>(rounds) * state.iterations())
            state.SkipWithError("a row is missing");
        state.SetItemsProcessed(static_cast<std::int64_t>(rows));
        state.counters["exchanges/s"] =
            benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    }
    fs::remove_all(dir);
}
BENCHMARK(RunListRounds)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
