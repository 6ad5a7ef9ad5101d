// Speed of the Prologix and AR488 back ends over loopback TCP through the
// simulated adapter: short query round trips, a 1 MB binary answer through
// WriteChecked+ReadResponse, and finding listeners on an empty bus with the
// adapter's read time-outs waited out as a real adapter does.
// BENCH_TRACE=FILE writes the I/O trace of the run to FILE.
#include "AdapterSimulator.h"
#include "BenchSeams.h"
#include "EveryByte.h"

#include "bus/DeviceIo.h"
#include "bus/Discovery.h"
#include "bus/drivers/DriverChoice.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

using bench_support::AbortExit;
using bench_support::SilentBoxes;

struct Bench {
    bus::SimulatedBus* bench;
    adaptersim::AdapterSimulator simulator;
    std::unique_ptr<bus::Driver> driver;
    SilentBoxes boxes;
    AbortExit exit;
    std::unique_ptr<bus::BusSession> s;
    std::int16_t ud = 0;

    Bench(adaptersim::Protocol protocol, std::unique_ptr<bus::SimulatedBus> bus)
        : bench(bus.get()), simulator({protocol, adaptersim::Link::Tcp, 0, true}, std::move(bus)),
          driver(bus::selectDriver(simulator.driverChoice(),
                                   std::getenv("BENCH_TRACE") ? std::getenv("BENCH_TRACE") : "")
                     .driver) {
        if (!driver) std::abort();
        s = std::make_unique<bus::BusSession>(*driver, boxes, exit);
    }
};

adaptersim::Protocol protocolOf(const benchmark::State& state) {
    return state.range(0) == 0 ? adaptersim::Protocol::Prologix : adaptersim::Protocol::Ar488;
}

void BM_AdapterShortQuery(benchmark::State& state) {
    Bench b(protocolOf(state), bus::SimulatedBus::defaultBench());
    bus::FindListeners(*b.s);
    b.ud = bus::OpenDevice(*b.s);
    for (auto _ : state) {
        bus::WriteChecked(*b.s, b.ud, u"*IDN?");
        std::u16string got = bus::ReadResponse(*b.s, b.ud);
        benchmark::DoNotOptimize(got.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_AdapterShortQuery)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_AdapterBinaryAnswer1MB(benchmark::State& state) {
    Bench b(protocolOf(state), bus::SimulatedBus::defaultBench());
    bus::FindListeners(*b.s);
    b.ud = bus::OpenDevice(*b.s);
    constexpr std::uint64_t kSize = 1 << 20;
    bus::sim::Instrument* dmm = b.bench->instrument(5);
    for (auto _ : state) {
        state.PauseTiming();
        dmm->queueGenerated(kSize, bench_support::everyByteValue);
        state.ResumeTiming();
        std::u16string got = bus::ReadResponse(*b.s, b.ud);
        if (got.size() != kSize)
            state.SkipWithError(("short answer: " + std::to_string(got.size())).c_str());
        benchmark::DoNotOptimize(got.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_AdapterBinaryAnswer1MB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AdapterFindListenersEmptyBus(benchmark::State& state) {
    Bench b(protocolOf(state), std::make_unique<bus::SimulatedBus>());
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    b.driver->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    bus::Addr4882 probe[31], found[31];
    for (int a = 1; a <= 30; ++a)
        probe[a - 1] = static_cast<bus::Addr4882>(a);
    probe[30] = bus::NOADDR;
    for (auto _ : state) {
        b.driver->FindLstn(0, probe, found, 30);
        if (err != bus::EBUS) state.SkipWithError("listeners on an empty bus");
    }
    b.driver->UnregisterGpibGlobalsForThread();
}
BENCHMARK(BM_AdapterFindListenersEmptyBus)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace

BENCHMARK_MAIN();
