// Speed of the VXI-11 back end over loopback against vireon-serve's gateway
// in front of the built-in bench: a short query, a 16 MB block, and the
// listener search of a gateway with three devices (a new connection each
// time, as at start-up). VXI11_BENCH_HOST=HOST[:PMAPPORT] runs the short
// query against a server already running there instead (bench/pyvisa_vxi11.py
// uses it to time pyvisa-py against the same server).
#include "EveryByte.h"
#include "Vxi11Server.h"

#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/vxi11/Vxi11Client.h"
#include "bus/sim/Instrument.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using bus::vxi11::Vxi11Client;

struct Served {
    bus::SimulatedBus* bench = nullptr;
    std::unique_ptr<serve::Vxi11Server> server;
    std::string where;

    Served() {
        if (const char* host = std::getenv("VXI11_BENCH_HOST")) {
            where = host;
            return;
        }
        auto bus = bus::SimulatedBus::defaultBench();
        bench = bus.get();
        serve::Vxi11Options options;
        options.portmapperPort = 0;
        server = std::make_unique<serve::Vxi11Server>(options, std::move(bus));
        if (!server->error().empty()) std::abort();
        where = "127.0.0.1:" + std::to_string(server->portmapperPort());
    }
};

struct Globals {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};

std::unique_ptr<Vxi11Client> open(const std::string& where, benchmark::State& state) {
    std::string error;
    auto client = Vxi11Client::open(where, error);
    if (!client) state.SkipWithError(error.c_str());
    return client;
}

void BM_Vxi11ShortQuery(benchmark::State& state) {
    Served s;
    auto client = open(s.where + "/inst0", state);
    if (!client) return;
    Globals g;
    client->RegisterGpibGlobalsForThread(&g.sta, &g.err, &g.cnt, &g.cntl);
    const std::int32_t ud = client->ibdev(0, 1, 0, bus::T3s, 1, 0);
    char answer[4096];
    for (auto _ : state) {
        client->ibwrt(ud, "*IDN?\n", 6);
        client->ibrd(ud, answer, sizeof answer);
        if ((g.sta & (bus::ERR | bus::END)) != bus::END) {
            state.SkipWithError(client->lastError().c_str());
            break;
        }
    }
    client->UnregisterGpibGlobalsForThread();
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_Vxi11ShortQuery)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Vxi11Block16MB(benchmark::State& state) {
    Served s;
    if (s.bench == nullptr) {
        state.SkipWithError("only against the gateway started here");
        return;
    }
    auto client = open(s.where + "/inst0", state);
    if (!client) return;
    Globals g;
    client->RegisterGpibGlobalsForThread(&g.sta, &g.err, &g.cnt, &g.cntl);
    const std::int32_t ud = client->ibdev(0, 1, 0, bus::T10s, 1, 0);
    constexpr std::uint64_t kSize = 16u << 20;
    std::vector<char> block(kSize + 1);
    bus::sim::Instrument* dmm = s.bench->instrument(5);
    for (auto _ : state) {
        state.PauseTiming();
        dmm->queueGenerated(kSize, bench_support::everyByteValue);
        state.ResumeTiming();
        client->ibrd(ud, block.data(), static_cast<std::int32_t>(block.size()));
        if ((g.sta & (bus::ERR | bus::END)) != bus::END || g.cntl != static_cast<int>(kSize)) {
            state.SkipWithError(
                ("short block: " + std::to_string(g.cntl) + " " + client->lastError()).c_str());
            break;
        }
    }
    client->UnregisterGpibGlobalsForThread();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Vxi11Block16MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Vxi11GatewayListenerSearch(benchmark::State& state) {
    Served s;
    bus::Addr4882 probes[31], found[31] = {};
    for (int a = 1; a <= 30; ++a)
        probes[a - 1] = static_cast<bus::Addr4882>(a);
    probes[30] = bus::NOADDR;
    for (auto _ : state) {
        auto client = open(s.where + "/gpib0", state);
        if (!client) return;
        Globals g;
        client->RegisterGpibGlobalsForThread(&g.sta, &g.err, &g.cnt, &g.cntl);
        client->FindLstn(0, probes, found, 30);
        client->UnregisterGpibGlobalsForThread();
        if (g.cntl != 3) {
            state.SkipWithError(("found " + std::to_string(g.cntl)).c_str());
            break;
        }
    }
}
BENCHMARK(BM_Vxi11GatewayListenerSearch)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
