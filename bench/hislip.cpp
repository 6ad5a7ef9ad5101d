// Speed of the HiSLIP client against our HiSLIP server over loopback, with
// the built-in bench behind it: a short query's round trip, and a 16 MB
// answer read through the driver in 1 MB reads.
#include "EveryByte.h"
#include "HislipServer.h"

#include "bus/drivers/SimulatedBus.h"
#include "bus/drivers/hislip/HislipClient.h"
#include "bus/sim/Instrument.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint64_t kBlock = 16u << 20;

// Answers "BLOCK?" with 16 MB made as they are read, and "*IDN?" with a line.
class Block final : public bus::sim::Instrument {
    void execute(std::string_view message) override {
        if (message.substr(0, 6) == "BLOCK?") {
            queueGenerated(kBlock, bench_support::everyByteValue);
        } else {
            queueOutput("Vireon,Block,0,1\n");
        }
    }
    std::uint8_t statusByte() const override { return hasOutput() ? 0x10 : 0; }
    bool serviceCondition() const override { return false; }
};

struct Bench {
    std::unique_ptr<serve::HislipServer> server;
    std::unique_ptr<bus::hislip::HislipClient> client;
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    std::int32_t ud = -1;

    Bench() {
        auto bench = bus::SimulatedBus::defaultBench();
        bench->attach(3, std::make_unique<Block>());
        server = std::make_unique<serve::HislipServer>(serve::HislipOptions{}, std::move(bench));
        std::string error;
        client =
            bus::hislip::HislipClient::open("127.0.0.1:" + std::to_string(server->port()), error);
        if (!client) std::abort();
        client->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
        ud = client->ibdev(0, 1, 0, bus::T3s, 1, 0);
    }
    ~Bench() { client->UnregisterGpibGlobalsForThread(); }
    void write(std::string_view text) {
        client->ibwrt(ud, text.data(), static_cast<std::int32_t>(text.size()));
    }
};

void BM_HislipShortQuery(benchmark::State& state) {
    Bench b;
    char answer[256];
    for (auto _ : state) {
        b.write("*IDN?\n");
        b.client->ibrd(b.ud, answer, sizeof answer);
        if ((b.sta & bus::ERR) != 0) state.SkipWithError("the query failed");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_HislipShortQuery)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_HislipBlock16MB(benchmark::State& state) {
    Bench b;
    std::vector<char> chunk(1 << 20);
    for (auto _ : state) {
        b.write("BLOCK?\n");
        std::uint64_t got = 0;
        do {
            b.client->ibrd(b.ud, chunk.data(), static_cast<std::int32_t>(chunk.size()));
            if ((b.sta & bus::ERR) != 0) break;
            got += static_cast<std::uint64_t>(b.cntl);
        } while ((b.sta & bus::END) == 0);
        if (got != kBlock) state.SkipWithError(("short answer: " + std::to_string(got)).c_str());
        benchmark::DoNotOptimize(chunk.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBlock));
}
BENCHMARK(BM_HislipBlock16MB)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
