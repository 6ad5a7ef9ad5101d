// The Prologix and AR488 back end reading whatever an adapter could send
// back: the version line, replies to ++spoll, ++srq and ++findlstn, a read's
// data with or without the end mark, and dropped connections, through the
// driver calls the console makes. No crash, no undefined behaviour, counts
// within what was asked, every call's status complete. The adapter answers at
// once and falls silent when the data runs out, so a loop that waited for
// the clock instead of ending on silence would run into libFuzzer's time-out.
#include "Check.h"
#include "bus/drivers/adapter/PlusPlusAdapter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using bus::adapter::PlusPlusAdapter;

// One connection to the adapter the fuzzer plays. Each receive takes the
// next piece of the input: a drop, silence, the version line (after the end
// mark or not), or any bytes.
class FuzzedAdapter final : public bus::adapter::Transport {
public:
    FuzzedAdapter(FuzzedDataProvider& in, std::string version)
        : in_(in), version_(std::move(version)) {}

    bool send(const char*, std::size_t, int) override { return !failed_; }
    long receive(char* buffer, std::size_t size, int) override {
        if (failed_) return -1;
        if (queued_.empty()) {
            if (in_.remaining_bytes() == 0) return 0;
            switch (in_.ConsumeIntegralInRange(0, 7)) {
            case 0:
                failed_ = true;
                return -1;
            case 1:
                return 0;
            case 2:
                queued_ = version_;
                break;
            case 3:
                queued_ = PlusPlusAdapter::kEndMark + version_;
                break;
            default:
                queued_ = in_.ConsumeRandomLengthString(256);
                break;
            }
        }
        const std::size_t n = std::min(size, queued_.size());
        std::memcpy(buffer, queued_.data(), n);
        queued_.erase(0, n);
        return static_cast<long>(n);
    }
    void discardInput() override { queued_.clear(); }

private:
    FuzzedDataProvider& in_;
    std::string version_;
    std::string queued_;
    bool failed_ = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool prologix = in.ConsumeBool();
    const auto& kind = prologix ? bus::adapter::kPrologix : bus::adapter::kAr488;
    const std::string version = prologix ? "Prologix GPIB-USB Controller version 6.107\r\n"
                                         : "AR488 GPIB controller, ver. 0.51.29, 18/03/2024\r\n";
    int connections = 0;
    std::string error;
    auto adapter = PlusPlusAdapter::openWith(
        kind, "/dev/ttyFUZZ",
        [&](std::string& why) -> std::unique_ptr<bus::adapter::Transport> {
            // A few reconnections, then the port is gone.
            if (++connections > 4) {
                why = "/dev/ttyFUZZ: no such port";
                return nullptr;
            }
            return std::make_unique<FuzzedAdapter>(in, version);
        },
        error);
    if (!adapter) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    bus::Driver& d = *adapter;
    std::int32_t sta = 0, err = 0, cnt = 0, cntl = 0;
    d.RegisterGpibGlobalsForThread(&sta, &err, &cnt, &cntl);
    std::vector<std::int32_t> descriptors;
    for (int calls = 0; calls < 64 && in.remaining_bytes() > 0; ++calls) {
        const std::int32_t ud =
            descriptors.empty()
                ? 32
                : descriptors[in.ConsumeIntegralInRange<std::size_t>(0, descriptors.size() - 1)];
        sta = 0;
        switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0: {
            const auto pad = in.ConsumeIntegralInRange<std::int32_t>(0, 30);
            const std::int32_t sad = in.ConsumeBool() ? 0 : 0x60 + in.ConsumeIntegralInRange(0, 30);
            const auto tmo = in.ConsumeIntegralInRange<std::int32_t>(0, 17);
            const std::int32_t made = d.ibdev(0, pad, sad, tmo, in.ConsumeBool(), 0);
            if (made > 0) descriptors.push_back(made);
            break;
        }
        case 1: {
            const std::string message = in.ConsumeRandomLengthString(64);
            d.ibwrt(ud, message.data(), static_cast<std::int32_t>(message.size()));
            FUZZ_CHECK(cntl >= 0 && cntl <= static_cast<std::int32_t>(message.size()));
            break;
        }
        case 2: {
            // Exactly the size asked, so a byte too many is a heap overflow.
            const auto asked = in.ConsumeIntegralInRange<std::int32_t>(0, 300);
            std::vector<char> buffer(static_cast<std::size_t>(asked));
            d.ibrd(ud, buffer.data(), asked);
            FUZZ_CHECK(cntl >= 0 && cntl <= asked);
            break;
        }
        case 3: {
            char status = 0;
            d.ibrsp(ud, &status);
            FUZZ_CHECK(cntl >= 0 && cntl <= 1);
            break;
        }
        case 4: {
            bus::Addr4882 probes[32], found[31] = {};
            for (int a = 0; a <= 30; ++a)
                probes[a] = static_cast<bus::Addr4882>(a);
            probes[31] = bus::NOADDR;
            const auto limit = in.ConsumeIntegralInRange<std::int32_t>(1, 31);
            d.FindLstn(0, probes, found, limit);
            FUZZ_CHECK(cntl >= 0 && cntl <= limit);
            if (sta & bus::ERR) d.startupAdvice(err, cntl);
            break;
        }
        case 5:
            d.ibclr(ud);
            break;
        case 6:
            d.DevClear(0, in.ConsumeBool()
                              ? bus::NOADDR
                              : static_cast<bus::Addr4882>(in.ConsumeIntegralInRange(0, 30)));
            break;
        case 7:
            d.SendIFC(0);
            break;
        case 8:
            d.ibsre(0, in.ConsumeBool());
            break;
        default:
            d.ibwait(ud, bus::RQS | bus::CMPL);
            break;
        }
        FUZZ_CHECK((sta & bus::CMPL) != 0);
    }
    d.UnregisterGpibGlobalsForThread();
    return 0;
}
