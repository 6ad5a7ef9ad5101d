// The Prologix and AR488 back end reading whatever an adapter could send
// back: the version line, replies to ++spoll, ++srq and ++findlstn, a read's
// data with or without the end mark, and dropped connections, through the
// driver calls the console makes. No crash, no undefined behaviour, counts
// within what was asked, every call's status complete. The adapter answers at
// once and falls silent when the data runs out, so a loop that waited for
// the clock instead of ending on silence would run into libFuzzer's time-out.
#include "Check.h"
#include "FakeTransport.h"
#include "bus/drivers/adapter/PlusPlusAdapter.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

using bus::adapter::PlusPlusAdapter;

// One connection to the adapter the fuzzer plays. Each receive takes the
// next piece of the input: a drop, silence, the version line (after the end
// mark or not), or any bytes.
class FuzzedAdapter final : public fuzzing::FakeTransport {
public:
    FuzzedAdapter(FuzzedDataProvider& in, std::string version)
        : in_(in), version_(std::move(version)) {}

private:
    Step next(std::string& bytes) override {
        if (in_.remaining_bytes() == 0) return Step::Silence;
        switch (in_.ConsumeIntegralInRange(0, 7)) {
        case 0:
            return Step::Drop;
        case 1:
            return Step::Silence;
        case 2:
            bytes = version_;
            break;
        case 3:
            bytes = PlusPlusAdapter::kEndMark + version_;
            break;
        default:
            bytes = in_.ConsumeRandomLengthString(256);
            break;
        }
        return Step::Bytes;
    }

    FuzzedDataProvider& in_;
    std::string version_;
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
    fuzzing::DriverCalls calls(*adapter, in);
    bus::Driver& d = calls.d;
    calls.run([&](std::int32_t ud) {
        switch (in.ConsumeIntegralInRange(0, 9)) {
        case 0: {
            const auto pad = in.ConsumeIntegralInRange<std::int32_t>(0, 30);
            const std::int32_t sad = in.ConsumeBool() ? 0 : 0x60 + in.ConsumeIntegralInRange(0, 30);
            const auto tmo = in.ConsumeIntegralInRange<std::int32_t>(0, 17);
            calls.keep(d.ibdev(0, pad, sad, tmo, in.ConsumeBool(), 0));
            break;
        }
        case 1:
            calls.write(ud, 64);
            break;
        case 2:
            calls.read(ud);
            break;
        case 3: {
            char status = 0;
            d.ibrsp(ud, &status);
            FUZZ_CHECK(calls.cntl >= 0 && calls.cntl <= 1);
            break;
        }
        case 4:
            calls.findListeners(in.ConsumeIntegralInRange<std::int32_t>(1, 31));
            break;
        case 5:
            d.ibclr(ud);
            break;
        case 6:
            calls.deviceClear();
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
    });
    return 0;
}
