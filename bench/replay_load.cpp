// Speed of reading a recorded run for --driver replay: a 10 MB trace of
// queries to three devices, short answers and waveforms read in chunks.
#include "bus/drivers/ReplayBus.h"
#include "bus/drivers/TraceDriver.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string line(const std::string& op, const std::string& args, const std::string& data,
                 int status) {
    std::string text =
        "{\"ts\":\"2026-12-06T09:19:53.969935Z\",\"op\":\"" + op + "\",\"args\":[" + args + "]";
    if (!data.empty()) text += ",\"data\":" + data;
    return text + ",\"ibsta\":" + std::to_string(status) + ",\"iberr\":0,\"ibcntl\":0}\n";
}

std::string generatedTrace(std::size_t size) {
    std::string trace = line("FindLstn", "0,[5,9,22,65535],30", "[5,9,22]", 256);
    for (const int pad : {5, 9, 22})
        trace +=
            line("ibdev", "0," + std::to_string(pad) + ",0,11,1,0", std::to_string(pad + 27), 256);
    std::string waveform;
    for (int i = 0; i < 4000; ++i)
        waveform += static_cast<char>(i * 37 % 256);
    for (unsigned n = 0; trace.size() < size; ++n) {
        const int ud = 32 + static_cast<int>(n % 3);
        const std::string query = "MEAS:VOLT? " + std::to_string(n % 997) + "\n";
        trace += line("ibwrt", std::to_string(ud) + "," + bus::traceBytes(query) + ",13", "", 256);
        if (n % 50 == 0) {
            for (int chunk = 0; chunk < 4; ++chunk)
                trace += line("ibrd", std::to_string(ud) + ",4000", bus::traceBytes(waveform),
                              chunk == 3 ? 0x2100 : 0x100);
        } else {
            trace += line("ibrd", std::to_string(ud) + ",512",
                          bus::traceBytes("+1.2345" + std::to_string(n) + "E+00\n"), 0x2100);
        }
        if (n % 10 == 0) trace += line("ibrsp", std::to_string(ud), "16", 256);
    }
    return trace;
}

void BM_LoadTenMegabyteTrace(benchmark::State& state) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "vireon-replay-bench.jsonl";
    const std::string trace = generatedTrace(10 * 1024 * 1024);
    if (std::FILE* file = std::fopen(path.string().c_str(), "wb")) {
        std::fwrite(trace.data(), 1, trace.size(), file);
        std::fclose(file);
    }
    for (auto _ : state) {
        bus::ReplayLoad load = bus::loadTrace(path.string());
        if (!load.error.empty()) state.SkipWithError(load.error.c_str());
        benchmark::DoNotOptimize(load);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * trace.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_LoadTenMegabyteTrace)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
