// The simulated bench through the driver interface: any messages, reads and
// polls on its three instruments. No call throws (libFuzzer reports one),
// counts stay within what was asked, and no output queue holds more than its
// limit in memory however many queries a message holds (a curve is made as it
// is read).
#include "Check.h"
#include "bus/drivers/SimulatedBus.h"
#include "bus/sim/Instrument.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto bench = bus::SimulatedBus::defaultBench();
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    bench->RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    constexpr int kAddresses[] = {5, 9, 22};
    std::int32_t descriptors[3];
    for (std::size_t i = 0; i < 3; ++i)
        descriptors[i] = bench->ibdev(0, kAddresses[i], 0, bus::T1s, 1, 0);

    char buffer[4096];
    while (in.remaining_bytes() > 0) {
        const std::size_t device = in.ConsumeIntegralInRange<std::size_t>(0, 2);
        const std::int32_t ud = descriptors[device];
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            // A piece repeated up to 16384 times, so small inputs reach the
            // sizes of real traffic and beyond the longest message a device
            // takes; mostly few times, to keep the runs quick.
            const std::string piece = in.ConsumeRandomLengthString(64);
            const int times = 1 << in.ConsumeIntegralInRange(0, 14);
            std::string message;
            for (int i = 0; i < times; ++i)
                message += piece;
            bench->ibwrt(ud, message.data(), static_cast<std::int32_t>(message.size()));
            FUZZ_CHECK(cntl == static_cast<std::int32_t>(message.size()));
            break;
        }
        case 1: {
            const auto asked = in.ConsumeIntegralInRange<std::int32_t>(0, sizeof buffer);
            bench->ibrd(ud, buffer, asked);
            FUZZ_CHECK(cntl >= 0 && cntl <= asked);
            break;
        }
        case 2: {
            char status = 0;
            bench->ibrsp(ud, &status);
            break;
        }
        default:
            bench->DevClear(0, static_cast<bus::Addr4882>(kAddresses[device]));
            break;
        }
        FUZZ_CHECK(bench->instrument(kAddresses[device])->storedOutputSize() <=
                   bus::sim::Instrument::kMaxOutput);
    }
    bench->UnregisterGpibGlobalsForThread();
    return 0;
}
