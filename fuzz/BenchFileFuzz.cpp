// A bench file from any bytes: it loads or is refused with "FILE:LINE:
// what", never throws, and builds no more than its limit however its aliases
// repeat (libFuzzer's -rss_limit_mb catches a loader that does). A bench
// that loads is then driven a little: each line "#> message" of the input (a
// comment to YAML) is written to every instrument and an answer read, so the
// instruments' answers to the file's own dialogues are reached too.
#include "Check.h"
#include "bus/drivers/BenchFile.h"
#include "bus/sim/Instrument.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Few messages and instruments, so each input runs quickly.
constexpr std::size_t kMaxMessages = 8;
constexpr int kMaxInstruments = 4;

std::vector<std::string> messagesIn(std::string_view text) {
    static constexpr std::string_view kMark = "#> ";
    std::vector<std::string> messages;
    for (std::size_t at = 0; at < text.size() && messages.size() < kMaxMessages;) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        if (line.starts_with(kMark)) messages.emplace_back(line.substr(kMark.size()));
        at = end + 1;
    }
    if (messages.empty()) messages.emplace_back("*IDN?");
    return messages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bus::BenchLoad load = bus::readBench(text, "bench.yaml");
    FUZZ_CHECK(!load.bus == !load.error.empty());
    if (!load.bus) {
        FUZZ_CHECK(load.error.starts_with("bench.yaml:"));
        return 0;
    }
    bus::SimulatedBus& bench = *load.bus;
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    bench.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    const std::vector<std::string> messages = messagesIn(text);
    char buffer[4096];
    int driven = 0;
    for (int pad = 1; pad <= bus::AdapterDriver::kMaxAddress && driven < kMaxInstruments; ++pad) {
        if (bench.instrument(pad) == nullptr) continue;
        ++driven;
        const std::int32_t ud = bench.ibdev(0, pad, 0, bus::T1s, 1, 0);
        for (const std::string& message : messages) {
            const std::string line = message + "\n";
            bench.ibwrt(ud, line.data(), static_cast<std::int32_t>(line.size()));
            bench.ibrd(ud, buffer, sizeof buffer);
            FUZZ_CHECK(cntl >= 0 && cntl <= static_cast<std::int32_t>(sizeof buffer));
            FUZZ_CHECK(bench.instrument(pad)->storedOutputSize() <=
                       bus::sim::Instrument::kMaxOutput);
        }
        char status = 0;
        bench.ibrsp(ud, &status);
        bench.ibonl(ud, 0);
    }
    bench.UnregisterGpibGlobalsForThread();
    return 0;
}
