// The VXI-11 back end reading whatever a server could send back: portmapper
// and core channel replies well-formed or not, replies to other calls,
// record marks of any length, bodies cut short or too long, and dropped
// connections, through the driver calls the console makes. No crash, no
// undefined behaviour, counts within what was asked, every call's status
// complete. The server answers at once and drops the connection when the
// data runs out, so no call waits for the clock.
#include "Check.h"
#include "FakeTransport.h"
#include "bus/drivers/vxi11/Vxi11Client.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace {

using bus::vxi11::Vxi11Client;
using bus::vxi11::XdrWriter;

// One connection to the server the fuzzer plays. Each receive takes the
// next piece of the input: a drop, silence, a reply to the last call (its
// results from the input), another call's reply, a refusal, or any bytes.
class FuzzedServer final : public fuzzing::FakeTransport {
public:
    explicit FuzzedServer(FuzzedDataProvider& in) : FakeTransport(in, 8, Step::Drop) {}

private:
    void sent(const char* data, std::size_t size) override {
        // The xid of the call just sent follows the record mark.
        if (size >= 8) {
            const auto* p = reinterpret_cast<const unsigned char*>(data) + 4;
            xid_ = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                   std::uint32_t{p[2]} << 8 | p[3];
        }
    }
    std::string bytes(int move) override {
        switch (move) {
        case 2:
        case 3: {
            XdrWriter reply = bus::vxi11::rpcReply(xid_);
            // An error code VXI-11 knows, most often none, then words.
            reply.i32(in_.ConsumeBool() ? 0 : in_.ConsumeIntegralInRange(0, 30));
            for (int words = in_.ConsumeIntegralInRange(0, 4); words > 0; --words)
                reply.u32(in_.ConsumeIntegral<std::uint32_t>());
            if (in_.ConsumeBool()) reply.opaque(in_.ConsumeRandomLengthString(300));
            return bus::vxi11::recordOf(reply.bytes());
        }
        case 4:
            return bus::vxi11::recordOf(
                bus::vxi11::rpcReply(xid_ + in_.ConsumeIntegralInRange(1, 3)).i32(0).bytes());
        case 5:
            return bus::vxi11::recordOf(
                bus::vxi11::rpcReply(
                    xid_, static_cast<bus::vxi11::AcceptStat>(in_.ConsumeIntegralInRange(1, 6)))
                    .bytes());
        default:
            return in_.ConsumeRandomLengthString(256);
        }
    }

    std::uint32_t xid_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool gateway = in.ConsumeBool();
    int connections = 0;
    std::string error;
    auto client = Vxi11Client::openWith(
        gateway ? "fuzz-gw/gpib0" : "fuzz-gw",
        [&](const std::string&, int, std::string& why) -> std::unique_ptr<bus::adapter::Transport> {
            // A few reconnections, then the host is gone.
            if (++connections > 8) {
                why = "fuzz-gw: connection refused";
                return nullptr;
            }
            return std::make_unique<FuzzedServer>(in);
        },
        false, error);
    if (!client) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    using fuzzing::Call;
    fuzzing::CallSet set{{Call::MakeDevice, Call::Write, Call::Read, Call::SerialPoll,
                          Call::FindListeners, Call::Clear, Call::DeviceClear, Call::RemoteEnable,
                          Call::Wait}};
    set.lowestPad = 1;
    set.pickEos = true;
    // Longer than the smallest piece a server may take at once.
    set.longestWrite = 2100;
    fuzzing::runDriverCalls(*client, in, set);
    return 0;
}
