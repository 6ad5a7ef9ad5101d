// Speed of the bus layer on the simulated bench: whole answers through
// ReadResponse, the oscilloscope's curve, and short query round trips through
// WriteChecked+ReadResponse.
#include "BenchSeams.h"
#include "bus/DeviceIo.h"
#include "bus/Discovery.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

using bench_support::AbortExit;
using bench_support::SilentBoxes;

struct Bench {
    std::unique_ptr<bus::SimulatedBus> bus = bus::SimulatedBus::defaultBench();
    SilentBoxes boxes;
    AbortExit exit;
    bus::BusSession s{*bus, boxes, exit};
    std::int16_t ud = 0;

    Bench() {
        bus::FindListeners(s);
        ud = bus::OpenDevice(s);
    }
};

void BM_ReadResponse(benchmark::State& state) {
    Bench b;
    const auto size = static_cast<std::size_t>(state.range(0));
    std::string answer(size - 1, 'x');
    answer += '\n';
    bus::sim::Instrument* dmm = b.bus->instrument(5);
    for (auto _ : state) {
        state.PauseTiming();
        dmm->queueOutput(answer);
        state.ResumeTiming();
        std::u16string got = bus::ReadResponse(b.s, b.ud);
        benchmark::DoNotOptimize(got.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}
BENCHMARK(BM_ReadResponse)
    ->RangeMultiplier(16)
    ->Range(1 << 12, 1 << 24)
    ->Unit(benchmark::kMillisecond);

// The oscilloscope's binary curve, made as it is read, through the whole
// query: the device side of the read path included.
void BM_CurveQuery(benchmark::State& state) {
    Bench b;
    b.s.binding.ibpad(b.ud, 22);
    const std::string points = std::to_string(state.range(0));
    const std::string setUp = "HOR:RECO " + points + ";:DAT:STOP " + points + ";:DAT:ENC RIB";
    bus::WriteChecked(b.s, b.ud, std::u16string(setUp.begin(), setUp.end()));
    std::size_t size = 0;
    for (auto _ : state) {
        bus::WriteChecked(b.s, b.ud, u"CURV?");
        std::u16string got = bus::ReadResponse(b.s, b.ud);
        size = got.size();
        benchmark::DoNotOptimize(got.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}
BENCHMARK(BM_CurveQuery)
    ->RangeMultiplier(100)
    ->Range(10000, 10000000)
    ->Unit(benchmark::kMillisecond);

void BM_ShortQuery(benchmark::State& state) {
    Bench b;
    for (auto _ : state) {
        bus::WriteChecked(b.s, b.ud, u"*IDN?");
        std::u16string got = bus::ReadResponse(b.s, b.ud);
        benchmark::DoNotOptimize(got.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ShortQuery);

} // namespace

BENCHMARK_MAIN();
