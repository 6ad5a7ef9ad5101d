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
        : FakeTransport(in, 8, Step::Silence), version_(std::move(version)) {}

private:
    std::string bytes(int move) override {
        switch (move) {
        case 2:
            return version_;
        case 3:
            return PlusPlusAdapter::kEndMark + version_;
        default:
            return in_.ConsumeRandomLengthString(256);
        }
    }

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
    using fuzzing::Call;
    fuzzing::runDriverCalls(
        *adapter, in,
        {{Call::MakeDevice, Call::Write, Call::Read, Call::SerialPoll, Call::FindListeners,
          Call::Clear, Call::DeviceClear, Call::InterfaceClear, Call::RemoteEnable, Call::Wait}});
    return 0;
}
