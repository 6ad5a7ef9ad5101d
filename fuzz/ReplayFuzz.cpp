// A replayed trace: any bytes load without a crash, and the bus made from
// them answers each recorded write as the recording says, in order. The
// input is the trace; after a NUL byte (a trace never holds one raw), the
// rest steers further calls: writes recorded or not, reads, polls, clears.
#include "Check.h"
#include "bus/drivers/ReplayBus.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Registered {
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
};

// Reads one answer up to END; false when a read fails first.
bool readAnswer(bus::Driver& driver, std::int32_t ud, const Registered& r, std::size_t chunk,
                std::string& answer) {
    std::vector<char> buffer(chunk);
    answer.clear();
    for (;;) {
        driver.ibrd(ud, buffer.data(), static_cast<std::int32_t>(chunk));
        if (r.sta & bus::ERR) return false;
        FUZZ_CHECK(r.cntl >= 0 && static_cast<std::size_t>(r.cntl) <= chunk);
        answer.append(buffer.data(), static_cast<std::size_t>(r.cntl));
        if (r.sta & bus::END) return true;
        FUZZ_CHECK(r.cntl > 0); // a read that ends nothing moves something
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view trace = input.substr(0, nul);
    const std::string_view steer =
        nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    bus::ReplayLoad load = bus::readTrace(trace, "fuzz.jsonl");
    if (!load.error.empty()) return 0;
    bus::ReplayBus replay(std::move(load.recording));
    const bus::Recording& recording = replay.recording();
    Registered r;
    replay.RegisterGpibGlobalsForThread(&r.sta, &r.err, &r.cnt, &r.cntl);

    // Every recorded write, made once on a quiet bus, gets the answers
    // recorded after its first time, then nothing more.
    std::vector<int> listeners;
    for (int pad = 1; pad <= bus::AdapterDriver::kMaxAddress; ++pad) {
        const auto& device = recording.devices[static_cast<std::size_t>(pad)];
        if (!device.listening) continue;
        listeners.push_back(pad);
        const std::int32_t ud = replay.ibdev(0, pad, 0, bus::T1s, 1, 0);
        FUZZ_CHECK((r.sta & bus::ERR) == 0);
        for (const auto& exchange : device.exchanges) {
            replay.ibwrt(ud, exchange.write.data(),
                         static_cast<std::int32_t>(exchange.write.size()));
            FUZZ_CHECK(r.cntl == static_cast<std::int32_t>(exchange.write.size()));
            std::string answer;
            for (const std::string& recorded : exchange.times.front()) {
                FUZZ_CHECK(readAnswer(replay, ud, r, 7, answer));
                FUZZ_CHECK(answer == recorded);
            }
            FUZZ_CHECK(!readAnswer(replay, ud, r, 7, answer));
        }
        replay.ibonl(ud, 0);
    }

    FuzzedDataProvider in(reinterpret_cast<const std::uint8_t*>(steer.data()), steer.size());
    std::vector<std::int32_t> descriptors;
    for (const int pad : listeners)
        descriptors.push_back(replay.ibdev(0, pad, 0, bus::T1s, 1, 0));
    // Any address, listening or not, as the last one.
    descriptors.push_back(replay.ibdev(0, in.ConsumeIntegralInRange(1, 30), 0, bus::T1s, 1, 0));
    while (in.remaining_bytes() > 0) {
        const std::int32_t ud =
            descriptors[in.ConsumeIntegralInRange<std::size_t>(0, descriptors.size() - 1)];
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            // A recorded write of that device, when it has any; any bytes otherwise.
            std::string message = in.ConsumeRandomLengthString(64);
            std::int32_t pad = 0;
            replay.ibask(ud, bus::IbaPAD, &pad);
            if (pad >= 1 && pad <= bus::AdapterDriver::kMaxAddress) {
                const auto& exchanges = recording.devices[static_cast<std::size_t>(pad)].exchanges;
                if (!exchanges.empty() && !message.empty())
                    message =
                        exchanges[static_cast<unsigned char>(message[0]) % exchanges.size()].write;
            }
            replay.ibwrt(ud, message.data(), static_cast<std::int32_t>(message.size()));
            break;
        }
        case 1: {
            std::string answer;
            readAnswer(replay, ud, r, in.ConsumeIntegralInRange<std::size_t>(1, 512), answer);
            break;
        }
        case 2: {
            char status[2] = {};
            replay.ibrsp(ud, status);
            break;
        }
        default:
            replay.ibclr(ud);
            break;
        }
    }
    replay.UnregisterGpibGlobalsForThread();
    return 0;
}
